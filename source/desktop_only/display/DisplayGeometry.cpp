#include "desktop_only/display/DisplayGeometry.h"

#include <cstring>

#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "render/TransformedBitmap.h"

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
