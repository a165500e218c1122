#include "CPairFinder.h"

#include "CGrayPicture.h"
#include "CImage.h"
#include "CPairPrior.h"
#include "CPatchTracker.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

struct SCandidate
{
    cv::Point2f from, to;
    CPairPrior::SAffine local; // the neighbours' affine at from
    double dResidual = 0;      // distance of to from it
};

// About 2500 features a megapixel, so a small picture is not crowded.
int FeatureCount(int width, int height)
{
    return std::clamp(int(double(width) * height / 400.0), 500, 8000);
}

cv::Ptr<cv::Feature2D> Detector(CPairFinder::EFeatures eFeatures, int width, int height, bool bLowContrast)
{
    if (eFeatures == CPairFinder::kAkaze)
        return cv::AKAZE::create(cv::AKAZE::DESCRIPTOR_MLDB, 0, 3, bLowContrast ? 0.0002f : 0.001f);
    return cv::ORB::create(FeatureCount(width, height), 1.2f, 8, 31, 0, 2, cv::ORB::HARRIS_SCORE, 31,
                           bLowContrast ? 6 : 20);
}

// The matches that pass the ratio test, source to target.
void RatioMatches(const cv::Mat& from, const cv::Mat& to, int normType, std::vector<cv::DMatch>& out)
{
    if (from.empty() || to.rows < 2)
        return;
    cv::BFMatcher matcher(normType);
    std::vector<std::vector<cv::DMatch>> knn;
    matcher.knnMatch(from, to, knn, 2);
    for (const auto& m : knn)
        if (m.size() == 2 && m[0].distance < CPairFinder::kRatio * m[1].distance)
            out.push_back(m[0]);
}

// Keeps the candidates that lie within the tolerance of the affine fitted to
// their nearest neighbours (without themselves).
std::vector<SCandidate> LocallyConsistent(const std::vector<SCandidate>& all)
{
    std::vector<SCandidate> kept;
    if (all.size() < size_t(CPairFinder::kNeighbours) + 1)
        return kept;
    std::vector<size_t> order(all.size());
    std::vector<double> distance(all.size());
    for (size_t i = 0; i < all.size(); ++i) {
        for (size_t k = 0; k < all.size(); ++k) {
            const double dx = all[k].from.x - all[i].from.x, dy = all[k].from.y - all[i].from.y;
            distance[k] = k == i ? HUGE_VAL : dx * dx + dy * dy;
        }
        std::iota(order.begin(), order.end(), size_t(0));
        std::partial_sort(order.begin(), order.begin() + CPairFinder::kNeighbours, order.end(),
                          [&](size_t p, size_t q) { return distance[p] < distance[q] || (distance[p] == distance[q] && p < q); });
        std::vector<CPairPrior::SPair> near;
        for (int k = 0; k < CPairFinder::kNeighbours; ++k) {
            const SCandidate& c = all[order[size_t(k)]];
            near.push_back({c.from.x, c.from.y, c.to.x, c.to.y});
        }
        SCandidate c = all[i];
        c.local = CPairPrior::Fit(near);
        c.dResidual = std::hypot(c.local.MapX(c.from.x, c.from.y) - c.to.x, c.local.MapY(c.from.x, c.from.y) - c.to.y);
        if (c.dResidual <= CPairFinder::kLocalTolerance)
            kept.push_back(c);
    }
    return kept;
}

} // namespace

