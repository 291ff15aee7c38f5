#pragma once
// Transformed bitmap drawing: every output geometry of the system (the crop
// and straighten of the display, thumbnails and saved images, and the
// photograph inside a border frame) is drawn by drawTransformedBitmap.
//
// It cuts a rectangle out of the source (crop fractions of each side),
// centre-crops it to the proportions of the destination's content area (the
// destination less its insets), turns it about the source centre by the
// straighten angle while zooming just enough that no empty corner shows,
// and resamples it: bilinear when enlarging, nearest at 1:1, an area
// average when reducing. Inset areas show what lies beyond the placed
// rectangle, clamped at the source edge.
//
// Crop: {left, right, top, bottom} fractions cut away, or null for none.
// Insets: {left, right, top, bottom} destination pixels around the picture,
// or null. Angle in degrees.
//
// Nothing is drawn (the destination stays cleared to black) when the source
// is empty, when the crop leaves no rectangle, when the insets leave no
// content area, or when the angle is not finite. Sampling never reads
// outside the source: a source of one column or row is read as if its edge
// pixel repeated.

#include <cstdint>

class ImageBuffer;

// Draws src into dest at width x height and returns dest; with a null dest
// a new owned buffer is made (channels of the source, insets 0, scale 1) and
// returned, and the caller deletes it. A given dest of another size is
// reallocated with its own channel count. A width or height below 1 takes
// the size from the crop rectangle in whole pixels. dest's scale becomes the
// source's scale times the source pixels per destination pixel.
ImageBuffer* drawTransformedBitmap(const ImageBuffer* src, int32_t width, int32_t height, const float* crop,
                                   const int32_t* insets, ImageBuffer* dest, float angle);
// The same for 8-bit images.
ImageBuffer* drawTransformedBitmap8(const ImageBuffer* src, int32_t width, int32_t height, const float* crop,
                                    const int32_t* insets, ImageBuffer* dest, float angle);

// A window of the picture drawTransformedBitmap draws at width x height:
// the rectangle of window.width x window.height at (originX, originY) of it.
struct DrawWindow {
    int32_t originX = 0;
    int32_t originY = 0;
    int32_t width = 0;
    int32_t height = 0;
};
// Draws that window into dest (reallocated to the window's size when it
// has another; null makes a new owned buffer). Each pixel equals the pixel
// of the whole picture at the same place; the rows are drawn in parallel
// strips. width and height must be given (at least 1), else nothing is
// drawn and dest is returned as it was.
ImageBuffer* drawTransformedBitmapWindow(const ImageBuffer* src, int32_t width, int32_t height, const float* crop,
                                         const int32_t* insets, ImageBuffer* dest, float angle,
                                         const DrawWindow& window);

// The part of drawTransformedBitmap8(src, width, height, null, null, ...,
// 0) that starts at column partX and row partY, drawn into dest at dest's
// size (allocated by the caller): every pixel gets the value it has in the
// whole drawing, while only the part is computed, so a resize far larger
// than memory can be drawn where it meets a picture. The sizes are 64-bit.
// False (dest cleared) when the part does not lie inside the drawing or
// nothing can be drawn.
bool drawResizedBitmapPart8(const ImageBuffer* src, int64_t width, int64_t height, int64_t partX, int64_t partY,
                            ImageBuffer& dest);

// Fills an 8-bit image from a named bitmap (a border frame or a watermark)
// through the application's image loader; applyEmbeddedProfile chooses
// whether the file's colour profile is applied. Without a loader an image
// of three or more channels is painted red (alpha 255) and false returned.
bool loadNamedBitmap(ImageBuffer* image, const char* name, bool applyEmbeddedProfile);

// One output pixel from the source around point (x, y) with the given
// footprint (source pixels per output pixel): nearest at exactly 1,
// bilinear below 1 (in double; extrapolates past the last pixel centre),
// a weighted box average above 1. With 4 channels the box leaves pixels of
// alpha 0 out of the colour and writes nothing when every pixel has alpha 0
// (unless all are equal). A span whose pixels are all equal gives that
// pixel. Writes the source's channel count of samples.
void samplePixel(const ImageBuffer& src, float* out, float x, float y, float footprint);
// The same on bytes; bilinear and box results are clamped and truncated.
void samplePixel8(const ImageBuffer& src, uint8_t* out, float x, float y, float footprint);

// Nearest-pixel resize of src into dest at dest's size; dest's insets
// become src's scaled by the size ratio.
void copyResizedNearest(ImageBuffer& dest, const ImageBuffer& src);
void copyResizedNearest8(ImageBuffer& dest, const ImageBuffer& src);

// 4x4 float matrices, element (r, c) at 4r + c, points as row vectors:
// replaces m with b x m.
void matMul4(float* m, const float* b);
