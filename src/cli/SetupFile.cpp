#include "cli/SetupFile.h"

#include "common/ErrorReport.h"
#include "setup/ListCodec.h"

#include <QStringDecoder>

namespace markwell::cli {

SetupValues parseSetupFile(const QByteArray& bytes, const QString& fileName) {
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF")) {
        body.remove(0, 3);
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(body);
    if (decoder.hasError()) {
        throw Failure(u"%1: the file is not UTF-8 text."_s.arg(fileName));
    }
    SetupValues values;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        // A CRLF line ending is not part of the value.
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
        if (line.isEmpty()) {
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) {
            throw Failure(u"%1, line %2: expected key=value, found no \"=\"."_s.arg(fileName).arg(i + 1));
        }
        const QString key = line.left(eq);
        if (!setupKeys().contains(key)) {
            throw Failure(u"%1, line %2: unknown key \"%3\" (known keys: %4)."_s.arg(fileName).arg(i + 1).arg(
                key, setupKeys().join(u", "_s)));
        }
        values.insert(key, line.mid(eq + 1));
    }
    return values;
}

GradebookSetup setupFromValues(const SetupValues& values, QStringList& problems) {
    GradebookSetup setup;
    setup.options.name = values.value(u"txtName"_s);
    setup.options.teacherName = values.value(u"txtTeachName"_s);
    setup.options.project = values.value(u"txtProject"_s);
    setup.options.ysq = values.value(u"txtYSQ"_s);
    auto tests = decodeTests(values.value(u"Tests"_s));
    problems << tests.problems;
    setup.tests = std::move(tests.rows);
    setup.pointsCount = static_cast<qsizetype>(setup.tests.size());
    auto students = decodeStudents(values.value(u"Students"_s), setup.pointsCount);
    problems << students.problems;
    setup.students = std::move(students.rows);
    for (StudentRow& s : setup.students) {
        while (s.points.size() < setup.pointsCount) {
            s.points << QString();
        }
    }
    return setup;
}

} // namespace markwell::cli
