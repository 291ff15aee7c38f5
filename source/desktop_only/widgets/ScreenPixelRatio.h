#pragma once
// The primary screen's device-pixel ratio: stored by main before any widget
// exists, read by every widget that draws at device-pixel resolution (the
// document view's buffers, the curve editor's pens).

inline float screenDevicePixelRatio = 1.0f;

// The ratio to draw with: the stored one, or 1 while none usable was stored
// (0, negative or NaN).
inline float screenPixelRatio() { return screenDevicePixelRatio > 0.0f ? screenDevicePixelRatio : 1.0f; }
