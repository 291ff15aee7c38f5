#include "effects/borders/ImageBorder.h"

#include <cstdio>

#include "adjustments/TileVars.h"
#include "effects/borders/BitmapBorder.h"
#include "foundation/TextNumbers.h"
#include "render/TransformedBitmap.h"

namespace {

// The one var: the border's picture file.
enum ImageBorderVar : int32_t { kFile = 0 };

// Alpha at or above this is frame, below it window.
constexpr int32_t kFrameAlpha = 252;

}  // namespace

void findFrameWindow(const ImageBuffer& frame, float insets[4]) {
    for (int32_t i = 0; i < 4; ++i) insets[i] = 0.0f;
    const int32_t w = frame.width;
    const int32_t h = frame.height;
    const int32_t n = frame.channelCount();
    if (!frame.data || w < 1 || h < 1 || n < 4) return;
    int32_t left = w - 1;
    int32_t right = 0;
    int32_t top = h - 1;
    int32_t bottom = 0;
    const uint8_t* p = frame.bytes();
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x, p += n) {
            if (p[3] >= kFrameAlpha) continue;
            if (x < left) left = x;
            if (x > right) right = x;
            if (y < top) top = y;
            if (y > bottom) bottom = y;
        }
    }
    cFprintf(stdout, "border LRTB pixels %i %i %i %i\n", left, right, top, bottom);
    std::fflush(stdout);
    const float perColumn = 1.0f / static_cast<float>(w);
    const float perRow = 1.0f / static_cast<float>(h);
    if (left < right) {
        insets[0] = static_cast<float>(left) * perColumn;
        insets[1] = static_cast<float>(w - right) * perColumn;
    }
    if (top < bottom) {
        insets[2] = static_cast<float>(top) * perRow;
        insets[3] = static_cast<float>(h - bottom) * perRow;
    }
}

ImageBorder::ImageBorder()
    : BorderMod(GrowString("Custom File Border"), GrowString("Image Border")), loadLock(std::make_unique<Mutex>()) {
    version = kNewestVersion;
    FileValue* file = new FileValue();
    for (const char* extension : {"png", "tif", "tiff"}) file->extensions.append(GrowString(extension));
    tilevars::placed(*this, kFile, addVar(ModVar("File", file)));
    description = "A border based on an input file that includes transparency where you want the image to show through.";
}

ImageBorder::~ImageBorder() = default;

ImageMod* ImageBorder::clone() const {
    ImageBorder* copy = new ImageBorder();
    MutexLocker guard(loadLock.get());
    if (inner) {
        copy->inner.reset(static_cast<BitmapBorder*>(inner->clone()));
        copy->loadedPath = loadedPath;
    }
    return copy;
}

GrowString ImageBorder::borderPath() const {
    const ModVar* file = var(kFile);
    const FileValue* value = file ? file->fileValue() : nullptr;
    return value ? value->path : GrowString("");
}

void ImageBorder::loadLocked(const GrowString& path) {
    inner.reset();
    loadedPath = "";
    if (path.isEmpty()) return;
    ImageBuffer frame;
    frame.allocate8(10, 10, 4);
    if (!loadNamedBitmap(&frame, path.c_str(), true) || !frame.data) {
        failedPath = path;
        return;
    }
    float insets[4];
    findFrameWindow(frame, insets);
    const BitmapReference reference{path, frame.width, frame.height};
    inner = std::make_shared<BitmapBorder>(GrowString(""), GrowString(""), reference, reference, insets);
    loadedPath = path;
    failedPath = "";
}

std::shared_ptr<BitmapBorder> ImageBorder::innerBorder(bool mayReplace) {
    const GrowString path = borderPath();
    MutexLocker guard(loadLock.get());
    if (inner && (!mayReplace || sameText(loadedPath, path))) return inner;
    if (!failedPath.isEmpty() && sameText(failedPath, path)) {
        if (mayReplace) inner.reset();  // the old file's border does not stand for this one
        return inner;
    }
    loadLocked(path);
    return inner;
}

void ImageBorder::varChanged(int32_t) {
    const GrowString path = borderPath();
    MutexLocker guard(loadLock.get());
    failedPath = "";  // a change of the file tries again
    loadLocked(path);
}

void ImageBorder::process8(ImageBuffer& image, const RenderArgs* args) {
    if (std::shared_ptr<BitmapBorder> border = innerBorder(false)) border->process8(image, args);
}

void ImageBorder::processFloat(ImageBuffer& image, const RenderArgs* args) {
    if (std::shared_ptr<BitmapBorder> border = innerBorder(false)) border->processFloat(image, args);
}

float ImageBorder::borderAspectFor(float aspect) {
    if (std::shared_ptr<BitmapBorder> border = innerBorder()) return border->borderAspectFor(aspect);
    cFprintf(stdout, "and aspect %f\n", static_cast<double>(aspect));
    std::fflush(stdout);
    return aspect;
}

float ImageBorder::outputRatioAspect(float aspect) {
    if (std::shared_ptr<BitmapBorder> border = innerBorder()) return border->outputRatioAspect(aspect);
    return aspect;
}

void ImageBorder::contentSizeFor(const float* margins, float* outWidth, float* outHeight, float sourceWidth,
                                 float sourceHeight, float angle) {
    if (std::shared_ptr<BitmapBorder> border = innerBorder()) {
        border->contentSizeFor(margins, outWidth, outHeight, sourceWidth, sourceHeight, angle);
        return;
    }
    cFprintf(stdout, "it's wanting these dims %f %f\n", static_cast<double>(sourceWidth),
             static_cast<double>(sourceHeight));
    std::fflush(stdout);
    BorderMod::contentSizeFor(margins, outWidth, outHeight, sourceWidth, sourceHeight, angle);
}

void ImageBorder::fitImageFloat(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                                float width, float height, float angle) {
    if (std::shared_ptr<BitmapBorder> border = innerBorder())
        border->fitImageFloat(source, dest, margins, exact, width, height, angle);
    else
        fitAndResampleFloat(source, dest, margins, exact, width, height, angle);
}

void ImageBorder::fitImage8(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                            float width, float height, float angle) {
    if (std::shared_ptr<BitmapBorder> border = innerBorder())
        border->fitImage8(source, dest, margins, exact, width, height, angle);
    else
        fitAndResample8(source, dest, margins, exact, width, height, angle);
}
