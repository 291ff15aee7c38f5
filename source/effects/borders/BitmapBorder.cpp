#include "effects/borders/BitmapBorder.h"

#include <math.h>

#include "framework/RenderArgs.h"
#include "render/TransformedBitmap.h"

namespace {

constexpr double kInv255d = 0.00392156862745098;

struct BuiltInFrame {
    const char* name;
    const char* bitmap;
    int32_t width, height;
    const char* thumbnail;
    int32_t thumbWidth, thumbHeight;
    float insets[4];  // left, right, top, bottom
};

const BuiltInFrame kBuiltInFrames[] = {
    {"47mm Square", ":/img/E1005.png", 2000, 1872, ":/img/E1005_thumb.png", 450, 421, {0.077f, 0.05f, 0.041f, 0.041f}},
    {"35mm Bleed", ":/img/35mm_holga.png", 2000, 1192, ":/img/35mm_holga_thumb.png", 450, 268, {0, 0, 0, 0}},
    {"Eroded", ":/img/blotchy_black.png", 2000, 1750, ":/img/blotchy_black_thumb.png", 450, 394, {0, 0, 0, 0}},
    {"Cut", ":/img/greenish_film.png", 2000, 1486, ":/img/greenish_film_thumb.png", 450, 334,
     {0.035f, 0.035f, 0.064f, 0.064f}},
    {"Infini 50", ":/img/infini_50.png", 2000, 1500, ":/img/infini_50_thumb.png", 450, 338,
     {0.04f, 0.045f, 0.025f, 0.031f}},
    {"Insta", ":/img/instant.png", 2000, 1261, ":/img/instant_thumb.png", 450, 284,
     {0.07986111f, 0.1796875f, 0.06400551f, 0.06400551f}},
    {"Print-W", ":/img/pl_print_w_large.png", 2000, 2000, ":/img/pl_print_w_small.png", 640, 640,
     {0, 0, 0.062f, 0.0725f}},
    {"Print-B", ":/img/pl_print_b_large.png", 2000, 2000, ":/img/pl_print_b_small.png", 640, 640,
     {0, 0, 0.062f, 0.0725f}},
    {"Vinyl", ":/img/record.png", 2000, 2000, ":/img/record_thumb.png", 450, 450, {0.025f, 0.025f, 0.025f, 0.025f}},
    {"75mm Strip", ":/img/lumiere.png", 2000, 1297, ":/img/lumiere_thumb.png", 450, 292, {0.0955f, 0.0965f, 0, 0}},
    {"White Slide", ":/img/subject_slide.png", 2000, 1993, ":/img/subject_slide_thumb.png", 450, 448,
     {0.156f, 0.152f, 0.25977933f, 0.26379138f}},
    {"Notched", ":/img/wide_cutout.png", 2000, 1292, ":/img/wide_cutout_thumb.png", 450, 291,
     {0.025f, 0.023f, 0.0503096f, 0.051857587f}},
    {"Safety Film", ":/img/safety_film.png", 2000, 1500, ":/img/safety_film_thumb.png", 450, 338,
     {0.023f, 0.023f, 0.023f, 0.023f}},
    {"Paper", ":/img/rounded_offwhite.png", 2000, 1490, ":/img/rounded_offwhite_thumb.png", 450, 335,
     {0.016f, 0.02f, 0.033557046f, 0.033557046f}},
};

// Whole pixels of a float, half rounded up: (float)(int)(v + 0.5), with the
// conversion guarded (NaN and sizes past the integer range give 0, which
// the picture-size check refuses).
float roundedSide(float v) {
    const double r = static_cast<double>(v) + 0.5;
    if (!(r >= 0.0) || r >= 2147483647.0) return 0.0f;
    return static_cast<float>(static_cast<int32_t>(r));
}

// A pixel inset: the fraction of the side, truncated toward zero.
int32_t insetPixels(float fraction, float side) { return saturatingInt(static_cast<double>(fraction * side)); }

template <class Sample>
Sample blendSample(Sample out, uint8_t frame, float a);
template <>
inline float blendSample<float>(float out, uint8_t frame, float a) {
    return static_cast<float>(static_cast<double>(out) * (1.0 - static_cast<double>(a)) +
                              static_cast<double>(static_cast<float>(frame) * a));
}
template <>
inline uint8_t blendSample<uint8_t>(uint8_t out, uint8_t frame, float a) {
    return storeByte(static_cast<float>(static_cast<double>(out) * (1.0 - static_cast<double>(a)) +
                                        static_cast<double>(static_cast<float>(frame) * a)));
}

}  // namespace

