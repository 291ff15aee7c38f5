#include "framework/Curve.h"

#include <string>
#include <vector>

#include "foundation/TextNumbers.h"

namespace {

// Single-precision constant nearest 1/2047: sample i of the table stands for
// x = i * kSampleStep, so sample 2047 is exactly 1.0.
constexpr float kSampleStep = 0.00048851978f;
constexpr int32_t kSmoothingRounds = 11;

// Replaces the array's storage by `n` value-initialised elements (tight).
template <class T>
void resizeTight(GrowArray<T>& array, int32_t n) {
    array.destroy();
    if (n < 1) return;
    array.data = new T[n]();
    array.count = array.capacity = n;
}

// One round of cubic B-spline subdivision with pinned end points: every
// segment gains its midpoint (computed in double, rounded to float) and every
// interior vertex moves to 0.75 P + 0.125 (P- + P+), written as the average
// of its two neighbouring midpoints in single precision.
void subdivide(const std::vector<CurvePoint>& in, std::vector<CurvePoint>& out) {
    const size_t m = in.size();
    out.clear();
    out.reserve(2 * m - 1);
    for (size_t i = 0; i + 1 < m; ++i) {
        const CurvePoint& p = in[i];
        const CurvePoint& q = in[i + 1];
        out.push_back(p);
        CurvePoint mid;
        mid.x = static_cast<float>((static_cast<double>(p.x) + static_cast<double>(q.x)) * 0.5);
        mid.y = static_cast<float>((static_cast<double>(p.y) + static_cast<double>(q.y)) * 0.5);
        out.push_back(mid);
        if (i >= 1) {
            const CurvePoint prevMid = out[2 * i - 1];
            CurvePoint& vertex = out[2 * i];
            const float sumX = mid.x + prevMid.x;
            const float sumY = mid.y + prevMid.y;
            vertex.x = sumX * 0.25f + p.x * 0.5f;
            vertex.y = sumY * 0.25f + p.y * 0.5f;
        }
    }
    out.push_back(in[m - 1]);
}

}  // namespace

Curve::Curve(int32_t n) {
    if (n > kMaxPoints - 2) n = kMaxPoints - 2;
    points.append(CurvePoint{0.0f, 0.0f});
    const float denominator = static_cast<float>(n + 1);
    for (int32_t i = 1; i <= n; ++i) {
        const float v = static_cast<float>(i) / denominator;
        points.append(CurvePoint{v, v});
    }
    points.append(CurvePoint{1.0f, 1.0f});
    rebuildTable();
}

void Curve::forceEnds() {
    if (points.count < 1) return;
    points[0].x = 0.0f;
    points[points.count - 1].x = 1.0f;
}

void Curve::setFromString(GrowString& text) {
    points.count = 0;
    // Tokens are taken as GrowString::takeToken takes them (spaces, tabs and
    // newlines separate, double quotes group), but with a cursor instead of
    // copying the rest of the text after every token: a hostile text of
    // megabytes is read in one pass.
    const char* cursor = text.data ? text.data : "";
    const char* const end = cursor + text.textLength();
    auto separator = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    auto nextNumber = [&](float& number) -> bool {
        while (cursor < end && separator(*cursor)) ++cursor;
        if (cursor >= end) return false;
        const char* start = cursor;
        int32_t quotes = *cursor == '"' ? 1 : 0;
        ++cursor;
        while (cursor < end && !(separator(*cursor) && quotes % 2 == 0)) {
            if (*cursor == '"') ++quotes;
            ++cursor;
        }
        const std::string token(start, cursor);
        if (cursor < end) ++cursor;  // the separator after the token
        number = static_cast<float>(cStrtod(token.c_str(), nullptr));
        return true;
    };
    while (points.count < kMaxPoints) {
        float x = 0.0f;
        float y = 0.0f;
        if (!nextNumber(x) || !nextNumber(y)) break;  // a lone trailing number is dropped
        points.append(CurvePoint{x, y});
    }
    // The text is consumed, also when reading stopped at the point limit.
    text = "";
    if (points.count == 0) points.append(CurvePoint{0.0f, 0.0f});
    if (points.count <= 1) points.append(CurvePoint{1.0f, 1.0f});
    forceEnds();
    rebuildTable();
}

void Curve::setPoints(const GrowArray<CurvePoint>& newPoints) {
    const int32_t n = newPoints.count < kMaxPoints ? newPoints.count : kMaxPoints;
    GrowArray<CurvePoint> copy;
    resizeTight(copy, n);
    for (int32_t i = 0; i < n; ++i) copy[i] = newPoints[i];
    points = std::move(copy);
    if (points.count == 0) points.append(CurvePoint{0.0f, 0.0f});
    if (points.count == 1) points.append(CurvePoint{1.0f, 1.0f});
    forceEnds();
    rebuildTable();
}

