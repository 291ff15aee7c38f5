#pragma once
// CropMod ("Crop"): the crop and straighten tile of a document.
//
// It holds the crop margins, the straighten angle and the frame proportion
// that the crop tool enforces; it changes no pixel itself. The output
// geometry step of a render (render/OutputGeometry.h) finds it by type tag 0
// and draws the source cut by the margins and turned by the angle into the
// render's starting buffer. It stands in the leading chain group, in front
// of every other tile, and has no hover preview.
//
// Vars, in order:
//   0..3 "Left", "Right", "Top", "Bottom": the part of each side cut away,
//        as a fraction of the source's width (left, right) or height (top,
//        bottom), 0..0.99 each; edited by dragging the crop frame, so no
//        control of their own (shown flag 0);
//   4    "Angle" (shown as "Straighten"): degrees, -45..45, turning the
//        picture about its centre;
//   5    "Aspect": the frame proportion of the crop tool, "Custom" (free)
//        then the options of cropAspectRatio (framework/CropRatio.h).

#include "framework/ImageMod.h"

enum CropVar : int32_t {
    kCropLeft = 0,
    kCropRight = 1,
    kCropTop = 2,
    kCropBottom = 3,
    kCropAngle = 4,
    kCropAspect = 5,
};

class CropMod : public ImageMod {
public:
    static constexpr uint32_t kNewestVersion = 1;
    CropMod();

    ImageMod* clone() const override;
    int32_t chainGroup() const override { return kGroupLeading; }
    bool hasHoverPreview() const override { return false; }
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The four margins {left, right, top, bottom} as the geometry uses them:
    // a var that is missing or holds no float reads 0; each value is
    // clamped to 0..0.99, and when the two margins of one axis together
    // leave less than 1% of the side, both are scaled down so that 1%
    // stays. A value that is not finite is passed on as it stands, so that
    // the geometry step refuses it. True when any margin is not 0.
    bool cropMargins(float margins[4]) const;
    // The straighten angle in degrees, 0 when the var is missing or holds
    // no float; a value that is not finite is passed on as it stands.
    float straightenAngle() const;
    // True when the tile leaves the picture as it is: no margin and angle 0.
    bool isNeutral() const;
};

// The crop tile behind a tile pointer (one carrying type tag 0), or null.
const CropMod* asCropMod(const ImageMod* mod);
