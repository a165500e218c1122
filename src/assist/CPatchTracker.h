#pragma once

#include "CPairPrior.h"

class CGrayPicture;

// Finds where the neighbourhood of a point of one picture lies in the other:
// the other picture's patch around the prior's position is warped back by the
// prior, so only the prior's error is left to track, then pyramidal
// Lucas–Kanade tracks the point, and tracking back must return to it. A point
// in too flat a neighbourhood is declined rather than guessed.
class CPatchTracker
{
public:
    enum EResult {
        kTracked,
        kFlat,    // too little texture around the point
        kLost,    // the tracker did not converge, ran off, or did not come back
        kOutside, // the point or its partner lies off the picture
    };

    struct STrack
    {
        EResult eResult = kLost;
        double x = 0, y = 0; // the partner; the prior's position unless tracked
    };

    // Half the side of the patches tracked.
    static constexpr int kPatchRadius = 80;
    // The tracker's window and pyramid.
    static constexpr int kWindow = 21;
    static constexpr int kLevels = 2;
    // Smallest mean squared gradient, in grey levels per pixel, across the
    // window's weakest direction.
    static constexpr double kMinTexture = 1.0;
    // Largest distance, in pixels, of the point tracked back from where it began.
    static constexpr double kMaxBackError = 0.5;

    // Tracks (x, y) of from into to; prior maps from's coordinates to to's.
    static STrack Track(const CGrayPicture& from, const CGrayPicture& to, double x, double y,
                        const CPairPrior::SAffine& prior);
};
