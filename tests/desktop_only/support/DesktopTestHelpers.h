#pragma once
// Helpers of the desktop tests: one offscreen application object, waiting
// with the event loop running, and what the document view should show.

#include <QString>

#include <functional>

#include "foundation/GrowArray.h"
#include "foundation/ImageBuffer.h"

class ImageMod;
class VxMediaWidget;

// The process's application object (offscreen platform), made on first use;
// installs the desktop image loader as the global loader.
void ensureTestApplication();

// Processes events until condition() holds or timeoutMs passed; returns
// whether it holds.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

// Waits until the view's display thread has ended (no pass running or due).
bool waitForDisplayIdle(VxMediaWidget* view, int timeoutMs = 20000);

// What the view shows for the chain when the whole picture is visible at the
// fit scale of a viewWidth x viewHeight view: the view's source drawn
// through the chain's output geometry at that size (renderScaledSource),
// then the chain rendered over the whole of it with a fresh render context.
// Independent of the display pass (its placement, its windowed drawing and
// its cached render). Empty when the geometry step fails.
ImageBuffer expectedFitDisplay(VxMediaWidget* view, const GrowArray<ImageMod*>& chain, int viewWidth,
                               int viewHeight);

// Largest absolute difference of two float images of equal size; -1 when
// their sizes or channel counts differ.
float maxDifference(const ImageBuffer& a, const ImageBuffer& b);

// A photo of two colour halves with a soft gradient: left reddish, right
// bluish; written as PNG to path. Returns whether it was written.
bool writeTwoColourPhoto(const QString& path, int width, int height);
