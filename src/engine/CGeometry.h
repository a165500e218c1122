#pragma once

#include "platform/CPoint.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Integer geometry on 32-bit points: signs, sides of lines, proper crossings,
// bounds and lengths, exact for any coordinates. Plain 64-bit forms are used
// where the differences are small enough for them.
class CGeometry
{
public:
    CGeometry() = delete;

    // The bounding box of a point set, all zero for none.
    struct SBounds
    {
        int64_t nMinX = 0, nMinY = 0, nMaxX = 0, nMaxY = 0;
    };

    // Plain 64-bit arithmetic is exact on small differences of coordinates,
    // |d| < 2^31: a product of two is below 2^62, so a sum of two products
    // (the side of a line, a square sum dx² + dy²) stays below 2^63.
    // Differences of 32-bit coordinates reach 2^32 − 1, where it would not.
    static bool IsSmall(int64_t d) { return uint64_t(d + kSmallBelow - 1) <= uint64_t(2 * (kSmallBelow - 1)); }
    // Whether every difference between points in the box is small.
    static bool IsSmallSpan(const SBounds& box)
    {
        return box.nMaxX - box.nMinX < kSmallBelow && box.nMaxY - box.nMinY < kSmallBelow;
    }

    static SBounds BoundsOf(const CPoint* points, size_t count)
    {
        SBounds box;
        for (size_t k = 0; k < count; ++k) {
            const CPoint& p = points[k];
            box.nMinX = k ? std::min<int64_t>(box.nMinX, p.x) : p.x;
            box.nMinY = k ? std::min<int64_t>(box.nMinY, p.y) : p.y;
            box.nMaxX = k ? std::max<int64_t>(box.nMaxX, p.x) : p.x;
            box.nMaxY = k ? std::max<int64_t>(box.nMaxY, p.y) : p.y;
        }
        return box;
    }

    static int Sign(int64_t v) { return (v > 0) - (v < 0); }

    // Sign of a·b + c·d for |a|, |b|, |c|, |d| < 2^32, exact: the products'
    // magnitudes fit in 64 unsigned bits even where the sum would not fit at all.
    static int SignOfProductSum(int64_t a, int64_t b, int64_t c, int64_t d)
    {
        const int s1 = Sign(a) * Sign(b), s2 = Sign(c) * Sign(d);
        if (s1 == 0 || s2 == 0 || s1 == s2)
            return s1 != 0 ? s1 : s2;
        const uint64_t m1 = uint64_t(std::llabs(a)) * uint64_t(std::llabs(b));
        const uint64_t m2 = uint64_t(std::llabs(c)) * uint64_t(std::llabs(d));
        return m1 > m2 ? s1 : (m1 < m2 ? s2 : 0);
    }

    // The side of the line a–b that c lies on: the sign of
    // (ax − bx)(cy − ay) + (ax − cx)(ay − by), exact for any 32-bit coordinates.
    static int SideOf(const CPoint& a, const CPoint& b, const CPoint& c)
    {
        const int64_t ax = a.x, ay = a.y;
        const int64_t p = ax - b.x, q = int64_t(c.y) - ay, r = ax - c.x, s = ay - b.y;
        if (IsSmall(p) && IsSmall(q) && IsSmall(r) && IsSmall(s))
            return Sign(p * q + r * s);
        return SignOfProductSum(p, q, r, s);
    }
    // SideOf for points whose differences are known to be small.
    static int SideOfSmall(const CPoint& a, const CPoint& b, const CPoint& c)
    {
        const int64_t ax = a.x, ay = a.y;
        return Sign((ax - b.x) * (c.y - ay) + (ax - c.x) * (ay - b.y));
    }

    // Whether segments a–b and c–d cross properly: c and d lie strictly on
    // opposite sides of the line a–b, and a and b strictly on opposite sides
    // of the line c–d.
    static bool SegmentsCross(const CPoint& a, const CPoint& b, const CPoint& c, const CPoint& d)
    {
        if (SideOf(a, b, c) * SideOf(a, b, d) >= 0)
            return false;
        return SideOf(c, d, a) * SideOf(c, d, b) < 0;
    }

    // √(dx² + dy²) between a and b. The sum is exact in 64 bits wherever it
    // fits, so the result equals that of 32-bit squares wherever those do not
    // overflow; past 64 bits the two squares are added in doubles.
    static double Distance(const CPoint& a, const CPoint& b)
    {
        const uint64_t ax = uint64_t(std::llabs(int64_t(b.x) - a.x)), ay = uint64_t(std::llabs(int64_t(b.y) - a.y));
        const uint64_t sx = ax * ax, sy = ay * ay; // |d| < 2^32, so each square fits
        const uint64_t sum = sx + sy;
        if (sum >= sx)
            return std::sqrt(double(sum));
        return std::sqrt(double(sx) + double(sy));
    }
    // dx² + dy² between a and b, exact when both differences are small.
    static uint64_t SquareSumOfSmall(const CPoint& a, const CPoint& b)
    {
        const int64_t dx = int64_t(a.x) - b.x, dy = int64_t(a.y) - b.y;
        return uint64_t(dx * dx + dy * dy);
    }

private:
    static constexpr int64_t kSmallBelow = int64_t(1) << 31;
};