CPairFinder::SResult CPairFinder::Find(const CImage& source, const CImage& target, const CMorphHandleArray& existing,
                                       EFeatures eFeatures)
{
    SResult result;
    if (source.IsNull() || target.IsNull() || source.GetWidth() != target.GetWidth()
        || source.GetHeight() != target.GetHeight())
        return result;
    const CGrayPicture from(source), to(target);
    const int w = from.GetWidth(), h = from.GetHeight();

    cv::Ptr<cv::Feature2D> detector = Detector(eFeatures, w, h, false);
    std::vector<cv::KeyPoint> keysFrom, keysTo;
    cv::Mat descFrom, descTo;
    detector->detectAndCompute(from.Mat(), cv::noArray(), keysFrom, descFrom);
    // Soft pictures (mist, skin, clouds) give few corners at the usual
    // threshold; then both are searched again with a lower one.
    if (keysFrom.size() < size_t(FeatureCount(w, h) / 4)) {
        detector = Detector(eFeatures, w, h, true);
        detector->detectAndCompute(from.Mat(), cv::noArray(), keysFrom, descFrom);
    }
    detector->detectAndCompute(to.Mat(), cv::noArray(), keysTo, descTo);
    std::vector<cv::DMatch> matches;
    RatioMatches(descFrom, descTo, detector->defaultNorm(), matches);
    result.nMatches = int32_t(matches.size());
    if (matches.size() < size_t(kNeighbours) + 1)
        return result;

    std::vector<cv::Point2f> ptsFrom, ptsTo;
    for (const cv::DMatch& m : matches) {
        ptsFrom.push_back(keysFrom[size_t(m.queryIdx)].pt);
        ptsTo.push_back(keysTo[size_t(m.trainIdx)].pt);
    }
    // Loose: a bent change is far from one homography; only gross errors go.
    const double loose = std::max(10.0, 0.02 * std::hypot(double(w), double(h)));
    std::vector<uchar> inlier;
    const cv::Mat homography = cv::findHomography(ptsFrom, ptsTo, cv::RANSAC, loose, inlier, 2000, 0.995);
    if (homography.empty())
        return result;
    std::vector<SCandidate> candidates;
    for (size_t i = 0; i < ptsFrom.size(); ++i)
        if (inlier[i])
            candidates.push_back({ptsFrom[i], ptsTo[i], {}, 0});
    const std::vector<SCandidate> consistent = LocallyConsistent(candidates);
    result.nConsistent = int32_t(consistent.size());

    // One pair per cell: the candidates of a cell best first, the first one
    // the tracker confirms wins.
    const int cell = std::max(1, (std::max(w, h) + kCellsAlongLongSide - 1) / kCellsAlongLongSide);
    const int columns = (w + cell - 1) / cell, rows = (h + cell - 1) / cell;
    std::vector<bool> taken(size_t(columns) * size_t(rows), false);
    const auto cellOf = [&](int64_t x, int64_t y) { return size_t((y / cell) * columns + x / cell); };
    for (int32_t i = 0; i < existing.GetSize(); ++i) {
        const CPoint& p = existing[i].m_ptSource;
        if (p.x >= 0 && p.y >= 0 && p.x < w && p.y < h)
            taken[cellOf(p.x, p.y)] = true;
    }
    std::vector<size_t> order(consistent.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t p, size_t q) { return consistent[p].dResidual < consistent[q].dResidual; });
    for (const size_t k : order) {
        const SCandidate& c = consistent[k];
        const int32_t x = int32_t(std::lround(c.from.x)), y = int32_t(std::lround(c.from.y));
        if (x < 0 || y < 0 || x >= w || y >= h || taken[cellOf(x, y)])
            continue;
        const CPatchTracker::STrack track = CPatchTracker::Track(from, to, x, y, c.local);
        if (track.eResult != CPatchTracker::kTracked)
            continue;
        // The tracker must agree with the features.
        if (std::hypot(track.x - c.local.MapX(x, y), track.y - c.local.MapY(x, y)) > kLocalTolerance)
            continue;
        const int32_t tx = int32_t(std::lround(track.x)), ty = int32_t(std::lround(track.y));
        if (tx < 0 || ty < 0 || tx >= w || ty >= h)
            continue;
        taken[cellOf(x, y)] = true;
        result.aPairs.push_back(CMorphHandle{CPoint(x, y), CPoint(tx, ty)});
    }
    return result;
}
