#pragma once
// The pixel kit: the rules every tile family (adjustments, effects, camera
// styles) takes from one place, each written once.
//
//   KernelAttributes.h  how row kernels are built: TILE_ROW_KERNEL,
//                       TILE_TARGET_CLONES, TILE_VECTOR_LOOP, TILE_INLINE, ...
//   SampleRules.h       the stored constants (kInv255, ...), the stores
//                       (storeSample, clampedByte, storeByteFromDouble), the
//                       clamps (clampSampleKeepNan, clampSampleNanToZero),
//                       the power bases and PowerRules, luminance, the curve
//                       table lookups, the luminance curve
//   RowLoops.h          channel dispatch (withChannels, forEachPixelIn), the
//                       tiles' pixel loops and selector weights (tileloop::),
//                       byte tables, the power map over whole-number samples
//   ColourModels.h      RGB to HSL and the HSV reading (hsvpixel::), with
//                       their sector colours
//   ToneCurves.h        the exposure, contrast, tone, luminance and pivot
//                       curves several tiles run
//   Convolution.h       the blur kernels, the blurs, the selector blend and
//                       the general convolution
//
// The kit sits above the framework and below the render engine and the tile
// folders (see the Layout paragraph of README.md); it builds, like the tile
// folders, with -fno-math-errno.

#include "pixels/ColourModels.h"
#include "pixels/Convolution.h"
#include "pixels/KernelAttributes.h"
#include "pixels/RowLoops.h"
#include "pixels/SampleRules.h"
#include "pixels/ToneCurves.h"
