#include "CPartnerMatcher.h"

#include "CGrayPicture.h"
#include "CImage.h"
#include "CPairPrior.h"
#include "CPatchTracker.h"

#include <algorithm>
#include <cmath>

CPartnerMatcher::CPartnerMatcher() = default;
CPartnerMatcher::~CPartnerMatcher() = default;

void CPartnerMatcher::SetPictures(const CImage* pSource, const CImage* pTarget)
{
    m_pSource.reset();
    m_pTarget.reset();
    if (!pSource || !pTarget || pSource->IsNull() || pTarget->IsNull()
        || pSource->GetWidth() != pTarget->GetWidth() || pSource->GetHeight() != pTarget->GetHeight())
        return;
    m_pSource = std::make_unique<CGrayPicture>(*pSource);
    m_pTarget = std::make_unique<CGrayPicture>(*pTarget);
}

bool CPartnerMatcher::HasPictures() const
{
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
