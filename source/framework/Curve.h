#pragma once
// Curve: a user-editable transfer function on [0, 1].
//
// A short list of control points and a dense table of 2048 samples (entry i
// stands for x = i / 2047). The table is rebuilt from the points on every
// change: eleven rounds of cubic B-spline subdivision with pinned end points,
// then piecewise-linear resampling. Pixel kernels only read the table.
// A wrap flag makes the curve periodic, for curves whose x axis is a hue.
//
// Limits against hostile input: a curve holds at most kMaxPoints control
// points (the setters ignore or drop the rest), and the smoothing runs fewer
// rounds when eleven would make the working list longer than
// kMaxWorkSegments segments (only curves of more than about 500 points,
// which no editor produces). Unsorted or NaN points never index outside the lists.

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"

struct CurvePoint {
    float x = 0.0f;
    float y = 0.0f;
};

class Curve {
public:
    static constexpr int32_t kTableSize = 2048;
    static constexpr int32_t kMaxPoints = 4096;
    static constexpr int64_t kMaxWorkSegments = int64_t(1) << 20;

    GrowArray<float> table;
    GrowArray<CurvePoint> points;
    float hueOffset = 180.0f;
    uint8_t wrap = 0;

    // (0,0), n evenly spaced points on the diagonal, (1,1); the identity.
    explicit Curve(int32_t n = 0);
    Curve(const Curve& other) = default;
    Curve& operator=(const Curve& other) = default;
    Curve(Curve&&) noexcept = default;
    Curve& operator=(Curve&&) noexcept = default;

    // Replaces the points from "x y x y ..." (the text is consumed).
    void setFromString(GrowString& text);
    // A tight copy; end x values forced to 0 and 1.
    void setPoints(const GrowArray<CurvePoint>& newPoints);
    // The points exactly as given (no end forcing), one rebuild: the same as
    // setting each point in order on a fresh curve, without a rebuild per point.
    void replacePoints(const GrowArray<CurvePoint>& newPoints);
    void setPoint(int32_t index, CurvePoint point);
    void insertPoint(int32_t index);
    // Sets the wrap flag and rebuilds the table when it changes.
    void setWrap(bool periodic);
    void rebuildTable();

    // The control points as the filter file writes them: x and y of every
    // point with "%f" (C locale), each number followed by one space.
    GrowString pointsText() const;

    // Subdivision rounds used for a working list of that many points.
    static int32_t smoothingRounds(int32_t pointCount);

private:
    void forceEnds();
};