BitmapBorder::BitmapBorder(const GrowString& xmlName, const GrowString& shownName, const BitmapReference& bitmap,
                           const BitmapReference& thumbnail, const float* insets)
    : BorderMod(xmlName, shownName), cacheLock(std::make_unique<Mutex>()) {
    version = kNewestVersion;
    init(bitmap, thumbnail, insets);
}

BitmapBorder::~BitmapBorder() = default;

void BitmapBorder::init(const BitmapReference& bitmap, const BitmapReference& thumbnail, const float* insets) {
    bitmapRef = bitmap;
    thumbnailRef = thumbnail;
    insetLeft = insets ? insets[0] : 0.0f;
    insetRight = insets ? insets[1] : 0.0f;
    insetTop = insets ? insets[2] : 0.0f;
    insetBottom = insets ? insets[3] : 0.0f;
    hasBitmap = 1;
    aspect = -1.0f;
    if (bitmap.width > 0 && bitmap.height > 0)
        aspect = static_cast<float>(bitmap.width) / static_cast<float>(bitmap.height);
    MutexLocker guard(cacheLock.get());
    cachedFrame.reset();
    failedPath = "";
}

ImageMod* BitmapBorder::clone() const {
    const float insets[4] = {insetLeft, insetRight, insetTop, insetBottom};
    BitmapBorder* copy = new BitmapBorder(GrowString(""), GrowString(""), bitmapRef, thumbnailRef, insets);
    copy->copyFrom(*this);
    copy->aspect = aspect;
    copy->hasBitmap = hasBitmap;
    return copy;
}

bool BitmapBorder::turnsFor(float ratio) const { return (ratio > 1.0f && aspect < 1.0f) || (ratio < 1.0f && aspect > 1.0f); }

float BitmapBorder::borderAspectFor(float a) {
    if (hasBitmap && turnsFor(a)) return 1.0f / aspect;
    return aspect;
}

float BitmapBorder::outputRatioAspect(float a) {
    const float w = static_cast<float>(static_cast<double>(aspect) * (1.0 - static_cast<double>(insetLeft + insetRight)));
    const float h = 1.0f - insetTop - insetBottom;
    if (hasBitmap && turnsFor(a)) return h / w;
    return w / h;
}

void BitmapBorder::contentSizeFor(const float* margins, float* outWidth, float* outHeight, float sourceWidth,
                                  float sourceHeight, float angle) {
    float cw = 0.0f;
    float ch = 0.0f;
    straightenedCroppedSize(margins, sourceWidth, sourceHeight, angle, &cw, &ch);
    const bool turned = hasBitmap && turnsFor(cw / ch);
    const float kx = static_cast<float>(1.0 / (1.0 - static_cast<double>(insetLeft + insetRight)));
    const float ky = static_cast<float>(1.0 / (1.0 - static_cast<double>(insetTop + insetBottom)));
    const float fw = turned ? ky * cw : kx * cw;
    const float fh = turned ? kx * ch : ky * ch;
    const float S = turned ? 1.0f / aspect : aspect;
    float w = fw;
    float h = fh;
    // A frame of unknown aspect keeps the box the photo needs.
    if (aspect > 0.0f) {
        if (S > fw / fh)
            h = roundedSide(fw / S);
        else
            w = roundedSide(S * fh);
    }
    // Never larger than the bitmap, in the frame's orientation.
    if (bitmapRef.width > 0 && bitmapRef.height > 0) {
        const float bw = static_cast<float>(turned ? bitmapRef.height : bitmapRef.width);
        const float bh = static_cast<float>(turned ? bitmapRef.width : bitmapRef.height);
        if (bw < w || bh < h) {
            w = bw;
            h = bh;
        }
    }
    if (outWidth) *outWidth = w;
    if (outHeight) *outHeight = h;
}

template <bool kEightBit>
void BitmapBorder::place(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
                         float height, float angle) {
    float content[2], box[2];
    if (!dest || !framedBox(source, dest, margins, exact, width, height, angle, content, box)) return;
    const float ow = box[0];
    const float oh = box[1];
    int32_t pixelsWide = 0;
    int32_t pixelsHigh = 0;
    if (!pictureSize(ow, oh, &pixelsWide, &pixelsHigh)) {
        dest->release();
        return;
    }
    int32_t insets[4];
    if (turnsFor(ow / oh)) {
        insets[0] = insetPixels(insetBottom, ow);
        insets[1] = insetPixels(insetTop, ow);
        insets[2] = insetPixels(insetLeft, oh);
        insets[3] = insetPixels(insetRight, oh);
    } else {
        insets[0] = insetPixels(insetLeft, ow);
        insets[1] = insetPixels(insetRight, ow);
        insets[2] = insetPixels(insetTop, oh);
        insets[3] = insetPixels(insetBottom, oh);
    }
    if (kEightBit)
        drawTransformedBitmap8(source, pixelsWide, pixelsHigh, margins, insets, dest, angle);
    else
        drawTransformedBitmap(source, pixelsWide, pixelsHigh, margins, insets, dest, angle);
    recordContentInsets(*dest, insets);
}

