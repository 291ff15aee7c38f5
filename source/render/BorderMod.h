#pragma once
// BorderMod: the base of every border tile (type tag 4, kind 1).
//
// A border changes the geometry of the result and then paints its frame:
// - geometry, before the chain runs (render/OutputGeometry.h): the output
//   geometry step asks the chain's border for the output size a source needs
//   (contentSizeFor, after the crop margins and the straighten angle), then
//   has it draw the cropped and straightened source into the starting buffer
//   at the target size (fitImageFloat / fitImage8), placed inside the
//   frame's pixel margins. Borders that place the photo inside a frame
//   record those margins in the buffer as its content insets;
// - paint, as a tile of the chain: process8 / processFloat draw the frame
//   around the content rectangle, reading the content insets back from the
//   band record (RenderArgs::region) or, without one, from the image.
//
// The base places the straightened and cropped source with no frame. Every
// border stands in the trailing chain group and has no hover preview.
//
// Shared rules: sizes are floats until a picture is drawn; a side becomes a
// pixel count by truncation toward zero, and a size that is not finite,
// below one pixel or beyond the pixel budget draws nothing (the destination
// is released).

#include "framework/ImageMod.h"

class BorderMod : public ImageMod {
public:
    // Runs the ImageMod constructor with the names and adds type tag 4.
    BorderMod(const GrowString& xmlName, const GrowString& shownName);

    int32_t chainGroup() const override { return kGroupTrailing; }
    int32_t kind() const override { return kBorderMod; }
    ImageMod* borderMod() override { return this; }
    bool hasHoverPreview() const override { return false; }

    // The aspect (width / height) of the bordered result for an image of the
    // given aspect; the base returns its argument.
    virtual float borderAspectFor(float aspect);
    // The aspect of the frame's content window oriented like the image; the
    // base returns its argument.
    virtual float outputRatioAspect(float aspect);
    // Writes the output size that a sourceWidth x sourceHeight source needs,
    // after the crop margins ({left, right, top, bottom} fractions of the
    // source sides, or null) and the straighten angle (degrees). The base
    // writes the straightened and cropped source size.
    virtual void contentSizeFor(const float* margins, float* outWidth, float* outHeight, float sourceWidth,
                                float sourceHeight, float angle);
    // Draws the source, cut by the margins and turned by the angle, into
    // dest at the target width x height (exactly that size when exact is
    // set, else the fitted size). The base runs fitAndResampleFloat /
    // fitAndResample8.
    virtual void fitImageFloat(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                               float width, float height, float angle);
    virtual void fitImage8(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                           float width, float height, float angle);

    // The steps every border's fit starts with: dest loses its content
    // insets and, without a source, its pixels (false). Otherwise writes the
    // border's content size for the source (content[2]) and the box the
    // framed picture fills (box[2]): that size fitted into width x height,
    // or width x height itself when exact is set.
    bool framedBox(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
                   float height, float angle, float content[2], float box[2]);

    // The fit rule: the straightened and cropped source fitted into
    // width x height keeping its aspect (the free side rounded half up),
    // or exactly width x height with exact set, drawn without insets; the
    // destination's content insets become 0.
    void fitAndResampleFloat(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                             float width, float height, float angle);
    void fitAndResample8(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact,
                         float width, float height, float angle);
};

// The border behind a tile pointer (kind 1 with type tag 4), or null.
BorderMod* asBorderMod(ImageMod* mod);

// ---- Geometry shared by the borders ------------------------------------------------

// The scale of the largest rectangle of a w x h source's aspect that fits
// inside the source turned by the angle: sin(theta) / sin(theta + a) with
// theta = atan(shorter / longer) and a the angle folded into 0..90 degrees.
// Exactly 1 for angle 0; NaN for an angle that is not finite.
float straightenFactor(float width, float height, float angle);

// The straightened and cropped size of a width x height source: each side
// times the straighten factor, then times 1 - (the sum of its two margins).
void straightenedCroppedSize(const float* margins, float width, float height, float angle, float* outWidth,
                             float* outHeight);

// Fits content of contentWidth x contentHeight into boxWidth x boxHeight
// keeping the content's aspect: the side that touches the box keeps the
// box's value, the other is rounded half up to a whole number.
void fitIntoBox(float contentWidth, float contentHeight, float boxWidth, float boxHeight, float* outWidth,
                float* outHeight);

// A float size as whole pixels: each side truncated toward zero. False (and
// 0 x 0) when a side is not finite or below 1, or when the picture would
// exceed the pixel budget (kMaxImagePixels).
bool pictureSize(double width, double height, int32_t* outWidth, int32_t* outHeight);

// Where a band lies in the bordered picture, for the paint steps.
struct BorderFrame {
    int32_t fullWidth = 0;   // FW: the whole output
    int32_t fullHeight = 0;  // FH
    int32_t x0 = 0;          // the band's offset in the output
    int32_t y0 = 0;
    int32_t left = 0;        // the content insets
    int32_t right = 0;
    int32_t top = 0;
    int32_t bottom = 0;
    int32_t drawWidth = 0;   // min(FW - x0, image width)
    int32_t drawHeight = 0;  // min(FH - y0, image height)
};
// From the band record of args when there is one, else from the image (its
// size, offset 0 and its recorded content insets).
BorderFrame borderFrameOf(const ImageBuffer& image, const RenderArgs* args);

// Records {left, right, top, bottom} as the image's content insets.
void recordContentInsets(ImageBuffer& image, const int32_t insets[4]);
