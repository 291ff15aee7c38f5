#include "ImageLoaderSaver.h"

ImageLoaderSaver* gImageLoaderSaver = nullptr;

ImageLoaderSaver::~ImageLoaderSaver() = default;
