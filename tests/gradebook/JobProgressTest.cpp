// How far a "Create Template" job has come, as its caller hears it: every phase once, in the
// job's order, each where its work begins, with counts that only grow and end at their totals;
// the job itself does exactly what it does without anyone listening.

#include "gradebook/JobProgress.h"
#include "gradebook/CreateTemplate.h"
#include "gradebook/TemplateBytes.h"
#include "gradebook/WorkFiles.h"
#include "os/FileLock.h"

#include "FillFixture.h"
#include "RecordingHost.h"
#include "ScriptedPrompt.h"
#include "TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <tuple>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using markwell::test::classOf;

namespace {

struct Report {
    JobPhase phase;
    qint64 done, total;
};

const char* nameOf(JobPhase phase) {
    switch (phase) {
    case JobPhase::Waiting:
        return "Waiting";
    case JobPhase::Template:
        return "Template";
    case JobPhase::Tests:
        return "Tests";
    case JobPhase::Rows:
        return "Rows";
    case JobPhase::Students:
        return "Students";
    case JobPhase::Save:
        return "Save";
    case JobPhase::Reopen:
        return "Reopen";
    case JobPhase::Picture:
        break;
    }
    return "Picture";
}

struct WatchedUi : CollectingUi {
    bool busy = false;
    void setBusy(bool on) override { busy = on; }
};

// One job on a host that writes down what it is asked; the reports, when listened to, go into the
// same log as "progress <phase> <done>/<total>". With cancelAt, the job is asked to stop at the
// report of that phase with that count (after `skip` such reports).
struct RecordedJob {
    test::TempDir work;
    QStringList log;
    test::ScriptedPrompt prompt;
    WatchedUi ui;
    std::vector<Report> reports;
    std::optional<Report> cancelAt;
    int skip = 0; // matching reports before the one that cancels
    std::optional<int> waitMs;
    bool creating = false;

    void go(const GradebookSetup& setup, bool listen) {
        CreateTemplateEnvironment env;
        env.hostFactory = [this]() -> std::unique_ptr<SpreadsheetHost> {
            auto host = std::make_unique<test::RecordingHost>(log);
            host->picture = QImage(40, 30, QImage::Format_RGB32);
            host->picture.fill(Qt::white);
            return host;
        };
        env.templateBytes = [] { return QByteArray("template bytes"); };
        env.workFolder = [this] { return work.path(); };
        if (waitMs) {
            env.workFolderWaitMs = *waitMs;
        }
        int digit = 0;
        env.randomDigit = [&digit] { return digit++ % 9 + 1; };
        if (listen) {
            env.progress = [this](JobPhase phase, qint64 done, qint64 total) {
                reports.push_back({phase, done, total});
                log << u"progress %1 %2/%3"_s.arg(QString::fromLatin1(nameOf(phase))).arg(done).arg(total);
            };
        }
        env.cancelled = [this] {
            return cancelAt && reports.back().phase == cancelAt->phase && reports.back().done == cancelAt->done &&
                   skip-- == 0;
        };
        createTemplate(setup, env, ui, prompt, creating);
        // The work folder differs from run to run; the rest of the log must not.
        log.replaceInStrings(work.path(), u"<work>"_s);
    }

    qsizetype indexOf(const QString& prefix, qsizetype from = 0) const {
        for (qsizetype i = from; i < log.size(); ++i) {
            if (log[i].startsWith(prefix)) {
                return i;
            }
        }
        return -1;
    }
};

// Every phase is reported in one unbroken run of reports, in the job's order; within it the count
// starts at 0, never goes back and ends at the phase's total.
void expectPhasesInOrder(const std::vector<Report>& reports, const std::map<JobPhase, qint64>& totals) {
    const std::vector<JobPhase> order = {JobPhase::Template, JobPhase::Tests,  JobPhase::Rows,   JobPhase::Students,
                                         JobPhase::Save,     JobPhase::Reopen, JobPhase::Picture};
    std::vector<JobPhase> seen;
    for (size_t i = 0; i < reports.size(); ++i) {
        const Report& r = reports[i];
        SCOPED_TRACE(std::string(nameOf(r.phase)) + " " + std::to_string(r.done) + "/" + std::to_string(r.total));
        const bool starts = seen.empty() || seen.back() != r.phase;
        if (starts) {
            seen.push_back(r.phase);
            EXPECT_EQ(r.done, 0) << "a phase is reported when it begins";
        } else {
            EXPECT_GE(r.done, reports[i - 1].done);
            EXPECT_EQ(r.total, reports[i - 1].total);
        }
        EXPECT_LE(r.done, r.total);
        const bool ends = i + 1 == reports.size() || reports[i + 1].phase != r.phase;
        if (ends) {
            EXPECT_EQ(r.done, r.total) << "a counted phase ends at its total";
        }
        const auto total = totals.find(r.phase);
        EXPECT_EQ(r.total, total == totals.end() ? 0 : total->second);
    }
    EXPECT_EQ(seen, order);
}

} // namespace

