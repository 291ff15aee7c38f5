#pragma once
// VideoLoaderSaverTime: a position in a video, as a value counted in units
// of 1 / timescale seconds. It travels in queued signals between the
// shuttle control, the display and the main window, so it is registered
// with Qt's meta-type system (registerVideoLoaderSaverTime) while the main
// window is built. This build has no video source; the type carries the
// video edition's hooks only.

#include <QMetaType>

#include <cstdint>

struct VideoLoaderSaverTime {
    int64_t value = 0;
    int32_t timescale = 30000;
};

Q_DECLARE_METATYPE(VideoLoaderSaverTime)

// Registers the type under the name "VideoLoaderSaverTime" (repeat calls
// are harmless) and returns its type id.
int registerVideoLoaderSaverTime();
