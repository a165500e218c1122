#include "CPartnerMatcher.h"

#include "CGrayPicture.h"
#include "CImage.h"
#include "CPairPrior.h"
#include "CPatchTracker.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

bool SameSize(const CImage* a, const CImage* b)
{
    return a && b && !a->IsNull() && !b->IsNull() && a->GetWidth() == b->GetWidth()
        && a->GetHeight() == b->GetHeight();
}

// A picture of the worker's own; null when there is no memory for it.
std::unique_ptr<CImage> Copy(const CImage& image)
{
    auto copy = std::make_unique<CImage>();
    if (!copy->Create(image.GetWidth(), image.GetHeight()))
        return nullptr;
    const size_t row = size_t(image.GetWidth()) * 3;
    for (int32_t y = 0; y < image.GetHeight(); ++y)
        std::memcpy(copy->PixelAddress(0, y), image.PixelAddress(0, y), row);
    return copy;
}

} // namespace

CPartnerMatcher::CPartnerMatcher() = default;

CPartnerMatcher::~CPartnerMatcher()
{
    // A worker's exception has no one to go to now.
    if (m_pending.valid())
        m_pending.wait();
}

void CPartnerMatcher::Wait() const
{
    if (m_pending.valid())
        m_pending.get();
}

void CPartnerMatcher::SetPicturesAhead(const CImage* pSource, const CImage* pTarget)
{
    Wait();
    m_pSource.reset();
    m_pTarget.reset();
    if (!SameSize(pSource, pTarget))
        return;
    std::unique_ptr<CImage> source = Copy(*pSource), target = source ? Copy(*pTarget) : nullptr;
    if (!target)
        return;
    m_pending = std::async(std::launch::async, [this, source = std::move(source), target = std::move(target)] {
        m_pSource = std::make_unique<CGrayPicture>(*source);
        m_pTarget = std::make_unique<CGrayPicture>(*target);
    });
}

void CPartnerMatcher::SetPictures(const CImage* pSource, const CImage* pTarget)
{
    Wait();
    m_pSource.reset();
    m_pTarget.reset();
    if (!SameSize(pSource, pTarget))
        return;
    m_pSource = std::make_unique<CGrayPicture>(*pSource);
    m_pTarget = std::make_unique<CGrayPicture>(*pTarget);
}

bool CPartnerMatcher::HasPictures() const
{
    Wait();
    return m_pSource && m_pTarget && !m_pSource->IsEmpty() && !m_pTarget->IsEmpty();
}

CPartnerMatcher::SSuggestion CPartnerMatcher::Suggest(const CMorphHandleArray& pairs, int32_t nSkip,
                                                      const CPoint& pt, bool bFromSource) const
{
    SSuggestion s;
    s.ptPartner = pt;
    if (!HasPictures())
        return s;
    const CPairPrior prior(pairs, nSkip, bFromSource);
    const CPairPrior::SAffine map = prior.At(pt.x, pt.y);
    const CPatchTracker::STrack track = CPatchTracker::Track(bFromSource ? *m_pSource : *m_pTarget,
                                                             bFromSource ? *m_pTarget : *m_pSource, pt.x, pt.y, map);
    switch (track.eResult) {
    case CPatchTracker::kTracked:
        s.eResult = kMatched;
        break;
    case CPatchTracker::kFlat:
        s.eResult = kFlat;
        break;
    case CPatchTracker::kLost:
        s.eResult = kLost;
        break;
    case CPatchTracker::kOutside:
        s.eResult = kOutside;
        break;
    }
    // Whole pixels on the picture; a prior far off (or not finite) ends on its edge.
    const int w = m_pSource->GetWidth(), h = m_pSource->GetHeight();
    if (!std::isfinite(track.x) || !std::isfinite(track.y))
        return s;
    const auto limit = [](double v, int n) { return int32_t(std::lround(std::clamp(v, 0.0, double(n - 1)))); };
    s.ptPartner = CPoint(limit(track.x, w), limit(track.y, h));
    return s;
}