TEST(JobProgress, PhasesComeInOrderWhereTheirWorkBeginsAndCountToTheirTotals) {
    // An odd number of students: the surplus row is deleted within the rows phase.
    const GradebookSetup setup = classOf(7, 601);
    RecordedJob job;
    job.go(setup, true);
    ASSERT_TRUE(job.prompt.shown().empty()) << job.prompt.messageTexts().join(u"\n"_s).toStdString();
    expectPhasesInOrder(job.reports, {{JobPhase::Tests, 7}, {JobPhase::Rows, 601}, {JobPhase::Students, 601}});

    // The long loops report on the way, every few hundred rows, not on every row.
    std::vector<qint64> students;
    for (const Report& r : job.reports) {
        if (r.phase == JobPhase::Students) {
            students.push_back(r.done);
        }
    }
    EXPECT_EQ(students, (std::vector<qint64>{0, 256, 512, 601}));
    EXPECT_GT(job.reports.size(), 10u);

    // Each report stands where its phase's work begins.
    const auto at = [&](const QString& prefix, qsizetype from = 0) { return job.indexOf(prefix, from); };
    EXPECT_LT(at(u"progress Template"_s), at(u"Open <work>/template.xlt"_s));
    EXPECT_LT(at(u"progress Tests"_s), at(u"Select R6C10:R19C10"_s));
    EXPECT_LT(at(u"Cells(7,13)"_s), at(u"progress Tests 7/7"_s));
    EXPECT_LT(at(u"progress Tests 7/7"_s), at(u"progress Rows 0/601"_s));
    EXPECT_LT(at(u"progress Rows 0/601"_s), at(u"Select rows 13:14"_s));
    EXPECT_LT(at(u"Delete rows 614:614"_s), at(u"progress Rows 601/601"_s));
    EXPECT_LT(at(u"progress Students 0/601"_s), at(u"Cells(13,2)"_s));
    EXPECT_LT(at(u"Cells(613,13)"_s), at(u"progress Students 601/601"_s));
    EXPECT_LT(at(u"progress Students 601/601"_s), at(u"Sheet 1 PrintArea"_s));
    EXPECT_LT(at(u"progress Save"_s), at(u"SaveAs"_s));
    EXPECT_LT(at(u"Quit"_s), at(u"progress Reopen"_s));
    const qsizetype reopen = at(u"progress Reopen"_s);
    EXPECT_LT(reopen, at(u"Open <work>/qvtemp"_s));
    EXPECT_LT(at(u"Open <work>/qvtemp"_s, reopen), at(u"progress Picture"_s));
    EXPECT_LT(at(u"progress Picture"_s), at(u"CopyPicture"_s));
    EXPECT_FALSE(job.ui.picture.isNull());

    // Listening changes nothing the job does: the same host calls in the same order.
    RecordedJob quiet;
    quiet.go(setup, false);
    QStringList withoutReports = job.log;
    withoutReports.removeIf([](const QString& line) { return line.startsWith(u"progress "_s); });
    EXPECT_EQ(withoutReports, quiet.log);
    EXPECT_TRUE(quiet.reports.empty());
}

TEST(JobProgress, EveryClassSizeEndsEachPhaseAtItsTotal) {
    // No tests and no students, one short of a report, exactly on one, an even class.
    const std::pair<int, int> classes[] = {{0, 0}, {1, 1}, {3, 255}, {2, 256}, {6, 514}};
    for (const auto& [tests, students] : classes) {
        SCOPED_TRACE(std::to_string(tests) + " tests, " + std::to_string(students) + " students");
        RecordedJob job;
        job.go(classOf(tests, students), true);
        EXPECT_TRUE(job.prompt.shown().empty());
        expectPhasesInOrder(job.reports,
                            {{JobPhase::Tests, tests}, {JobPhase::Rows, students}, {JobPhase::Students, students}});
    }
}

TEST(JobProgress, AJobOnTheEngineReportsAsItMakesTheWorkbook) {
    test::TempDir work;
    test::ScriptedPrompt prompt;
    CollectingUi ui;
    std::vector<Report> reports;
    CreateTemplateEnvironment env;
    env.hostFactory = defaultHostFactory();
    env.templateBytes = [] { return templateWorkbook(); };
    env.workFolder = [&work] { return work.path(); };
    env.progress = [&](JobPhase phase, qint64 done, qint64 total) { reports.push_back({phase, done, total}); };
    bool creating = false;
    createTemplate(classOf(12, 300), env, ui, prompt, creating);
    ASSERT_TRUE(prompt.shown().empty()) << prompt.messageTexts().join(u"\n"_s).toStdString();
    expectPhasesInOrder(reports, {{JobPhase::Tests, 12}, {JobPhase::Rows, 300}, {JobPhase::Students, 300}});
    EXPECT_TRUE(QFile::exists(ui.workbook));
    EXPECT_FALSE(ui.picture.isNull());
    QFile::remove(ui.workbook);
}