void Curve::replacePoints(const GrowArray<CurvePoint>& newPoints) {
    const int32_t n = newPoints.count < kMaxPoints ? newPoints.count : kMaxPoints;
    GrowArray<CurvePoint> copy;
    resizeTight(copy, n);
    for (int32_t i = 0; i < n; ++i) copy[i] = newPoints[i];
    points = std::move(copy);
    rebuildTable();
}

void Curve::setPoint(int32_t index, CurvePoint point) {
    if (index < 0 || index >= kMaxPoints) return;
    while (index >= points.capacity) points.grow();
    // Slots between the old end and the index read as (0, 0), also when they
    // still hold points of an earlier, longer list.
    for (int32_t i = points.count; i < index; ++i) points[i] = CurvePoint{};
    points[index] = point;
    if (index >= points.count) points.count = index + 1;
    rebuildTable();
}

void Curve::insertPoint(int32_t index) {
    if (points.count >= kMaxPoints) return;
    CurvePoint point;
    if (index >= 1 && index < points.count) {
        const CurvePoint& a = points[index - 1];
        const CurvePoint& b = points[index];
        point.x = static_cast<float>((static_cast<double>(a.x) + static_cast<double>(b.x)) * 0.5);
        point.y = static_cast<float>((static_cast<double>(a.y) + static_cast<double>(b.y)) * 0.5);
    }
    points.insertAt(index, point);
    rebuildTable();
}

void Curve::setWrap(bool periodic) {
    const uint8_t flag = periodic ? 1 : 0;
    if (flag == wrap) return;
    wrap = flag;
    rebuildTable();
}

int32_t Curve::smoothingRounds(int32_t pointCount) {
    if (pointCount < 3) return 0;
    int32_t rounds = kSmoothingRounds;
    const int64_t segments = pointCount - 1;
    while (rounds > 0 && (segments << rounds) > kMaxWorkSegments) --rounds;
    return rounds;
}

void Curve::rebuildTable() {
    const int32_t n = points.count;

    // Periodic curves: both ends take the mean of the two end heights. The
    // mean is stored before the working copy is taken, so the table always
    // belongs to the stored points and a second rebuild changes nothing.
    if (wrap && n >= 2) {
        const float mean = (points[0].y + points[n - 1].y) * 0.5f;
        points[0].y = mean;
        points[n - 1].y = mean;
    }

    std::vector<CurvePoint> work;
    if (n == 0) {
        // Never produced by the setters; read as the identity.
        work.push_back(CurvePoint{0.0f, 0.0f});
        work.push_back(CurvePoint{1.0f, 1.0f});
    } else if (wrap && n >= 3) {
        // Two points continue the curve periodically across each end.
        const float frontShift = points[0].x - points[n - 1].x;
        const float backShift = points[n - 1].x - points[0].x;
        work.reserve(static_cast<size_t>(n) + 4);
        work.push_back(CurvePoint{points[n - 3].x + frontShift, points[n - 3].y});
        work.push_back(CurvePoint{points[n - 2].x + frontShift, points[n - 2].y});
        for (int32_t i = 0; i < n; ++i) work.push_back(points[i]);
        work.push_back(CurvePoint{points[1].x + backShift, points[1].y});
        work.push_back(CurvePoint{points[2].x + backShift, points[2].y});
    } else {
        work.assign(points.begin(), points.end());
    }

    const int32_t rounds = smoothingRounds(static_cast<int32_t>(work.size()));
    std::vector<CurvePoint> next;
    for (int32_t r = 0; r < rounds; ++r) {
        subdivide(work, next);
        work.swap(next);
    }

    resizeTight(table, kTableSize);
    const int32_t m = static_cast<int32_t>(work.size());
    const CurvePoint first = work[0];
    const CurvePoint last = work[m - 1];
    int32_t k = 0;
    for (int32_t i = 0; i < kTableSize; ++i) {
        const float x = static_cast<float>(i) * kSampleStep;
        float y;
        if (x <= first.x) {
            y = first.y;
        } else if (x >= last.x || m < 2) {
            // m < 2 also covers a single point whose x is NaN.
            y = last.y;
        } else {
            // Forward-only search; the bound keeps unsorted or NaN points
            // from walking past the last segment.
            while (k < m - 2 && x > work[k + 1].x) ++k;
            const CurvePoint& a = work[k];
            const CurvePoint& b = work[k + 1];
            const float t = (b.x == a.x) ? 0.0f : (x - a.x) / (b.x - a.x);
            const float high = t * b.y;
            y = static_cast<float>(static_cast<double>(high) +
                                   static_cast<double>(a.y) * (1.0 - static_cast<double>(t)));
        }
        table[i] = y;
    }
}

GrowString Curve::pointsText() const {
    GrowString text("");
    for (int32_t i = 0; i < points.count; ++i) appendFormat(text, "%f %f ", points[i].x, points[i].y);
    return text;
}
