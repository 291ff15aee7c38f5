// pellucine_display_latency: how fast an edit, or an opened photo, reaches
// the document view.
//
//   pellucine_display_latency [--threads N] [--repeat N] [--open PHOTO]
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
//   open:       the program's main window (offscreen, 2560 x 1440, a new
//               document) opens a photo as a file-open request does
//               (MainWindow::openMediaFile: decode, then the first display
//               pass); timed from the request to the view's first
//               displayUpdatedSignal, the first picture drawn. "returned"
//               is when openMediaFile gave the interface thread back.
// With --open PHOTO only the open row is timed, on that photo; without it
// the photo is the picture above, written as a JPEG (quality 90).

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
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
#include "desktop_only/app/MainWindow.h"
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

// The picture as 8-bit RGB, for writing it as a JPEG.
QImage toQImage(const ImageBuffer& photo) {
    QImage image(photo.width, photo.height, QImage::Format_RGB888);
    const float* p = photo.floats();
    for (int32_t y = 0; y < photo.height; ++y) {
        uchar* row = image.scanLine(y);
        for (int32_t i = 0; i < photo.width * 3; ++i, ++p)
            row[i] = static_cast<uchar>(*p < 0.0f ? 0.0f : (*p > 255.0f ? 255.0f : *p));
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

// The open row: a main window opens photo repeat + 1 times (the first is
// the warm-up); prints the medians of the time to the first picture and of
// the time until openMediaFile returned.
bool measureOpen(const QString& photo, int repeat) {
    MainWindow window(QString{});
    window.resize(2560, 1440);
    window.show();
    QApplication::processEvents();
    const QList<VxMediaWidget*> views = window.findChildren<VxMediaWidget*>();
    if (views.isEmpty()) {
        std::fprintf(stderr, "the main window has no document view\n");
        return false;
    }
    std::atomic<int64_t> shown{0};
    for (VxMediaWidget* view : views)
        QObject::connect(
            view, &VxMediaWidget::displayUpdatedSignal, view,
            [&shown] {
                int64_t none = 0;
                shown.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
            },
            Qt::DirectConnection);
    // Idle: no pass running or due in any view, the interface's own events
    // (layout, the timer that follows a resize) handled.
    auto settle = [&views] {
        for (int quiet = 0; quiet < 20;) {
            QApplication::processEvents();
            bool idle = true;
            for (VxMediaWidget* view : views) idle = idle && view->displayIdle();
            quiet = idle ? quiet + 1 : 0;
            QThread::msleep(5);
        }
    };
    settle();
    std::vector<double> toPicture, toReturn;
    for (int i = 0; i <= repeat; ++i) {
        shown = 0;
        const auto start = Clock::now();
        if (!window.openMediaFile(photo)) {
            std::fprintf(stderr, "could not open %s\n", photo.toLocal8Bit().constData());
            return false;
        }
        const auto returned = Clock::now();
        const auto limit = returned + std::chrono::seconds(30);
        while (shown.load() == 0 && Clock::now() < limit) {
            QApplication::processEvents();
            QThread::usleep(50);
        }
        if (shown.load() == 0) {
            std::fprintf(stderr, "no picture within 30 s of the open\n");
            return false;
        }
        const double ms =
            std::chrono::duration<double, std::milli>(Clock::duration(shown.load()) - start.time_since_epoch())
                .count();
        settle();
        if (i == 0) continue;  // the warm-up
        toPicture.push_back(ms);
        toReturn.push_back(std::chrono::duration<double, std::milli>(returned - start).count());
    }
    std::printf("%-11s median %7.2f ms (%d opens; openMediaFile returned after %.2f ms)\n", "open",
                timing::medianOf(toPicture), repeat, timing::medianOf(toReturn));
    window.stopDisplayThreads();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int threads = 8;
    int repeat = 15;
    const char* openPhoto = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--threads")) timing::parseCount(argv[i + 1], threads);
        if (!std::strcmp(argv[i], "--repeat")) timing::parseCount(argv[i + 1], repeat);
        if (!std::strcmp(argv[i], "--open")) openPhoto = argv[i + 1];
    }
    // The main window reads and writes preferences and presets: a private
    // data and cache folder keeps the user's own out of it.
    QTemporaryDir home;
    if (!home.isValid()) return 1;
    setenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit().constData(), 1);
    setenv("XDG_CACHE_HOME", (home.path() + "/cache").toLocal8Bit().constData(), 1);
    setenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit().constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    setParallelThreadCount(threads);
    screenDevicePixelRatio = 1.0f;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (openPhoto) {
        std::printf("processor: %s, %d threads, open %s in a 2560 x 1440 window\n", processorName().c_str(), threads,
                    openPhoto);
        return measureOpen(QString::fromLocal8Bit(openPhoto), repeat) ? 0 : 1;
    }

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
    ImageBuffer* photo = makePhoto(6000, 4000);
    const QString photoFile = home.path() + "/photo.jpg";
    if (!toQImage(*photo).save(photoFile, "JPEG", 90)) {
        std::fprintf(stderr, "could not write %s\n", photoFile.toLocal8Bit().constData());
        return 1;
    }
    view.setSource(photo, nullptr);
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
    const bool opened = measureOpen(photoFile, repeat);

    for (ImageMod* tile : chain) delete tile;
    freePrototypeList(prototypes);
    return opened ? 0 : 1;
}