TEST(JobProgress, ACancelledJobStopsAtOnceAndLeavesNothingBehind) {
    // Each phase where it begins, within the students, and after the picture is drawn (the
    // picture's second report).
    const std::pair<Report, int> stops[] = {{{JobPhase::Template, 0, 0}, 0}, {{JobPhase::Tests, 0, 3}, 0},
                                            {{JobPhase::Rows, 0, 300}, 0},   {{JobPhase::Students, 256, 300}, 0},
                                            {{JobPhase::Save, 0, 0}, 0},     {{JobPhase::Reopen, 0, 0}, 0},
                                            {{JobPhase::Picture, 0, 0}, 0},  {{JobPhase::Picture, 0, 0}, 1}};
    for (const auto& [stop, skip] : stops) {
        SCOPED_TRACE(std::string(nameOf(stop.phase)) + " " + std::to_string(skip));
        RecordedJob job;
        job.cancelAt = stop;
        job.skip = skip;
        job.go(classOf(3, 300), true);
        EXPECT_TRUE(job.reports.back().phase == stop.phase && job.reports.back().done == stop.done)
            << "no report after the cancelled one";
        EXPECT_EQ(job.indexOf(u"CopyPicture"_s) >= 0, skip == 1);
        EXPECT_TRUE(job.prompt.shown().empty()) << job.prompt.messageTexts().join(u"\n"_s).toStdString();
        EXPECT_TRUE(job.ui.workbook.isEmpty() && job.ui.picture.isNull() && !job.ui.busy && !job.creating);
        EXPECT_TRUE(QDir(job.work.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            << "no work file and no lock";
        EXPECT_TRUE(work_files::recorded().isEmpty());
    }
}

TEST(JobProgress, AWaitForAnotherJobIsReportedAndCanBeCancelled) {
    RecordedJob job;
    const os::Result<os::FileLock> other = os::FileLock::tryTake(QDir(job.work.path()).filePath(u"markwell.lock"_s));
    ASSERT_TRUE(other && other->held());
    job.cancelAt = Report{JobPhase::Waiting, 0, 0};
    job.skip = 2;
    job.waitMs = 60000;
    QElapsedTimer clock;
    clock.start();
    job.go(classOf(3, 30), true);
    EXPECT_LT(clock.elapsed(), 30000) << "the wait ends at the cancel, not at its bound";
    ASSERT_EQ(job.reports.size(), 3U);
    EXPECT_EQ(job.reports.back().phase, JobPhase::Waiting);
    EXPECT_EQ(job.indexOf(u"progress Template"_s), -1) << "nothing of the job was begun";
    EXPECT_TRUE(job.prompt.shown().empty()) << job.prompt.messageTexts().join(u"\n"_s).toStdString();
    EXPECT_TRUE(job.ui.workbook.isEmpty() && !job.ui.busy && !job.creating);
    EXPECT_EQ(QDir(job.work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{u"markwell.lock"_s})
        << "the other job's lock is left to it";
}

TEST(JobProgress, TheWindowShowsOnlyOnceTheJobHasRunASecondAndThenNowAndThen) {
    struct View : ProgressView {
        QStringList calls;
        void showProgress(JobPhase phase, qint64 done, qint64 total) override {
            calls << progressText(phaseText(phase), done, total);
        }
        void letEventsRun() override { calls << u"events"_s; }
        void closeProgress() override { calls << u"close"_s; }
    };
    // When each report comes (milliseconds after the start), and whether the window hears of it.
    const std::tuple<qint64, JobPhase, qint64, bool> reports[] = {
        {0, JobPhase::Template, 0, false},  {999, JobPhase::Tests, 0, false},   {1000, JobPhase::Tests, 3, true},
        {1049, JobPhase::Tests, 3, false},  {1049, JobPhase::Rows, 0, true},    {1098, JobPhase::Rows, 256, false},
        {1099, JobPhase::Rows, 2048, true}, {5000, JobPhase::Students, 0, true}};
    qint64 now = 0;
    View view;
    CreateTemplateEnvironment env;
    {
        JobWatch watch(view, [&now] { return now; });
        watch.watch(env);
        for (const auto& [at, phase, done, heard] : reports) {
            SCOPED_TRACE(at);
            now = at;
            const qsizetype before = view.calls.size();
            env.progress(phase, done, 4096);
            EXPECT_EQ(view.calls.size() - before, heard ? 2 : 0);
            EXPECT_EQ(watch.shown(), at >= 1000);
            EXPECT_FALSE(env.cancelled());
        }
        EXPECT_EQ(view.calls.mid(0, 2), QStringList({u"Adding the tests: 3 of 4,096"_s, u"events"_s}));
        watch.cancel();
        EXPECT_TRUE(env.cancelled());
    }
    EXPECT_EQ(view.calls.last(), u"close"_s);

    View quick; // a short job never shows the window, nor closes it
    JobWatch(quick, [] { return qint64(999); }).report(JobPhase::Picture, 0, 0);
    EXPECT_TRUE(quick.calls.isEmpty());
}
