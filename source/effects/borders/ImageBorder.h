#pragma once
// ImageBorder ("Custom File Border", shown as "Image Border"): frames the
// photo with an image file the user chooses; the file's transparent region
// is where the photo shows. One var, "File" (png, tif, tiff).
//
// The tile turns the file into an inner BitmapBorder whose window insets are
// found from the file's alpha (pixels of alpha below 252 are window) and
// hands every border operation and the paint to it. Without a file, or with
// one that cannot be read, the photo is placed and sized as by the border
// base (crop and straighten only) and nothing is painted. A "File" var that
// holds another kind of value names no file.
//
// Loading: a change of "File" loads the new file at once and replaces the
// inner border. The render operations load it only while it is missing,
// under the tile's own lock, so parallel bands never load twice or delete
// the border another band paints with (bands hold it shared); a path that
// failed to load is not tried again until "File" changes.

#include <memory>

#include "foundation/GrowString.h"
#include "foundation/Mutex.h"
#include "render/BorderMod.h"

class BitmapBorder;

class ImageBorder : public BorderMod {
public:
    static constexpr uint32_t kNewestVersion = 1;
    ImageBorder();
    ~ImageBorder() override;

    ImageMod* clone() const override;
    void varChanged(int32_t index) override;
    void process8(ImageBuffer& image, const RenderArgs* args) override;
    void processFloat(ImageBuffer& image, const RenderArgs* args) override;

    float borderAspectFor(float aspect) override;
    float outputRatioAspect(float aspect) override;
    void contentSizeFor(const float* margins, float* outWidth, float* outHeight, float sourceWidth,
                        float sourceHeight, float angle) override;
    void fitImageFloat(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
                       float height, float angle) override;
    void fitImage8(const ImageBuffer* source, ImageBuffer* dest, const float* margins, bool exact, float width,
                   float height, float angle) override;

    // The path of the "File" var; empty when var 0 holds no file value.
    GrowString borderPath() const;
    // The inner border for the current "File", loading it when missing (or,
    // with mayReplace, when it was made from another path); null without
    // a readable file.
    std::shared_ptr<BitmapBorder> innerBorder(bool mayReplace = true);

private:
    // Loads path into a new inner border; under loadLock.
    void loadLocked(const GrowString& path);

    std::unique_ptr<Mutex> loadLock;      // guards the three fields below
    std::shared_ptr<BitmapBorder> inner;  // null until a file has been loaded
    GrowString loadedPath;                // the file inner was made from
    GrowString failedPath;                // a file that could not be loaded
};

// The window of an RGBA frame image as {left, right, top, bottom} fractions
// of its sides: the box of the pixels whose alpha is below 252 (the right
// and bottom insets counting from the last window column and row). Sides
// without a window are 0. Prints "border LRTB pixels L R T B".
void findFrameWindow(const ImageBuffer& frame, float insets[4]);
