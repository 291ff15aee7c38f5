#pragma once
// WatermarkMod ("Watermark", tool-panel section "Utility"): lays a bitmap
// from a file (a logo, a signature) over the finished picture.
//
// Vars: "File" (the bitmap's path; png, tif, tiff, jpg, jpeg offered),
// "Anchor" (where it sits: the four corners, the four edges' middles or the
// centre), "Offset" 0..100 (the margin from the edges, Offset x 0.5 % of
// the picture's shorter side), "Scale" 0..100 (the size of the box it
// covers, Scale % of the picture's width and height, keeping its own
// aspect; 0 draws it at its natural size in full-size pixels) and "Opacity"
// 0..1 (shown as a percentage). The bitmap's alpha, times the opacity,
// blends it over every channel of the image, a fourth one included. One
// version.
//
// Trailing group, not striped: the pipeline calls it once on the whole
// image it renders, whose geometry (a region of the whole picture, its
// pixel scale) the RenderRegion gives.
//
// The file is read once through the image loader (loadNamedBitmap with the
// profile applied) and kept; only the part of the scaled bitmap that meets
// the picture is resampled, pixel for pixel as the whole scaled bitmap
// would be, and kept until the size or placement changes. A box of less
// than one pixel draws nothing; a file that cannot be read leaves the
// picture unchanged and no bitmap behind (the next render tries again).
// The cache belongs to the tile and is guarded by the tile's own lock.

#include <memory>

#include "foundation/GrowString.h"
#include "foundation/Mutex.h"
#include "framework/ImageMod.h"

class WatermarkMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;
    WatermarkMod();
    ~WatermarkMod() override;
    ImageMod* clone() const override;
    int32_t chainGroup() const override { return kGroupTrailing; }
    bool canTile(int32_t) const override { return false; }
    bool hasHoverPreview() const override { return false; }
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The anchors, by "Anchor" index.
    enum Anchor : int32_t {
        kLowerRight = 0,
        kLowerLeft,
        kUpperRight,
        kUpperLeft,
        kLeft,
        kRight,
        kTop,
        kBottom,
        kCenter,
    };

    // Where the scaled bitmap (ow x oh) sits in a picture of W x H with the
    // margin m: its top-left corner, in whole-picture pixels. An anchor
    // outside the list sits as "Lower Right".
    static void placement(int32_t anchor, int64_t W, int64_t H, int64_t ow, int64_t oh, int64_t m, int64_t* left,
                          int64_t* top);

private:
    template <class Sample>
    void overlayOnto(ImageBuffer& image, const RenderArgs* args);

    // The cache, under `lock`.
    std::unique_ptr<Mutex> lock;
    std::unique_ptr<ImageBuffer> loaded;   // the file as read (8-bit, 4 channels)
    int32_t overlayWidth = 0;              // its natural size
    int32_t overlayHeight = 0;
    GrowString overlayPath;                // the path it was read from
    std::unique_ptr<ImageBuffer> overlay;  // the part of the scaled bitmap last drawn
    int64_t overlayKey[6] = {};            // scaled width, height; part x, y, width, height
};
