#pragma once
// Guards over the process-wide test hooks and settings a test changes: each
// puts the state back when it goes out of scope, however the test ends, so
// that every test of a binary run whole as one process starts from the state
// it would have alone.

#include <cstdint>
#include <utility>

#include "foundation/ImageBuffer.h"
#include "foundation/Preferences.h"
#include "foundation/XmlNode.h"

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

// The program's preferences as a test process starts them (empty: its data
// folder holds no file) while it lives, and as they were once it is gone.
class FreshPreferences {
public:
    FreshPreferences() : saved_(std::move(globalPreferences().root)) { globalPreferences().root = XmlNode(); }
    ~FreshPreferences() { globalPreferences().root = std::move(saved_); }
    FreshPreferences(const FreshPreferences&) = delete;
    FreshPreferences& operator=(const FreshPreferences&) = delete;

private:
    XmlNode saved_;
};

}  // namespace teststate
