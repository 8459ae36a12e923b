// Timings of the embedded engine and of the whole "Create Template" job at class sizes from a
// couple of students to the largest the lists hold.
//
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DMARKWELL_BUILD_TESTS=OFF -DMARKWELL_BUILD_BENCHMARKS=ON
//   cmake --build build/bench --target gradebook_bench && build/bench/bench/gradebook_bench

#include "BenchClasses.h"

#include "workbook/formula/Recalc.h"
#include "workbook/host/EmbeddedHost.h"
#include "workbook/xls/XlsReader.h"

#include "common/Prompt.h"
#include "gradebook/export/SaveFormats.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

using bench::classOf;
using bench::countPeakMemory;
using bench::environmentIn;
using bench::madeWorkbook;
using bench::SilentPrompt;

// The whole job: template, fill, save, reopen, picture; per-phase times as counters.
void WholeJob(benchmark::State& state) {
    const GradebookSetup setup = classOf(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    QTemporaryDir work;
    SilentPrompt prompt;
    CreateTemplateTimings sum;
    for (auto _ : state) {
        CollectingUi ui;
        CreateTemplateTimings t;
        const CreateTemplateEnvironment env = environmentIn(work, &t);
        bool creating = false;
        createTemplate(setup, env, ui, prompt, creating);
        QFile::remove(ui.workbook);
        sum.templateMs += t.templateMs;
        sum.fillMs += t.fillMs;
        sum.saveMs += t.saveMs;
        sum.reopenMs += t.reopenMs;
        sum.pictureMs += t.pictureMs;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["template_ms"] = sum.templateMs / n;
    state.counters["fill_ms"] = sum.fillMs / n;
    state.counters["save_ms"] = sum.saveMs / n;
    state.counters["reopen_ms"] = sum.reopenMs / n;
    state.counters["picture_ms"] = sum.pictureMs / n;
    countPeakMemory(state);
}

// The engine alone: open the template, the structural operations of the filling, save.
void EngineOnly(benchmark::State& state) {
    const int tests = static_cast<int>(state.range(0));
    const int students = static_cast<int>(state.range(1));
    QTemporaryDir work;
    const QString templatePath = QDir(work.path()).filePath(u"template.xlt"_s);
    {
        QFile f(templatePath);
        f.open(QIODevice::WriteOnly);
        f.write(templateWorkbook());
    }
    const QString out = QDir(work.path()).filePath(u"out.xls"_s);
    for (auto _ : state) {
        EmbeddedHost host;
        host.Workbooks().Open(templatePath, nullptr, true);
        for (int i = 6; i <= tests; ++i) {
            host.Range(u"J6:J19"_s).Select();
            host.Selection().Copy();
            host.Range(u"J6"_s).Select();
            host.Selection().Insert(xlShiftToRight);
            host.setCutCopyMode(false);
        }
        const int m = students % 2 == 0 ? students : students + 1;
        for (int j = 2; j <= m / 2; ++j) {
            host.Rows(u"13:14"_s).Select();
            host.Selection().Copy();
            host.Selection().Insert(xlShiftDown);
            host.setCutCopyMode(false);
        }
        if (students % 2 == 1) {
            host.Rows(13 + m - 1).Select();
            host.Selection().Delete(xlShiftUp);
        }
        QFile::remove(out);
        host.ActiveWorkbook().SaveAs(out, xlExcel8);
        host.Quit();
    }
    countPeakMemory(state);
}

// Saving a made gradebook as .xls (a copy), .xlsx and PDF, the way the save command does; the
// file's size as a counter.
void SaveAs(benchmark::State& state) {
    const auto format = static_cast<exporting::SaveFormat>(state.range(0));
    QTemporaryDir work;
    const QString workbook = madeWorkbook(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)), work);
    const QString target = QDir(work.path()).filePath(u"saved"_s);
    for (auto _ : state) {
        exporting::SaveWorkbookAs(workbook, target, format);
    }
    state.counters["size_MiB"] = static_cast<double>(QFileInfo(target).size()) / (1024.0 * 1024.0);
    countPeakMemory(state);
}

// The recalculation of a filled class alone: every student's sums, average, letter and grade
// points, and the class summary, from the workbook "Create Template" saved.
void Recalculation(benchmark::State& state) {
    QTemporaryDir work;
    QFile file(madeWorkbook(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), work));
    if (!file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("no workbook was made");
        return;
    }
    const QByteArray bytes = file.readAll();
    sheet::Workbook book = xls::readXls(xls::ByteView(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                      static_cast<std::size_t>(bytes.size())))
                               .workbook;
    for (auto _ : state) {
        formula::recalculate(book);
        benchmark::ClobberMemory();
    }
}

void SmallClasses(benchmark::internal::Benchmark* b) {
    b->Args({2, 1})->Args({15, 40})->Unit(benchmark::kMillisecond);
}

// Large classes run once: each run takes seconds. Run one size per process for its peak memory
// (--benchmark_filter=WholeJob/250/32767).
void LargeClasses(benchmark::internal::Benchmark* b) {
    b->Args({60, 500})->Args({250, 32767})->Unit(benchmark::kMillisecond)->Iterations(1);
}

} // namespace

BENCHMARK(EngineOnly)->Apply(SmallClasses);
BENCHMARK(EngineOnly)->Apply(LargeClasses);
BENCHMARK(WholeJob)->Apply(SmallClasses);
BENCHMARK(WholeJob)->Apply(LargeClasses);
// Format 0 .xls, 1 .xlsx, 2 PDF; then tests and students.
BENCHMARK(SaveAs)->ArgsProduct({{0, 1, 2}, {15}, {40}})->Unit(benchmark::kMillisecond);
BENCHMARK(SaveAs)->ArgsProduct({{0, 1, 2}, {250}, {32767}})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Recalculation)->Args({15, 40})->Args({60, 500})->Args({250, 4000})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return markwell::bench::runWithGui(argc, argv);
}
