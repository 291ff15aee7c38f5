#pragma once
// SizingMod: the base of the tiles that decide the pixel size of a render's
// result (type tag 1). They never touch pixels: the output geometry step of
// the render (render/OutputGeometry.h) finds the chain's sizing tile, asks it
// for the output width and then the output height, and draws the source
// into a buffer of that size before the chain runs. Sizing tiles sit in the
// trailing chain group and have no hover preview; their process operations
// do nothing.

#include "framework/ImageMod.h"

class SizingMod : public ImageMod {
public:
    // Runs the ImageMod constructor with the names and adds type tag 1.
    SizingMod(const GrowString& xmlName, const GrowString& shownName);

    int32_t chainGroup() const override { return kGroupTrailing; }
    bool hasHoverPreview() const override { return false; }
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    // The output height for an input of width x height; the base returns
    // the input height. May be called from several threads (the display
    // and a save) at once.
    virtual float outputHeight(float width, float height);
    // The output width; the base returns the input width.
    virtual float outputWidth(float width, float height);
};

// The sizing tile behind a tile pointer (one carrying type tag 1), or null.
SizingMod* asSizingMod(ImageMod* mod);
