// markwell-cli's progress line on a terminal, with a clock the test sets: silent for the first
// second and off a terminal, one line rewritten in place, out of the way of every message, and
// gone when the job ends.

#include "cli/CliRun.h"
#include "cli/Progress.h"
#include "gradebook/TemplateBytes.h"

#include "TempDir.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

// What a terminal shows after `text`: a carriage return goes back to the start of the line, a
// backspace one column back, a line feed to a new line; other characters overwrite what is there.
// Blanks at the end of a line cannot be seen and are left out.
QStringList screenOf(const QString& text) {
    QStringList lines{QString()};
    qsizetype column = 0;
    for (const QChar c : text) {
        if (c == u'\r') {
            column = 0;
        } else if (c == u'\b') {
            column = std::max<qsizetype>(0, column - 1);
        } else if (c == u'\n') {
            lines << QString();
            column = 0;
        } else {
            QString& line = lines.last();
            if (line.size() <= column) {
                line.resize(column + 1, u' ');
            }
            line[column++] = c;
        }
    }
    for (QString& line : lines) {
        while (line.endsWith(u' ')) {
            line.chop(1);
        }
    }
    return lines;
}

// A progress line on a terminal whose clock stands where the test puts it.
struct Terminal {
    explicit Terminal(bool terminal = true)
        : line(
              terminal, [this] { return now; }, [this](const QString& text) { written += text; }) {}
    qint64 now = 0;
    QString written;
    cli::ProgressLine line;
};

} // namespace

TEST(ProgressLine, ShowsNothingInTheFirstSecond) {
    Terminal t;
    t.line.report(JobPhase::Students, 12000, 32767);
    for (const qint64 ms : {0, 500, 999}) {
        t.now = ms;
        t.line.tick();
        t.line.report(JobPhase::Students, 12000 + ms, 32767);
    }
    EXPECT_TRUE(t.written.isEmpty());
    t.now = 1000;
    t.line.tick();
    EXPECT_EQ(t.written, u"\rFilling the students: 12,999 of 32,767"_s);

    // A job done within the second leaves no trace at all.
    Terminal quick;
    quick.line.report(u"Reading the setup"_s);
    quick.line.report(JobPhase::Picture, 0, 0);
    quick.now = 900;
    quick.line.tick();
    quick.line.message(u"markwell-cli: done\n"_s);
    quick.line.finish();
    EXPECT_EQ(quick.written, u"markwell-cli: done\n"_s);
}

TEST(ProgressLine, ShowsNothingWhenStandardErrorIsNoTerminal) {
    Terminal t(false);
    EXPECT_FALSE(t.line.terminal());
    const auto report = t.line.callback();
    for (const qint64 ms : {0, 1000, 5000, 60000}) {
        t.now = ms;
        report(JobPhase::Students, ms, 60000);
        t.line.report(u"Writing the picture"_s);
        t.line.tick();
    }
    EXPECT_TRUE(t.written.isEmpty());
    t.line.message(u"markwell-cli: the picture could not be saved.\n"_s);
    t.line.finish();
    EXPECT_EQ(t.written, u"markwell-cli: the picture could not be saved.\n"_s);
}

TEST(ProgressLine, RewritesOneLineInPlaceAtMostTenTimesASecond) {
    Terminal t;
    t.now = 1500;
    t.line.report(JobPhase::Students, 256, 601);
    EXPECT_EQ(t.written, u"\rFilling the students: 256 of 601"_s);
    t.written.clear();
    t.now = 1550;
    t.line.report(JobPhase::Students, 512, 601);
    t.now = 1599;
    t.line.tick();
    EXPECT_TRUE(t.written.isEmpty()) << "a tenth of a second between drawings";
    t.now = 1600;
    t.line.tick();
    EXPECT_EQ(t.written, u"\rFilling the students: 512 of 601"_s);
    t.now = 2000;
    t.line.tick();
    EXPECT_EQ(t.written, u"\rFilling the students: 512 of 601"_s) << "an unchanged line is not drawn again";

    // A shorter text covers what is left of the longer one; the cursor stays after the text.
    t.line.report(JobPhase::Save, 0, 0);
    EXPECT_TRUE(t.written.endsWith(u"\rSaving the workbook"_s + QString(13, u' ') + QString(13, u'\b')));
    EXPECT_EQ(screenOf(t.written), QStringList{u"Saving the workbook"_s});
    t.now = 2050;
    t.line.report(u"Writing the workbook"_s);
    t.now = 2100;
    t.line.tick();
    EXPECT_TRUE(t.written.endsWith(u"\rWriting the workbook"_s));
    EXPECT_FALSE(t.written.contains(u'\n'));
    EXPECT_EQ(screenOf(t.written), QStringList{u"Writing the workbook"_s});
}

