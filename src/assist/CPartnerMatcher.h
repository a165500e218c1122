#pragma once

#include "CMorphHandleArray.h"
#include "CPoint.h"

#include <future>
#include <memory>

class CGrayPicture;
class CImage;

// Suggests the partner of a point: where the point's neighbourhood in one
// picture is found in the other, with the pairs already placed as the prior.
// Where it declines (flat neighbourhood, lost track), the suggestion is the
// prior's position, which is already nearer than the same coordinates.
// Suggestions are whole pixels inside the picture; the same inputs give the
// same suggestion on every run.
class CPartnerMatcher
{
public:
    enum EResult {
        kMatched,
        kFlat,       // too little texture around the point: the prior's position
        kLost,       // not found, or not found back: the prior's position
        kOutside,    // the point or its partner lies off the picture: the prior's position, limited to it
        kNoPictures, // no pictures of one size: the point itself
    };

    struct SSuggestion
    {
        EResult eResult = kNoPictures;
        CPoint ptPartner;
    };

    CPartnerMatcher();
    ~CPartnerMatcher();
    CPartnerMatcher(const CPartnerMatcher&) = delete;
    CPartnerMatcher& operator=(const CPartnerMatcher&) = delete;

    // Takes grey copies of both pictures; they must be of one size. Null
    // pointers or different sizes leave the matcher without pictures.
    void SetPictures(const CImage* pSource, const CImage* pTarget);
    // The same ahead of time: copies both pictures now (so they may change or
    // go afterwards) and makes the grey copies on a worker thread, which the
    // next call of any other operation waits for. An exception of the worker
    // (out of memory) comes out of that call.
    void SetPicturesAhead(const CImage* pSource, const CImage* pTarget);
    bool HasPictures() const;

    // The partner of pt: in the target picture when bFromSource, else in the
    // source picture. pairs is the prior, without pair nSkip (−1 for none).
    SSuggestion Suggest(const CMorphHandleArray& pairs, int32_t nSkip, const CPoint& pt, bool bFromSource) const;

private:
    void Wait() const;

    std::unique_ptr<CGrayPicture> m_pSource;
    std::unique_ptr<CGrayPicture> m_pTarget;
    // The worker making the grey copies; last, so it ends before they go.
    mutable std::future<void> m_pending;
};
