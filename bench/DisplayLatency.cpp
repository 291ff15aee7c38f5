// pellucine_display_latency: how fast an edit reaches the document view.
//
//   pellucine_display_latency [--threads N] [--repeat N]
//
// Drives the real VxMediaWidget offscreen: a 6000 x 4000 float photo in a
// 2560 x 1440 view at device-pixel ratio 1, the ten-tile chain of
// bench/filters/chain10.plf, the parallel loop on N threads (8 by default).
// Each step hands the view a new chain as the main window does (clones under
// the state lock, dirty, a display thread) and times until the view's
// displayUpdatedSignal, then waits for the thread to end. Printed: the
// median of each kind of step, after one warm-up step of that kind.
//   last tile:  a change of the last tile's first var (the cache holds the nine before)
//   first tile: a change of the first tile's first var (the whole chain runs)
//   zoom:       the zoom between fit and a larger scale about the centre
//   pan:        a pan step at full size

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "TimingSupport.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "foundation/GrowString.h"
#include "framework/FilterFile.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"
#include "platform/ParallelFor.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string processorName() {
    std::ifstream cpu("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpu, line))
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    return "unknown processor";
}

// A photo-like picture: smooth gradients with fine texture.
ImageBuffer* makePhoto(int32_t w, int32_t h) {
    auto* image = new ImageBuffer();
    image->allocateFloat(w, h, 3);
    float* p = image->floats();
    uint32_t seed = 12345;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const float noise = static_cast<float>(seed >> 24) / 32.0f;
            *p++ = 40.0f + 180.0f * x / w + noise;
            *p++ = 30.0f + 150.0f * y / h + noise;
            *p++ = 200.0f - 120.0f * x / w + noise;
        }
    return image;
}

bool waitIdle(VxMediaWidget& view) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QApplication::processEvents();
        if (view.displayIdle()) return true;
        if (clock.elapsed() > 60000) return false;
        QThread::usleep(200);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int threads = 8;
    int repeat = 15;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--threads")) timing::parseCount(argv[i + 1], threads);
        if (!std::strcmp(argv[i], "--repeat")) timing::parseCount(argv[i + 1], repeat);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    setParallelThreadCount(threads);
    screenDevicePixelRatio = 1.0f;

    GrowArray<ImageMod*> prototypes;
    buildPrototypeList(prototypes);
    GrowArray<ImageMod*> chain;
    uint32_t status = 0;
    loadFilterFile(chain, GrowString(PELLUCINE_BENCH_FILTERS "/chain10.plf"), prototypes, status);
    if (chain.count != 10) {
        std::fprintf(stderr, "chain10.plf gave %d tiles (status %u)\n", chain.count, status);
        return 1;
    }

    VxMediaWidget view(nullptr);
    view.resize(2560, 1440);
    view.show();
    QApplication::processEvents();
    view.setSource(makePhoto(6000, 4000), nullptr);
    view.setHasMedia(true);
    view.updateOutputSize(true, true, true);

    std::atomic<int64_t> signalled{0};
    QObject::connect(
        &view, &VxMediaWidget::displayUpdatedSignal, &view,
        [&signalled] { signalled = Clock::now().time_since_epoch().count(); }, Qt::DirectConnection);

    view.displayChain(chain);
    if (!waitIdle(view)) return 1;

    // Times one step: from the start of the change to the first signal after it.
    auto timeStep = [&](const std::function<void()>& change) {
        signalled = 0;
        const auto start = Clock::now();
        change();
        const auto limit = start + std::chrono::seconds(30);
        while (signalled.load() == 0 && Clock::now() < limit) QThread::usleep(50);
        if (signalled.load() == 0) {
            std::fprintf(stderr, "no display update within 30 s\n");
            std::exit(1);
        }
        const double ms =
            std::chrono::duration<double, std::milli>(Clock::duration(signalled.load()) - start.time_since_epoch())
                .count();
        waitIdle(view);
        return ms;
    };
    auto measure = [&](const char* label, const std::function<void(int)>& change) {
        std::vector<double> times;
        for (int i = 0; i <= repeat; ++i) {
            const double ms = timeStep([&] { change(i); });
            if (i > 0) times.push_back(ms);  // the first is the warm-up
        }
        std::printf("%-11s median %7.2f ms (%d steps)\n", label, timing::medianOf(times), repeat);
        return timing::medianOf(times);
    };
    auto nudge = [&](ImageMod* tile, int i) {
        FloatValue* value = tile->floatAt(0);
        if (value) value->value = value->value + ((i % 2) ? 0.01f : -0.01f);
        tile->varChanged(0);
        view.displayChain(chain);
    };

    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("processor: %s, %d threads, photo 6000 x 4000, view 2560 x 1440, chain10.plf\n",
                processorName().c_str(), threads);
    measure("last tile", [&](int i) { nudge(chain[chain.count - 1], i); });
    measure("first tile", [&](int i) { nudge(chain[0], i); });
    measure("zoom", [&](int i) {
        view.setZoom((i % 2) ? 0.5f : 0.42f, 1280.0f, 720.0f);
    });
    view.setZoom(1.0f, 1280.0f, 720.0f);
    waitIdle(view);
    measure("pan", [&](int i) {
        view.setPanOffset(static_cast<float>((i % 7) * 40 - 120), static_cast<float>((i % 5) * 30 - 60));
        view.requestDisplayPass();
    });

    for (ImageMod* tile : chain) delete tile;
    freePrototypeList(prototypes);
    return 0;
}
