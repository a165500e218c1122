#include "wizard/CZoom.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// Division rounding towards minus infinity, for positive divisors.
int64_t FloorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

} // namespace

void CZoom::SetPercent(int nPercent)
{
    m_nPercent = std::clamp(nPercent, kMin, kMax);
}

int CZoom::NextStep(bool bIn) const
{
    if (bIn) {
        for (const int step : kSteps)
            if (step > m_nPercent)
                return step;
    } else {
        for (auto it = std::rbegin(kSteps); it != std::rend(kSteps); ++it)
            if (*it < m_nPercent)
                return *it;
    }
    return m_nPercent;
}

int CZoom::Fit(int64_t nClientWidth, int64_t nClientHeight, int32_t nWidth, int32_t nHeight)
{
    if (nWidth <= 0 || nHeight <= 0)
        return 100;
    // The largest z with floor(extent · z / 100) ≤ client extent.
    const auto largest = [](int64_t client, int64_t extent) {
        return (std::max<int64_t>(client, 0) * 100 + 99) / extent;
    };
    const int64_t z = std::min(largest(nClientWidth, nWidth), largest(nClientHeight, nHeight));
    return int(std::clamp<int64_t>(z, kMin, kMax));
}

int64_t CZoom::Zoomed(int32_t nExtent) const
{
    if (nExtent <= 0)
        return 0;
    return std::clamp<int64_t>(int64_t(nExtent) * m_nPercent / 100, 1, kMaxExtent);
}

int64_t CZoom::PictureToClient(int64_t nPicture, int32_t nOrigin) const
{
    return nOrigin + FloorDiv(nPicture * m_nPercent, 100);
}

int64_t CZoom::PixelCentreToClient(int64_t nPicture, int32_t nOrigin) const
{
    return nOrigin + FloorDiv((2 * nPicture + 1) * m_nPercent, 200);
}

int64_t CZoom::ClientToPicture(int64_t nClient, int32_t nOrigin) const
{
    return FloorDiv((nClient - nOrigin) * 100, m_nPercent);
}

int64_t CZoom::KeepAnchor(int32_t nOrigin, int32_t nAnchor, int nFrom) const
{
    const double picture = (double(nAnchor) - nOrigin) * 100.0 / nFrom;
    return int64_t(std::round(picture * m_nPercent / 100.0 - nAnchor));
}
