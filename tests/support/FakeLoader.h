#pragma once
// An image loader for core tests: serves 8-bit images kept in memory by
// path (copied into the caller's buffer with its channel count, as the real
// loader does; a 4th channel is 255 where the image has none), counts the
// loads of each path, fails for any other path, and installs itself as the
// global loader while it lives.

#include <map>
#include <string>

#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"
#include "framework/ImageLoaderSaver.h"

namespace testimages {

class FakeLoader : public ImageLoaderSaver {
public:
    FakeLoader() : saved(gImageLoaderSaver) { gImageLoaderSaver = this; }
    ~FakeLoader() override { gImageLoaderSaver = saved; }
    FakeLoader(const FakeLoader&) = delete;
    FakeLoader& operator=(const FakeLoader&) = delete;

    // Serves a copy of the 8-bit image under the path.
    void add(const std::string& path, const ImageBuffer& image8) { ImageBuffer::copy8(images[path], image8, true); }
    void remove(const std::string& path) { images.erase(path); }
    int loads(const std::string& path) const {
        const auto it = counts.find(path);
        return it == counts.end() ? 0 : it->second;
    }

    bool load8(const GrowString& path, ImageBuffer* image, bool, GrowString*) override {
        ++counts[path.c_str()];
        const auto it = images.find(path.c_str());
        if (!image) return false;
        if (it == images.end()) {
            image->release();
            return false;
        }
        ImageBuffer::copy8(*image, it->second, false);
        return image->data != nullptr;
    }
    bool loadFloat(const GrowString&, ImageBuffer*, bool, std::unique_ptr<ImageMetadata>*, GrowString*) override {
        return false;
    }
    bool save8(const GrowString&, const ImageBuffer&, const SaveOptions&, const ImageMetadata*, GrowString*) override {
        return false;
    }
    bool saveFloat(const GrowString&, const ImageBuffer&, const SaveOptions&, const ImageMetadata*,
                   GrowString*) override {
        return false;
    }

private:
    ImageLoaderSaver* saved;
    std::map<std::string, ImageBuffer> images;
    std::map<std::string, int> counts;
};

}  // namespace testimages
