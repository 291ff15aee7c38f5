#pragma once
// The prototype list: one tile of every class, made by its constructor with
// the class's start values. New tiles are clones of these, and the filter
// file reader makes each tile it reads from the prototype with the same XML
// name. The main window builds the list once and owns it; the render tool
// and tests build their own.

#include "foundation/GrowArray.h"

class ImageMod;

// Appends one prototype of every tile class to out: the adjustments, the
// camera styles, then the effects, masks, sizing tiles and borders.
void buildPrototypeList(GrowArray<ImageMod*>& out);

// Deletes every tile of the list and empties it.
void freePrototypeList(GrowArray<ImageMod*>& list);

// Each tile folder appends the prototypes of its own classes (defined in
// adjustments/AdjustmentPrototypes.cpp, cameras/CameraPrototypes.cpp and
// effects/EffectPrototypes.cpp).
void addAdjustmentPrototypes(GrowArray<ImageMod*>& out);
void addCameraPrototypes(GrowArray<ImageMod*>& out);
void addEffectPrototypes(GrowArray<ImageMod*>& out);
