#pragma once
// BitmapBorder: the photo inside a frame drawn from a stored RGBA bitmap (a
// film edge, a print, a slide mount). The bitmap's transparent window is
// where the photo shows; four insets give that window as fractions of the
// bitmap's sides (left and right of its width, top and bottom of its
// height). The fourteen built-in frames are BitmapBorders over the
// program's own resources (addBuiltInFrames); a user's image file makes one
// at run time. No vars; one version.
//
// Turning: when the picture is wider than tall and the bitmap taller than
// wide, or the other way round, the frame is used turned by 90 degrees
// (insets left = bottom, right = top, top = left, bottom = right; aspect
// 1 / aspect). A square picture never turns it.
//
// Geometry: the output takes the frame's aspect, sized so that the photo
// fills the window (contentSizeFor), never larger than the bitmap itself;
// the photo is drawn inside the frame's pixel insets, which are recorded as
// the picture's content insets.
//
// Paint: the frame is resampled once per output size (from the thumbnail
// when the output is no wider than it, else from the full bitmap) and kept;
// every band then lays it over the picture by its alpha. The resampled
// frame is built under the tile's own lock and painted from without one. A
// frame that cannot be loaded leaves the picture unframed (placed and sized
// as if framed), and is not tried again by the tile.

#include <memory>

#include "foundation/GrowString.h"
#include "foundation/Mutex.h"
#include "render/BorderMod.h"

// A frame image and its pixel size.
struct BitmapReference {
    GrowString path;
    int32_t width = 0;
    int32_t height = 0;
};

class BitmapBorder : public BorderMod {
public:
    static constexpr uint32_t kNewestVersion = 1;
    // insets: {left, right, top, bottom}, or null for none.
    BitmapBorder(const GrowString& xmlName, const GrowString& shownName, const BitmapReference& bitmap,
                 const BitmapReference& thumbnail, const float* insets);
    ~BitmapBorder() override;

    void init(const BitmapReference& bitmap, const BitmapReference& thumbnail, const float* insets);

    ImageMod* clone() const override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    float borderAspectFor(float aspect) override;
    float outputRatioAspect(float aspect) override;
    void contentSizeFor(const float* margins, float* outWidth, float* outHeight, float sourceWidth,
                        float sourceHeight, float angle) override;
    void fitImageFloat(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
                       float height, float angle) override;
    void fitImage8(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
                   float height, float angle) override;

    // Whether the frame is used turned for a picture of that ratio
    // (width / height).
    bool turnsFor(float ratio) const;
    // The resampled frame a paint of that output size uses (building it when
    // needed), or null when the frame cannot be loaded. Shared, so that a
    // band keeps painting from it while another size replaces the cache.
    std::shared_ptr<const ImageBuffer> frameFor(int32_t fullWidth, int32_t fullHeight);

    float insetLeft = 0.0f;
    float insetRight = 0.0f;
    float insetTop = 0.0f;
    float insetBottom = 0.0f;
    float aspect = -1.0f;  // the bitmap's width / height, -1 when unknown
    uint8_t hasBitmap = 0;
    BitmapReference bitmapRef;
    BitmapReference thumbnailRef;

private:
    template <class Sample>
    void composite(ImageBuffer& image, const RenderArgs* args);
    template <bool kEightBit>
    void place(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
               float height, float angle);

    // The cache, under cacheLock.
    std::unique_ptr<Mutex> cacheLock;
    std::shared_ptr<const ImageBuffer> cachedFrame;
    GrowString failedPath;  // a frame image that could not be loaded
};

// Appends the fourteen built-in frames, in the order of the tool panel.
void addBuiltInFrames(GrowArray<ImageMod*>& out);
