#include "RecycledMemory.h"

ImageBuffer takeStorage(ImageBuffer& from) {
    ImageBuffer storage;
    if (from.data && from.owns) {
        storage.data = from.data;
        storage.width = from.width;
        storage.height = from.height;
        storage.channels = from.channels;
        storage.owns = 1;
        from.data = nullptr;
        from.owns = 0;
    }
    from.release();
    return storage;
}
