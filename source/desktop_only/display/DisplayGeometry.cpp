#include "desktop_only/display/DisplayGeometry.h"

#include <cmath>
#include <cstring>

#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "render/TransformedBitmap.h"
#include "desktop_only/widgets/ScreenPixelRatio.h"

bool displayOutputSize(const GrowArray<ImageMod*>& chain, int32_t sourceWidth, int32_t sourceHeight, bool useCrop,
                       bool useBorders, bool useSizing, int32_t& width, int32_t& height) {
    GeometryOptions options;
    options.useCrop = useCrop;
    options.useBorder = useBorders;
    options.useSizing = useSizing;
    OutputGeometry geometry;
    if (!computeOutputGeometry(chain, sourceWidth, sourceHeight, options, geometry)) return false;
    width = geometry.width;
    height = geometry.height;
    return true;
}

bool displayGeometry(const GrowArray<ImageMod*>& chain, int32_t sourceWidth, int32_t sourceHeight,
                     bool applyGeometric, int32_t maxWidth, int32_t maxHeight, OutputGeometry& geometry) {
    GeometryOptions options;
    options.useCrop = options.useBorder = options.useSizing = applyGeometric;
    options.maxWidth = maxWidth;
    options.maxHeight = maxHeight;
    return computeOutputGeometry(chain, sourceWidth, sourceHeight, options, geometry);
}

bool drawDisplaySource(const ImageBuffer& source, const OutputGeometry& geometry, const DrawWindow* window,
                       ImageBuffer& dest) {
    if (!source.data || geometry.width < 1 || geometry.height < 1) return false;
    const bool whole = !window || (window->originX == 0 && window->originY == 0 && window->width == geometry.width &&
                                   window->height == geometry.height);
    if (whole) return applyChainGeometry(source, geometry, dest);
    if (window->width < 1 || window->height < 1) return false;
    if (!dest.data) dest.channels = source.channelCount();
    if (!geometry.border) {
        drawTransformedBitmapWindow(&source, geometry.width, geometry.height, geometry.cropMargins(), nullptr, &dest,
                                    geometry.angle, *window);
        dest.insetLeft = dest.insetRight = dest.insetTop = dest.insetBottom = 0;
        return dest.data != nullptr;
    }
    // A frame is drawn whole by its border tile; the window is cut from it.
    ImageBuffer framed;
    framed.channels = dest.channels ? dest.channels : source.channelCount();
    if (!applyChainGeometry(source, geometry, framed)) return false;
    const int32_t n = framed.channelCount();
    if (!dest.data || dest.width != window->width || dest.height != window->height || dest.channelCount() != n)
        if (!dest.allocateFloat(window->width, window->height, n)) return false;
    for (int32_t y = 0; y < window->height; ++y) {
        const int32_t sy = y + window->originY;
        if (sy < 0 || sy >= framed.height) continue;
        int32_t first = window->originX < 0 ? -window->originX : 0;
        int32_t end = window->width;
        if (window->originX + end > framed.width) end = framed.width - window->originX;
        if (end <= first) continue;
        std::memcpy(dest.floats() + (static_cast<int64_t>(y) * window->width + first) * n,
                    framed.floats() + (static_cast<int64_t>(sy) * framed.width + window->originX + first) * n,
                    static_cast<size_t>(end - first) * n * sizeof(float));
    }
    dest.insetLeft = framed.insetLeft - window->originX;
    dest.insetTop = framed.insetTop - window->originY;
    dest.insetRight = framed.insetRight - (framed.width - window->originX - window->width);
    dest.insetBottom = framed.insetBottom - (framed.height - window->originY - window->height);
    dest.scale = framed.scale;
    return true;
}

QRect logicalPictureRect(const ViewPlacement& p, float dpr) {
    return QRect(static_cast<int>(std::floor(p.left / dpr)), static_cast<int>(std::floor(p.top / dpr)),
                 static_cast<int>(std::ceil(p.fullWidth / dpr)), static_cast<int>(std::ceil(p.fullHeight / dpr)));
}

QPoint logicalVisibleOrigin(const ViewPlacement& p, float dpr) {
    return QPoint(static_cast<int>(p.originX / dpr), static_cast<int>(p.originY / dpr));
}

float fitScaleFor(int32_t outW, int32_t outH, int32_t viewW, int32_t viewH) {
    if (outW < 1 || outH < 1 || viewW < 1 || viewH < 1) return 1.0f;
    const float sx = static_cast<float>(viewW) / static_cast<float>(outW);
    const float sy = static_cast<float>(viewH) / static_cast<float>(outH);
    const float s = sx < sy ? sx : sy;
    return s < 1.0f ? s : 1.0f;
}

namespace {

int32_t devicePixels(double v) {
    const int32_t n = saturatingInt(std::floor(v));
    return n < 0 ? 0 : n;
}

// Places one axis: the picture centred when it fits, else shifted by the
// pan and kept covering the view.
void placeAxis(int32_t full, int32_t view, float pan, int32_t& start, int32_t& origin, int32_t& visible) {
    if (full <= view) {
        start = (view - full) / 2;
    } else {
        int64_t s = (static_cast<int64_t>(view) - full) / 2 + saturatingInt(std::lround(static_cast<double>(pan)));
        if (s > 0) s = 0;
        if (s < static_cast<int64_t>(view) - full) s = static_cast<int64_t>(view) - full;
        start = static_cast<int32_t>(s);
    }
    origin = start < 0 ? -start : 0;
    const int64_t end = static_cast<int64_t>(start) + full < view ? static_cast<int64_t>(start) + full : view;
    const int64_t first = start > 0 ? start : 0;
    visible = end > first ? static_cast<int32_t>(end - first) : 0;
}

// The zoom in force: the fit scale in fit mode, else the zoom kept within
// the fit scale and full size.
float zoomFor(int32_t outW, int32_t outH, int32_t viewW, int32_t viewH, bool fit, float zoom) {
    const float fitScale = fitScaleFor(outW, outH, viewW, viewH);
    float z = zoom;
    if (fit || !(z >= fitScale)) z = fitScale;
    return z > 1.0f ? 1.0f : z;
}

}  // namespace

bool placePicture(const GrowArray<ImageMod*>& chain, int32_t sourceW, int32_t sourceH, bool applyGeometric,
                  int32_t viewW, int32_t viewH, bool fit, float zoom, float panX, float panY, ViewPlacement& p,
                  OutputGeometry& geometry) {
    int32_t outW = 0, outH = 0;
    if (viewW < 1 || viewH < 1) return false;
    if (!displayOutputSize(chain, sourceW, sourceH, applyGeometric, applyGeometric, applyGeometric, outW, outH))
        return false;
    const float dpr = screenPixelRatio();
    p.zoom = zoomFor(outW, outH, viewW, viewH, fit, zoom);
    int32_t limitW = devicePixels(static_cast<double>(outW) * p.zoom * dpr);
    int32_t limitH = devicePixels(static_cast<double>(outH) * p.zoom * dpr);
    if (limitW < 1) limitW = 1;
    if (limitH < 1) limitH = 1;
    if (!displayGeometry(chain, sourceW, sourceH, applyGeometric, limitW, limitH, geometry)) return false;
    p.fullWidth = geometry.width;
    p.fullHeight = geometry.height;
    const int32_t vw = devicePixels(static_cast<double>(viewW) * dpr);
    const int32_t vh = devicePixels(static_cast<double>(viewH) * dpr);
    placeAxis(p.fullWidth, vw, panX * dpr, p.left, p.originX, p.width);
    placeAxis(p.fullHeight, vh, panY * dpr, p.top, p.originY, p.height);
    return true;
}
