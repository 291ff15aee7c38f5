#include "ImageLoaderSaver.h"

ImageLoaderSaver* gImageLoaderSaver = nullptr;

ImageLoaderSaver::~ImageLoaderSaver() = default;

SaveOptions optionsKeepingDepth(const SaveOptions& options, const ImageMetadata* source) {
    SaveOptions kept = options;
    if (source && source->bitsPerSample > 8) kept.sixteenBit = true;
    return kept;
}
