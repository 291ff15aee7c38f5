#include "FrameResources.h"

#include <QtGlobal>

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void initFrames() { Q_INIT_RESOURCE(frames); }

void registerFrameResources() {
    static const bool registered = (initFrames(), true);
    (void)registered;
}
