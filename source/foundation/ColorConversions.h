#pragma once
// Colour functions on one RGB triple on the 0..255 scale.
//
// Each first brings r, g, b to 0..1 in single precision (the sample widened
// to double times 1/255, rounded back to float). The hue is in degrees,
// [0, 360); saturation and value are 0..1. A grey colour (max == min) has
// hue 0 and saturation 0.
//
// Non-finite input never reaches an integer conversion: a hue that comes out
// NaN or infinite reads as 0, and a hue handed in that is NaN or infinite is
// taken as 0 (red).

// h in degrees [0, 360), s = (max - min) / max, v = max (0..1).
void rgbToHsv(float* h, float* s, float* v, float r, float g, float b);
// The h of rgbToHsv.
float rgbHue(float r, float g, float b);
// Keeps the colour's saturation and value and gives it the hue (degrees,
// any range). A grey colour stays grey.
void setRgbHue(float rgb[3], float hue);
// Keeps the colour's hue and value and gives it the saturation (0..1). A
// grey colour has hue 0, so a saturation above 0 tints it toward red.
void setRgbSaturation(float rgb[3], float saturation);
// HSV to RGB: hue in degrees (any range, brought into [0, 360) by whole
// turns), s and v 0..1; the triple on the 0..255 scale. Single precision
// with the six-sector table; s == 0 gives v x 255 in all three.
void hsvToRgb(float rgb[3], float hue, float s, float v);
