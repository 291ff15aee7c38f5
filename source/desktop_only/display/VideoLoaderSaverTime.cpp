#include "desktop_only/display/VideoLoaderSaverTime.h"

int registerVideoLoaderSaverTime() {
    return qRegisterMetaType<VideoLoaderSaverTime>("VideoLoaderSaverTime");
}
