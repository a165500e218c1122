#pragma once

#include "CMorphHandleArray.h"

#include <cstdint>
#include <vector>

// Where the pairs already placed say a point of one picture goes in the other:
// an affine map fitted to them. None: the same place; one: its shift; two: the
// similarity through both; three or more: the least-squares affine; from
// kLocalFrom on, the affine of the kLocalCount pairs nearest to the point, so
// a bent change is followed locally. A fit that the points cannot carry
// (coincident or collinear) falls back to the next simpler one.
class CPairPrior
{
public:
    // x' = a·x + b·y + c, y' = d·x + e·y + f.
    struct SAffine
    {
        double a = 1, b = 0, c = 0, d = 0, e = 1, f = 0;

        double MapX(double x, double y) const { return a * x + b * y + c; }
        double MapY(double x, double y) const { return d * x + e * y + f; }
        // False when the map is singular.
        bool Inverse(SAffine& inverse) const;
    };

    struct SPair
    {
        double fromX, fromY, toX, toY;
    };

    static constexpr int kLocalFrom = 12;
    static constexpr int kLocalCount = 8;

    // From the source points to the target points (bFromSource) or the other
    // way, leaving out pair nSkip (−1 for none).
    CPairPrior(const CMorphHandleArray& pairs, int32_t nSkip, bool bFromSource);
    explicit CPairPrior(std::vector<SPair> pairs) : m_aPairs(std::move(pairs)) {}

    // The map that holds at (x, y).
    SAffine At(double x, double y) const;

    int32_t GetCount() const { return int32_t(m_aPairs.size()); }

    // The fit of all of pairs by the rule above, without the local step.
    static SAffine Fit(const std::vector<SPair>& pairs);

private:
    std::vector<SPair> m_aPairs;
};
