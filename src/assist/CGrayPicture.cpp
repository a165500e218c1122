#include "CGrayPicture.h"

#include "CImage.h"

#include <opencv2/imgproc.hpp>

#include <mutex>

CGrayPicture::CGrayPicture(const CImage& image)
{
    UseOneThread();
    if (image.IsNull() || image.GetBPP() != 24)
        return;
    const int w = image.GetWidth(), h = image.GetHeight();
    m_mat.create(h, w, CV_8UC1);
    // The rows are stored bottom-up (negative pitch), which a matrix cannot
    // describe, so each row is wrapped on its own.
    for (int y = 0; y < h; ++y) {
        const cv::Mat row(1, w, CV_8UC3, const_cast<uint8_t*>(image.PixelAddress(0, y)));
        cv::Mat out = m_mat.row(y);
        cv::cvtColor(row, out, cv::COLOR_BGR2GRAY);
    }
}

void CGrayPicture::UseOneThread()
{
    static std::once_flag once;
    std::call_once(once, [] { cv::setNumThreads(1); });
}
