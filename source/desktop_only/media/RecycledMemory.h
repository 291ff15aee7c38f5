#pragma once
// The memory the batch worker hands from one photo to the next, in place of
// fresh memory: fresh memory costs the system a zeroed page for every page
// touched, the largest single cost of a batch after the codecs. The float
// image of a saved picture is kept for the next photo of the same size,
// which is copied into it; likewise a decoded picture for the next decode
// ahead (BatchLookAhead.h) and a stored picture for a later save
// (BatchSaves.h). Nothing is kept beyond the worker's run: the worker holds
// it on its stack.

#include <QImage>

#include "foundation/ImageBuffer.h"

// Memory the worker hands from one photo to the next: the float storage of
// the last picture saved, the last decoded picture and the last stored
// picture written (the encoder's samples).
struct RecycledMemory {
    ImageBuffer floats;
    QImage picture;
    QImage stored;
};

// A buffer's sample storage alone, in a buffer with every other field at
// its default (no insets, scale 1); `from` is left empty. The worker hands
// one picture's memory on to the next this way.
ImageBuffer takeStorage(ImageBuffer& from);
