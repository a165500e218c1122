#pragma once

#include "CMorphHandleArray.h"

#include <cstdint>
#include <vector>

class CImage;

// Finds pairs in two pictures of one scene: features in both, matches that
// pass the ratio test, a loose RANSAC homography against gross errors, then
// each match checked against the affine of its nearest neighbours (a bent
// change keeps its good matches, a stray one is dropped), at most one pair
// per grid cell so they spread, each refined by the patch tracker. Every
// pair lies inside both pictures. The same pictures give the same pairs.
class CPairFinder
{
public:
    enum EFeatures { kOrb, kAkaze };

    struct SResult
    {
        std::vector<CMorphHandle> aPairs;
        int32_t nMatches = 0;    // matches that passed the ratio test
        int32_t nConsistent = 0; // of those, the ones the checks kept
    };

    // The side of a grid cell as a share of the picture's longer side.
    static constexpr int kCellsAlongLongSide = 16;
    static constexpr double kRatio = 0.8;
    // Largest distance from the neighbours' affine, in pixels.
    static constexpr double kLocalTolerance = 3.0;
    static constexpr int kNeighbours = 8;

    // Pairs for the two pictures (of one size), leaving out the grid cells
    // that hold a source point of existing. Nothing for pictures of
    // different sizes.
    static SResult Find(const CImage& source, const CImage& target, const CMorphHandleArray& existing,
                        EFeatures eFeatures = kOrb);
};
