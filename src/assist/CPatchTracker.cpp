#include "CPatchTracker.h"

#include "CGrayPicture.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <cmath>
#include <vector>

namespace {

constexpr int kSide = 2 * CPatchTracker::kPatchRadius + 1;

// The patch of picture whose pixel (u, v) is picture point map(u − R + x0, v − R + y0).
cv::Mat Patch(const cv::Mat& picture, const CPairPrior::SAffine& map, double x0, double y0)
{
    const double r = CPatchTracker::kPatchRadius;
    // Patch pixel to picture point: map applied to (u + x0 − R, v + y0 − R).
    const double ox = x0 - r, oy = y0 - r;
    const cv::Matx23d m(map.a, map.b, map.a * ox + map.b * oy + map.c, map.d, map.e, map.d * ox + map.e * oy + map.f);
    cv::Mat patch;
    cv::warpAffine(picture, patch, m, cv::Size(kSide, kSide), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                   cv::BORDER_REPLICATE);
    return patch;
}

// The smaller eigenvalue of the gradients' structure tensor over the window
// at the patch centre, per pixel: how well the window pins a point down in
// its weakest direction.
double Texture(const cv::Mat& patch)
{
    const int half = CPatchTracker::kWindow / 2, c = CPatchTracker::kPatchRadius;
    const cv::Mat window = patch(cv::Rect(c - half - 1, c - half - 1, CPatchTracker::kWindow + 2,
                                          CPatchTracker::kWindow + 2));
    cv::Mat gx, gy;
    cv::Sobel(window, gx, CV_32F, 1, 0, 3, 1.0 / 8);
    cv::Sobel(window, gy, CV_32F, 0, 1, 3, 1.0 / 8);
    double sxx = 0, sxy = 0, syy = 0;
    for (int y = 1; y <= CPatchTracker::kWindow; ++y)
        for (int x = 1; x <= CPatchTracker::kWindow; ++x) {
            const double dx = gx.at<float>(y, x), dy = gy.at<float>(y, x);
            sxx += dx * dx, sxy += dx * dy, syy += dy * dy;
        }
    const double n = double(CPatchTracker::kWindow) * CPatchTracker::kWindow;
    sxx /= n, sxy /= n, syy /= n;
    return 0.5 * (sxx + syy - std::sqrt((sxx - syy) * (sxx - syy) + 4 * sxy * sxy));
}

bool Inside(double x, double y, const cv::Mat& picture)
{
    return x >= 0 && y >= 0 && x <= picture.cols - 1 && y <= picture.rows - 1;
}

} // namespace

CPatchTracker::STrack CPatchTracker::Track(const CGrayPicture& from, const CGrayPicture& to, double x, double y,
                                           const CPairPrior::SAffine& prior)
{
    STrack track;
    track.x = prior.MapX(x, y);
    track.y = prior.MapY(x, y);
    if (from.IsEmpty() || to.IsEmpty() || !Inside(x, y, from.Mat()) || !std::isfinite(track.x)
        || !std::isfinite(track.y)) {
        track.eResult = kOutside;
        return track;
    }
    const cv::Mat a = Patch(from.Mat(), CPairPrior::SAffine(), x, y);
    if (Texture(a) < kMinTexture) {
        track.eResult = kFlat;
        return track;
    }
    cv::Mat b = Patch(to.Mat(), prior, x, y);
    // The tracker assumes equal brightness; the other picture's patch is
    // brought to this one's mean and contrast, so a lighter or darker
    // picture does not pull the point aside.
    cv::Scalar meanA, devA, meanB, devB;
    cv::meanStdDev(a, meanA, devA);
    cv::meanStdDev(b, meanB, devB);
    if (devB[0] > 0) {
        const double gain = devA[0] / devB[0];
        b.convertTo(b, CV_8U, gain, meanA[0] - gain * meanB[0]);
    }

    const cv::Point2f centre{static_cast<float>(kPatchRadius), static_cast<float>(kPatchRadius)};
    const std::vector<cv::Point2f> start{centre};
    std::vector<cv::Point2f> forward{centre}, back{centre};
    std::vector<uchar> status;
    std::vector<float> error;
    const cv::TermCriteria until(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 30, 0.01);
    const cv::Size window(kWindow, kWindow);
    cv::calcOpticalFlowPyrLK(a, b, start, forward, status, error, window, kLevels, until,
                             cv::OPTFLOW_USE_INITIAL_FLOW);
    if (!status[0]) {
        track.eResult = kLost;
        return track;
    }
    back = forward;
    cv::calcOpticalFlowPyrLK(b, a, forward, back, status, error, window, kLevels, until,
                             cv::OPTFLOW_USE_INITIAL_FLOW);
    const double du = double(forward[0].x) - kPatchRadius, dv = double(forward[0].y) - kPatchRadius;
    const double bx = double(back[0].x) - kPatchRadius, by = double(back[0].y) - kPatchRadius;
    // Past half the patch the window reads replicated edge pixels.
    if (!status[0] || std::hypot(bx, by) > kMaxBackError || std::hypot(du, dv) > kPatchRadius / 2) {
        track.eResult = kLost;
        return track;
    }
    const double px = x + du, py = y + dv;
    const double tx = prior.MapX(px, py), ty = prior.MapY(px, py);
    if (!Inside(tx, ty, to.Mat())) {
        track.eResult = kOutside;
        return track;
    }
    track.eResult = kTracked;
    track.x = tx;
    track.y = ty;
    return track;
}
