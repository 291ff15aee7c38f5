#pragma once
// The frame proportion the crop tool enforces, from the crop tile's "Aspect"
// choice.

class ImageMod;

// Width / height of the option chosen in the tile's first var named
// "Aspect": 1 for "Square", 1.5 for "3:2", 16/9 for "16:9" and so on, always
// the landscape form (at least 1). 0 for a free crop: the option "Custom",
// an unknown text (texts are compared exactly, letter case included), or a
// tile without an "Aspect" choice.
float cropAspectRatio(const ImageMod& mod);
