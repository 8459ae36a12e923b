#include "ExternalReaders.h"

#include "workbook/formula/Printer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace markwell::test {

// The same workbook with every formula's stored result replaced, so a reader that shows the
// right results must have computed them itself.
sheet::Workbook withStaleResults(sheet::Workbook wb) {
    wb.resultsCurrent = false;
    wb.sheets.front().forEachCellMutable([](int, int, sheet::Cell& cell) {
        if (cell.formula) {
            cell.value = sheet::Value("stale");
        }
    });
    return wb;
}

ToolRun runTool(const QString& program, const QStringList& args, int timeoutMs, const QStringList& environment) {
    QProcess p;
    if (!environment.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& entry : environment) {
            env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        }
        p.setProcessEnvironment(env);
    }
    p.start(program, args);
    ToolRun r;
    if (!p.waitForStarted(10000)) {
        r.err = u"cannot start "_s + program;
        return r;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = program + u" did not finish in time"_s;
        return r;
    }
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return r;
}

bool sameResult(const sheet::Value& a, const sheet::Value& b) {
    if (a.isNumber() && b.isNumber()) {
        return std::fabs(a.number() - b.number()) <= 1e-12 * std::max(1.0, std::fabs(a.number()));
    }
    // An empty text result may come back as an empty cell.
    const auto blank = [](const sheet::Value& v) { return v.isEmpty() || (v.isText() && v.text().empty()); };
    return a == b || (blank(a) && blank(b));
}

// Every formula result of `ours` is what the other program computed.
int expectSameResults(const sheet::Workbook& ours, const sheet::Workbook& theirs, const std::string& who) {
    if (theirs.sheets.empty()) {
        ADD_FAILURE() << who << " gave no sheet";
        return 0;
    }
    const sheet::Sheet& other = theirs.sheets.front();
    int compared = 0;
    ours.sheets.front().forEachCell([&](int r, int c, const sheet::Cell& cell) {
        if (!cell.formula) {
            return;
        }
        const sheet::Cell* o = other.cell(r, c);
        const sheet::Value v = o ? o->value : sheet::Value();
        ++compared;
        EXPECT_TRUE(sameResult(cell.value, v))
            << who << " at " << sheet::toA1(sheet::CellPos{r, c}) << " " << formula::printFormula(cell.formula, &ours)
            << ": ours " << cell.value.describe() << ", theirs " << v.describe();
    });
    return compared;
}

// The values of the first table of a flat OpenDocument spreadsheet (.fods), put into `into`.
bool readFlatOdsValues(const QByteArray& xml, sheet::Sheet& into, std::string& problem, OdsFormulas* formulas) {
    QXmlStreamReader in(xml);
    int row = -1, col = 0, tables = 0;
    while (!in.atEnd()) {
        in.readNext();
        if (in.isEndElement() && in.qualifiedName() == u"table:table"_s) {
            break;
        }
        if (!in.isStartElement()) {
            continue;
        }
        const auto attrs = in.attributes();
        const QStringView name = in.qualifiedName();
        if (name == u"table:table"_s) {
            ++tables;
        } else if (name == u"table:table-row"_s) {
            row += 1;
            col = 0;
            const int repeat = attrs.value(u"table:number-rows-repeated"_s).toInt();
            row += repeat > 1 ? repeat - 1 : 0; // repeated rows here are empty
        } else if (name == u"table:table-cell"_s || name == u"table:covered-table-cell"_s) {
            const int repeat = std::max(1, attrs.value(u"table:number-columns-repeated"_s).toInt());
            const QString type = attrs.value(u"calcext:value-type"_s).toString();
            const QString officeType = attrs.value(u"office:value-type"_s).toString();
            if (formulas && attrs.hasAttribute(u"table:formula"_s) && row >= 0) {
                for (int k = 0; k < repeat; ++k) {
                    (*formulas)[{row, col + k}] = attrs.value(u"table:formula"_s).toString();
                }
            }
            sheet::Value v;
            if (type == u"error"_s) {
                const auto code = sheet::errorFromText(
                    in.readElementText(QXmlStreamReader::IncludeChildElements).trimmed().toStdString());
                v = code ? sheet::Value(*code) : sheet::Value("unknown error");
            } else if (officeType == u"string"_s) {
                v = attrs.hasAttribute(u"office:string-value"_s)
                        ? sheet::Value(attrs.value(u"office:string-value"_s).toString().toStdString())
                        : sheet::Value(in.readElementText(QXmlStreamReader::IncludeChildElements).toStdString());
            } else if (officeType == u"boolean"_s) {
                v = sheet::Value(attrs.value(u"office:boolean-value"_s) == u"true"_s);
            } else if (!officeType.isEmpty()) {
                v = sheet::Value(attrs.value(u"office:value"_s).toDouble());
            }
            if (!v.isEmpty() && row >= 0 && row < sheet::kMaxRows && col < sheet::kMaxColumns) {
                into.cellAt(row, col).value = v;
            }
            col += repeat;
        }
    }
    if (in.hasError() || tables == 0) {
        problem = in.hasError() ? in.errorString().toStdString() : "no table in the document";
        return false;
    }
    return true;
}

