#pragma once
// Preview animation tracks: for frame i a track interpolates linearly
// between its keys (looping every N frames) and writes the result into its
// var's value.

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "framework/Curve.h"

class ModVar;

class AnimTrack {
public:
    virtual ~AnimTrack() = default;
    virtual void applyFrame(int32_t frame) = 0;
};

class FloatAnimTrack : public AnimTrack {
public:
    GrowArray<float> keys;
    ModVar* var = nullptr;  // not owned
    int32_t frames = 0;
    void applyFrame(int32_t frame) override;
};

class ColorAnimTrack : public AnimTrack {
public:
    GrowArray<float> hues;
    GrowArray<float> saturations;
    GrowArray<float> values;
    GrowArray<float> fourth;
    ModVar* var = nullptr;
    int32_t frames = 0;
    void applyFrame(int32_t frame) override;
};

class CurveAnimTrack : public AnimTrack {
public:
    GrowArray<GrowArray<CurvePoint>> pointKeys;
    ModVar* var = nullptr;
    GrowArray<int32_t> frames;
    void applyFrame(int32_t frame) override;
};

// Frame count of a loop of the given seconds at the given frame interval:
// trunc((1 / interval) * seconds) in double precision.
// Saturates instead of overflowing; NaN gives 0.
int32_t animFrameCount(float frameInterval, float seconds);
// Position t in 0..1 of a frame within a loop of frameCount frames, in single
// precision: (frame mod N) / (N - 1), 0 at the first frame and exactly 1 at
// the last. Negative frames continue the loop backward; a loop of fewer than
// two frames stays at 0 (its first key).
float animLoopPosition(int32_t frame, int32_t frameCount);
