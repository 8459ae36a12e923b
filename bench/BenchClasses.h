#pragma once

// What the benchmarks share: a class of any size, the job's environment in a scratch folder, and
// a prompt that only prints.

#include "common/Prompt.h"
#include "gradebook/CreateTemplate.h"
#include "gradebook/TemplateBytes.h"
#include "workbook/host/EmbeddedHost.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

#include <sys/resource.h>

namespace markwell::bench {

class SilentPrompt : public Prompt {
public:
    void message(const QString& text, const QString&, Icon) override {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    }
    Answer askYesNo(const QString&) override { return Answer::No; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
};

// A class of that many tests (100 points each) and students, with points spread over 0 to 100.
inline GradebookSetup classOf(int tests, int students) {
    using namespace Qt::Literals::StringLiterals;
    GradebookSetup s;
    s.options = {u"Lincoln High"_s, u"Ms. Rivera"_s, u"Algebra"_s, u"2026 Fall"_s};
    for (int t = 1; t <= tests; ++t) {
        s.tests.push_back({u"Test %1"_s.arg(t), u"100"_s});
    }
    for (int i = 1; i <= students; ++i) {
        StudentRow row{u"Student %1"_s.arg(i), u"S%1"_s.arg(i), {}};
        for (int t = 1; t <= tests; ++t) {
            row.points << QString::number((i * 7 + t * 13) % 101);
        }
        s.students.push_back(std::move(row));
    }
    s.pointsCount = tests;
    return s;
}

// The job on the embedded engine, with the template the program carries, in `work`.
inline CreateTemplateEnvironment environmentIn(const QTemporaryDir& work, CreateTemplateTimings* timings) {
    CreateTemplateEnvironment env;
    env.hostFactory = defaultHostFactory();
    env.templateBytes = [] { return templateWorkbook(); };
    env.workFolder = [&work] { return work.path(); };
    env.timings = timings;
    return env;
}

// The workbook "Create Template" makes for a class of that size, in `work`; empty when it made none.
inline QString madeWorkbook(int tests, int students, const QTemporaryDir& work, QImage* picture = nullptr) {
    const CreateTemplateEnvironment env = environmentIn(work, nullptr);
    SilentPrompt prompt;
    CollectingUi ui;
    bool creating = false;
    createTemplate(classOf(tests, students), env, ui, prompt, creating);
    if (picture != nullptr) {
        *picture = ui.picture;
    }
    return ui.workbook;
}

// The process's peak memory so far, as a counter of the benchmark.
inline void countPeakMemory(benchmark::State& state) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Runs the benchmarks the command line selects, with a graphical application for fonts and
// pictures (on the offscreen platform).
inline int runWithGui(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace markwell::bench