// The system's python3 first: the Debian python3-* modules live there, not in a python of the
// user's own.
QString pythonWith(const QString& module) {
    for (const QString& candidate : {u"/usr/bin/python3"_s, QStandardPaths::findExecutable(u"python3"_s)}) {
        if (!candidate.isEmpty() && runTool(candidate, {u"-c"_s, u"import "_s + module}, 30000).ok) {
            return candidate;
        }
    }
    return {};
}

QString pythonWithXlrd() {
    return pythonWith(u"xlrd"_s);
}

QString pythonWithUno() {
    return pythonWith(u"uno"_s);
}

QString pythonForLibreOffice(std::string& missing) {
    if (QStandardPaths::findExecutable(u"soffice"_s).isEmpty()) {
        missing = "soffice is not installed (apt-get install libreoffice-calc-nogui)";
        return {};
    }
    const QString python = pythonWithUno();
    if (python.isEmpty()) {
        missing = "python3-uno is not installed (apt-get install python3-uno)";
    }
    return python;
}

QJsonObject runJsonScript(const QString& python, const QString& script, const QStringList& args, int timeoutMs,
                          std::string& problem) {
    const ToolRun r = runTool(python, QStringList{script} + args, timeoutMs);
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) {
        problem = QFileInfo(script).fileName().toStdString() + " gave no answer: " + (r.out + r.err).toStdString();
        return {};
    }
    return doc.object();
}

LibreOfficeResults libreOfficeValues(const QStringList& xlsFiles, const QString& scratchFolder) {
    LibreOfficeResults results;
    const QString soffice = QStandardPaths::findExecutable(u"soffice"_s);
    if (soffice.isEmpty()) {
        return results;
    }
    results.available = true;
    // LibreOffice keeps the stored results of .xlsx and .ods files unless told to recalculate
    // them; the .xls import always does.
    const QString settings = QDir(scratchFolder).filePath(u"profile/user/registrymodifications.xcu"_s);
    if (!QFileInfo::exists(settings) && QDir().mkpath(QFileInfo(settings).path())) {
        QFile xcu(settings);
        if (xcu.open(QIODevice::WriteOnly)) {
            xcu.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" oor:op="fuse"><value>0</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="ODFRecalcMode" oor:op="fuse"><value>0</value></prop></item>
</oor:items>
)");
        }
    }
    const QString outDir = QDir(scratchFolder).filePath(u"lo"_s);
    QStringList args = {u"-env:UserInstallation=file://"_s + QDir(scratchFolder).filePath(u"profile"_s),
                        u"--headless"_s,
                        u"--convert-to"_s,
                        u"fods"_s,
                        u"--outdir"_s,
                        outDir};
    args << xlsFiles;
    const ToolRun r = runTool(soffice, args);
    results.messages = r.out + r.err;
    if (!r.ok) {
        results.problem = (r.out + r.err).toStdString();
        return results;
    }
    for (const QString& file : xlsFiles) {
        QFile converted(QDir(outDir).filePath(QFileInfo(file).completeBaseName() + u".fods"_s));
        sheet::Workbook book;
        book.sheets.emplace_back();
        if (!converted.open(QIODevice::ReadOnly)) {
            results.problem =
                "LibreOffice did not convert " + file.toStdString() + ": " + (r.out + r.err).toStdString();
            return results;
        }
        OdsFormulas formulas;
        if (!readFlatOdsValues(converted.readAll(), book.sheets.front(), results.problem, &formulas)) {
            return results;
        }
        results.books.push_back(std::move(book));
        results.formulas.push_back(std::move(formulas));
    }
    return results;
}

} // namespace markwell::test
