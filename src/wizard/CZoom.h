#pragma once

#include <cstdint>

// The zoom of a picture view in percent and the arithmetic that goes with
// it: the steps of the zoom keys, the zoom that fits a picture, and the
// conversions between picture and client coordinates. 100 % shows one screen
// pixel per picture pixel; every conversion is exact there.
class CZoom
{
public:
    static constexpr int kMin = 1; // reached only by fitting a huge picture
    static constexpr int kMax = 800;
    static constexpr int kSteps[] = {25, 33, 50, 67, 100, 150, 200, 300, 400, 600, 800};
    // Zoomed extents stay far inside the 32-bit rectangle coordinates.
    static constexpr int64_t kMaxExtent = int64_t(1) << 29;

    int GetPercent() const { return m_nPercent; }
    // Limited to kMin … kMax.
    void SetPercent(int nPercent);

    // The next larger or smaller step; the current zoom past the last one.
    int NextStep(bool bIn) const;
    // The largest zoom at which a picture of nWidth × nHeight fits a client
    // area of nClientWidth × nClientHeight, limited to kMin … kMax; 100 for an
    // empty picture.
    static int Fit(int64_t nClientWidth, int64_t nClientHeight, int32_t nWidth, int32_t nHeight);

    // Picture extent at this zoom, at least 1 for a non-empty picture.
    int64_t Zoomed(int32_t nExtent) const;
    // Client x or y of a picture pixel's left or top edge, for the picture's
    // client origin nOrigin.
    int64_t PictureToClient(int64_t nPicture, int32_t nOrigin) const;
    // Client x or y of a picture pixel's centre: the pixel itself at 100 %.
    int64_t PixelCentreToClient(int64_t nPicture, int32_t nOrigin) const;
    // Picture pixel that holds a client x or y (rounded towards minus infinity).
    int64_t ClientToPicture(int64_t nClient, int32_t nOrigin) const;
    // The scroll position at this zoom that keeps the picture point under
    // client x or y nAnchor where it is, when the picture lay at client
    // origin nOrigin at zoom nFrom. Unrounded picture positions are used, so
    // zooming in and out again comes back to the same place. Not limited to
    // the scroll range.
    int64_t KeepAnchor(int32_t nOrigin, int32_t nAnchor, int nFrom) const;

private:
    int m_nPercent = 100;
};
