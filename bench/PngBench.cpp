// Timings and sizes of the PNG encoder on pictures of made gradebooks, for its settings, and of
// Qt's own PNG writer on the same pictures.
//
//   cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DMARKWELL_BUILD_TESTS=OFF -DMARKWELL_BUILD_BENCHMARKS=ON
//   cmake --build build/release --target png_bench && build/release/bench/png_bench

#include "BenchClasses.h"

#include "workbook/host/EmbeddedHost.h"
#include "workbook/render/PngWriter.h"

#include "common/Prompt.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

// The picture "Create Template" shows for a class of that many tests and students.
QImage classPicture(int tests, int students) {
    QTemporaryDir work;
    QImage picture;
    bench::madeWorkbook(tests, students, work, &picture);
    return picture;
}

// 0: a class of 15 tests and 40 students; 1: 60 tests and 500 students; 2: the largest picture
// drawn (8000 x 8000 pixels), the first class's picture tiled.
const QImage& picture(int which) {
    static std::map<int, QImage> made;
    auto found = made.find(which);
    if (found != made.end()) {
        return found->second;
    }
    QImage image;
    if (which == 0) {
        image = classPicture(15, 40);
    } else if (which == 1) {
        image = classPicture(60, 500);
    } else {
        const QImage tile = picture(0);
        image = QImage(8000, 8000, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.drawTiledPixmap(image.rect(), QPixmap::fromImage(tile));
    }
    return made.emplace(which, std::move(image)).first->second;
}

struct Variant {
    const char* name;
    render::PngOptions options;
};

// The encoder's settings measured: the default first.
const std::vector<Variant>& variants() {
    static const std::vector<Variant> all = [] {
        std::vector<Variant> v(7);
        v[0] = {"level 1, None/Sub/Up", {}};
        v[1] = {"Z_RLE, None/Sub/Up", {}};
        v[1].options.runLengthOnly = true;
        v[2] = {"level 2, None/Sub/Up", {}};
        v[2].options.level = 2;
        v[3] = {"level 6, None/Sub/Up", {}};
        v[3].options.level = 6;
        v[4] = {"level 1, None/Sub/Up/Paeth", {}};
        v[4].options.filters = render::PngFilters::AdaptiveWithPaeth;
        v[5] = {"Z_RLE, None/Sub/Up/Paeth", {}};
        v[5].options.filters = render::PngFilters::AdaptiveWithPaeth;
        v[5].options.runLengthOnly = true;
        v[6] = {"level 1, Up", {}};
        v[6].options.filters = render::PngFilters::Up;
        return v;
    }();
    return all;
}

void counters(benchmark::State& state, const QImage& image, qsizetype bytes) {
    state.counters["size_KiB"] = static_cast<double>(bytes) / 1024.0;
    state.counters["Mpixel"] = static_cast<double>(image.width()) * image.height() / 1e6;
    bench::countPeakMemory(state);
}

// Arguments: the picture, the variant.
void Encode(benchmark::State& state) {
    const QImage& image = picture(static_cast<int>(state.range(0)));
    const Variant& variant = variants().at(static_cast<size_t>(state.range(1)));
    state.SetLabel(variant.name);
    qsizetype bytes = 0;
    for (auto _ : state) {
        QString why;
        const std::optional<QByteArray> png = render::encodePng(image, &why, variant.options);
        if (!png) {
            state.SkipWithError(why.toUtf8().constData());
            return;
        }
        bytes = png->size();
        benchmark::DoNotOptimize(png->constData());
    }
    counters(state, image, bytes);
}

// Qt's PNG writer with its default settings. Argument: the picture.
void QtWriter(benchmark::State& state) {
    const QImage& image = picture(static_cast<int>(state.range(0)));
    qsizetype bytes = 0;
    for (auto _ : state) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        if (!writer.write(image)) {
            state.SkipWithError(writer.errorString().toUtf8().constData());
            return;
        }
        bytes = png.size();
    }
    counters(state, image, bytes);
}

} // namespace

BENCHMARK(Encode)
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3, 4, 5, 6}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(Encode)
    ->ArgsProduct({{2}, {0, 1, 4}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(QtWriter)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(QtWriter)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
    return markwell::bench::runWithGui(argc, argv);
}
