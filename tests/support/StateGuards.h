#pragma once
// Guards over the process-wide test hooks and settings a test changes: each
// puts the state back when it goes out of scope, however the test ends, so
// that every test of a binary run whole as one process starts from the state
// it would have alone.

#include <cstdint>

#include "foundation/ImageBuffer.h"

namespace teststate {

// Every image allocation fails while it lives
// (ImageBuffer::failAllocationsForTesting).
class FailingImageAllocations {
public:
    FailingImageAllocations() { ImageBuffer::failAllocationsForTesting(0, int64_t(1) << 40); }
    ~FailingImageAllocations() { ImageBuffer::failAllocationsForTesting(0, 0); }
    FailingImageAllocations(const FailingImageAllocations&) = delete;
    FailingImageAllocations& operator=(const FailingImageAllocations&) = delete;
};

}  // namespace teststate