TEST(ProgressLine, StepsAsideForMessagesAndLeavesTheTerminalClean) {
    Terminal t;
    t.now = 1200;
    t.line.report(JobPhase::Picture, 0, 0);
    t.line.message(u"markwell-cli: the picture could not be saved.\n"_s);
    // Erased first: the message starts at the beginning of a clean line.
    EXPECT_TRUE(t.written.startsWith(u"\rDrawing the picture\r"_s + QString(19, u' ') +
                                     u"\rmarkwell-cli: the picture could not be saved.\n"_s))
        << t.written.toStdString();
    // It comes back below the message, and goes at the end.
    t.now = 1300;
    t.line.tick();
    EXPECT_EQ(screenOf(t.written),
              (QStringList{u"markwell-cli: the picture could not be saved."_s, u"Drawing the picture"_s}));
    t.line.finish();
    EXPECT_EQ(screenOf(t.written), (QStringList{u"markwell-cli: the picture could not be saved."_s, QString()}));
    const QString finished = t.written;
    t.now = 5000;
    t.line.report(JobPhase::Students, 1, 2);
    t.line.tick();
    t.line.finish();
    EXPECT_EQ(t.written, finished) << "nothing is drawn after the end";

    // An interrupted process erases the line from another thread.
    Terminal stopped;
    stopped.now = 3000;
    stopped.line.report(u"Reading the setup"_s);
    stopped.line.tryFinish();
    EXPECT_EQ(screenOf(stopped.written), QStringList{QString()});
    stopped.now = 4000;
    stopped.line.tick();
    EXPECT_EQ(screenOf(stopped.written), QStringList{QString()});
}

// A whole run of markwell-cli with its standard error on a terminal: the line shows the run's
// phases, and what is left on the screen is exactly the run's own messages, also those written
// while the job was under way.
TEST(CliProgress, ARunOnATerminalLeavesOnlyItsOwnMessages) {
    test::TempDir dir;
    QString students;
    for (int i = 1; i <= 300; ++i) {
        students += u"%1Student %2^%3^%4^%5^%6"_s.arg(i == 1 ? u""_s : u"|"_s)
                        .arg(i)
                        .arg(100000 + i)
                        .arg(i % 11)
                        .arg(i % 21, i % 51);
    }
    dir.write(u"class.txt"_s, (u"txtName=School\nTests=Quiz^10|Essay^20|Exam^50\nStudents="_s + students).toUtf8());

    struct Case {
        const char* what;
        bool terminal;
        bool templateInTheWay;
    };
    for (const Case& c :
         {Case{"on a terminal", true, false}, Case{"a failing job", true, true}, Case{"no terminal", false, false}}) {
        SCOPED_TRACE(c.what);
        test::TempDir work;
        if (c.templateInTheWay) {
            // Something that is not the job's own stands where the template goes: the job says so
            // on its way.
            ASSERT_TRUE(QDir(work.path()).mkdir(QString::fromUtf16(kTemplateFileName)));
        }
        // Every look at the clock is 150 ms later, as in a long job.
        qint64 now = 0;
        QString written, messages;
        cli::ProgressLine line(
            c.terminal, [&now] { return now += 150; }, [&written](const QString& text) { written += text; });
        now = 2000;
        cli::CliEnvironment env;
        env.hostFactory = defaultHostFactory();
        env.templateBytes = [] { return templateWorkbook(); };
        env.settingsFolder = dir.file(u"config"_s);
        env.workFolder = [&work] { return work.path(); };
        env.out = [](const QString&) {};
        env.err = [&](const QString& text) {
            messages += text;
            line.message(text);
        };
        env.progress = &line;
        const int code =
            cli::run({u"create"_s, u"--setup"_s, dir.file(u"class.txt"_s), u"--out"_s, dir.file(u"class.xls"_s),
                      u"--picture"_s, dir.file(u"class.png"_s), u"--force"_s, u"--timings"_s},
                     env);
        EXPECT_EQ(code, c.templateInTheWay ? cli::kExitFailure : cli::kExitSuccess) << messages.toStdString();
        EXPECT_TRUE(messages.contains(u"\"total\": "_s));
        EXPECT_EQ(screenOf(written), screenOf(messages)) << written.toStdString();
        if (!c.terminal) {
            EXPECT_EQ(written, messages);
            continue;
        }
        if (c.templateInTheWay) {
            EXPECT_LT(written.indexOf(u"\rOpening the template"_s), written.indexOf(u"in Ledgerly"_s));
            continue;
        }
        for (const QString& shown :
             {u"\rReading the setup"_s, u"\rOpening the template"_s, u"\rFilling the students: 256 of 300"_s,
              u"\rSaving the workbook"_s, u"\rDrawing the picture"_s, u"\rWriting the workbook"_s,
              u"\rWriting the picture"_s}) {
            EXPECT_TRUE(written.contains(shown)) << shown.toStdString();
        }
    }
}
