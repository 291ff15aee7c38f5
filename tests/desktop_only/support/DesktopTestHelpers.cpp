#include "support/DesktopTestHelpers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "desktop_only/display/DisplayGeometry.h"
#include "desktop_only/display/VxMediaWidget.h"
#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "framework/ImageLoaderSaver.h"
#include "framework/ModListHelpers.h"
#include "render/RenderContext.h"

void ensureTestApplication() {
    // Made once and never destroyed: at exit the toolkit's own statics may
    // already be gone, and the process ends anyway.
    static QApplication* app = nullptr;
    if (app) return;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "pellucine-test";
    static char* argv[] = {name, nullptr};
    app = new QApplication(argc, argv);
    if (!gImageLoaderSaver) gImageLoaderSaver = new DesktopImageLoaderSaver();
    screenDevicePixelRatio = 1.0f;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    QApplication::processEvents();
    return true;
}

bool waitForDisplayIdle(VxMediaWidget* view, int timeoutMs) {
    return waitUntil([view]() { return view->displayIdle(); }, timeoutMs);
}

ImageBuffer expectedFitDisplay(VxMediaWidget* view, const GrowArray<ImageMod*>& chain, int viewWidth,
                               int viewHeight) {
    ImageBuffer result;
    const std::shared_ptr<const ImageBuffer> source = view->sharedSource();
    if (!source) return result;
    const GrowArray<ImageMod*> ordered = orderModsByChainGroup(chain);
    int32_t outW = 0, outH = 0;
    if (!displayOutputSize(ordered, source->width, source->height, true, true, true, outW, outH)) return result;
    float z = std::fmin(static_cast<float>(viewWidth) / outW, static_cast<float>(viewHeight) / outH);
    if (z > 1.0f) z = 1.0f;
    const int32_t limitW = static_cast<int32_t>(std::floor(static_cast<double>(outW) * z));
    const int32_t limitH = static_cast<int32_t>(std::floor(static_cast<double>(outH) * z));
    // The whole picture at that size, drawn by the view from its source,
    // then the chain over it through a render context of its own.
    ImageBuffer drawn;
    float scale = 1.0f;
    if (!view->renderScaledSource(&drawn, limitW, limitH, ordered, &scale)) return result;
    RenderRegion region;
    region.fullWidth = drawn.width;
    region.fullHeight = drawn.height;
    region.scale = scale;
    RenderContext context(1);
    if (!context.render(ordered, &drawn, &result, -1, 0, &region)) return ImageBuffer();
    return result;
}

float maxDifference(const ImageBuffer& a, const ImageBuffer& b) {
    if (a.width != b.width || a.height != b.height || a.channelCount() != b.channelCount() || !a.data || !b.data)
        return -1.0f;
    float worst = 0.0f;
    const int64_t n = a.sampleCount();
    for (int64_t i = 0; i < n; ++i) {
        const float d = std::fabs(a.floats()[i] - b.floats()[i]);
        if (d > worst || std::isnan(d)) worst = std::isnan(d) ? 1e30f : d;
    }
    return worst;
}

bool writeTwoColourPhoto(const QString& path, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int shade = 20 * y / (height > 1 ? height - 1 : 1);
            image.setPixel(x, y, x < width / 2 ? qRgb(220, 40 + shade, 30) : qRgb(30, 60 + shade, 210));
        }
    return image.save(path, "PNG");
}