void BitmapBorder::fitImageFloat(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                                 float width, float height, float angle) {
    place<false>(source, dest, margins, exact, width, height, angle);
}

void BitmapBorder::fitImage8(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                             float width, float height, float angle) {
    place<true>(source, dest, margins, exact, width, height, angle);
}

std::shared_ptr<const ImageBuffer> BitmapBorder::frameFor(int32_t fullWidth, int32_t fullHeight) {
    if (fullWidth < 1 || fullHeight < 1) return nullptr;
    const bool turned = hasBitmap && turnsFor(static_cast<float>(fullWidth) / static_cast<float>(fullHeight));
    const int32_t frameWidth = turned ? fullHeight : fullWidth;
    const int32_t frameHeight = turned ? fullWidth : fullHeight;
    const int32_t thumbWide = turned ? thumbnailRef.height : thumbnailRef.width;
    const GrowString& path = fullWidth > thumbWide ? bitmapRef.path : thumbnailRef.path;

    MutexLocker guard(cacheLock.get());
    if (cachedFrame && cachedFrame->width == frameWidth && cachedFrame->height == frameHeight) return cachedFrame;
    cachedFrame.reset();
    if (path.isEmpty() || (!failedPath.isEmpty() && failedPath == path)) return nullptr;
    ImageBuffer loaded;
    loaded.allocate8(10, 10, 4);
    if (!loadNamedBitmap(&loaded, path.c_str(), true) || !loaded.data) {
        failedPath = path;
        return nullptr;
    }
    auto frame = std::make_shared<ImageBuffer>();
    frame->allocate8(frameWidth, frameHeight, 4);
    if (!frame->data) return nullptr;
    drawTransformedBitmap8(&loaded, frameWidth, frameHeight, nullptr, nullptr, frame.get(), 0.0f);
    if (!frame->data || frame->width != frameWidth || frame->height != frameHeight) return nullptr;
    cachedFrame = std::move(frame);
    return cachedFrame;
}

template <class Sample>
void BitmapBorder::composite(ImageBuffer& image, const RenderArgs* args) {
    const BorderFrame f = borderFrameOf(image, args);
    if (f.drawWidth < 1 || f.drawHeight < 1) return;
    const std::shared_ptr<const ImageBuffer> frame = frameFor(f.fullWidth, f.fullHeight);
    if (!frame) return;
    const bool turned = frame->width != f.fullWidth || frame->height != f.fullHeight;
    const int32_t n = image.channelCount();
    const int32_t fc = frame->channelCount();
    const int32_t channels = n < fc ? n : fc;
    const int64_t frameStride = static_cast<int64_t>(frame->width) * fc;
    const uint8_t* frameData = frame->bytes();
    Sample* data = static_cast<Sample*>(image.data);
    for (int32_t y = 0; y < f.drawHeight; ++y) {
        const int64_t Y = static_cast<int64_t>(y) + f.y0;
        Sample* p = data + static_cast<int64_t>(y) * image.width * n;
        for (int32_t x = 0; x < f.drawWidth; ++x, p += n) {
            const int64_t X = static_cast<int64_t>(x) + f.x0;
            // Turned, the frame's column runs down the picture and its rows
            // from the picture's right edge to its left.
            const uint8_t* q = turned ? frameData + (static_cast<int64_t>(f.fullWidth) - 1 - X) * frameStride + Y * fc
                                      : frameData + Y * frameStride + X * fc;
            const uint8_t alpha = q[3];
            if (alpha == 0) continue;  // out (1 - 0) + frame 0 is out exactly
            const float a = static_cast<float>(static_cast<double>(alpha) * kInv255d);
            for (int32_t c = 0; c < channels; ++c) p[c] = blendSample<Sample>(p[c], q[c], a);
        }
    }
}

void BitmapBorder::process8(ImageBuffer& image, const RenderArgs* args) { composite<uint8_t>(image, args); }

void BitmapBorder::processFloat(ImageBuffer& image, const RenderArgs* args) { composite<float>(image, args); }

void addBuiltInFrames(GrowArray<ImageMod*>& out) {
    for (const BuiltInFrame& f : kBuiltInFrames) {
        BitmapReference bitmap;
        bitmap.path = f.bitmap;
        bitmap.width = f.width;
        bitmap.height = f.height;
        BitmapReference thumbnail;
        thumbnail.path = f.thumbnail;
        thumbnail.width = f.thumbWidth;
        thumbnail.height = f.thumbHeight;
        out.append(new BitmapBorder(GrowString(f.name), GrowString(f.name), bitmap, thumbnail, f.insets));
    }
}
