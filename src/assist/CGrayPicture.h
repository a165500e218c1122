#pragma once

#include <opencv2/core.hpp>

class CImage;

// A picture in 8-bit grey, top row first, as the trackers and the feature
// detector read it. The picture's rows are read in place, without a copy of
// the colour picture.
class CGrayPicture
{
public:
    CGrayPicture() = default;
    explicit CGrayPicture(const CImage& image);

    const cv::Mat& Mat() const { return m_mat; }
    bool IsEmpty() const { return m_mat.empty(); }
    int GetWidth() const { return m_mat.cols; }
    int GetHeight() const { return m_mat.rows; }

    // OpenCV on one thread, so every result repeats from run to run; once
    // per process, before the first use.
    static void UseOneThread();

private:
    cv::Mat m_mat;
};
