#include "framework/SizingMod.h"

SizingMod::SizingMod(const GrowString& xmlName, const GrowString& shownName) : ImageMod(xmlName, shownName) {
    addTypeTag(kTagOutputSize);
}

void SizingMod::process8(ImageBuffer&, const RenderArgs*) {}
void SizingMod::processFloat(ImageBuffer&, const RenderArgs*) {}

float SizingMod::outputHeight(float, float height) { return height; }
float SizingMod::outputWidth(float width, float) { return width; }

SizingMod* asSizingMod(ImageMod* mod) { return dynamic_cast<SizingMod*>(mod); }
