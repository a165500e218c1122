#pragma once

#include "document/CBmpDC.h"
#include "platform/CImage.h"

#include <QImage>
#include <QString>

#include <cmath>
#include <cstdint>
#include <memory>

// Small pictures with known pixels for tests.
namespace TestImages {

// A w × h picture whose pixel (x, y) gets its bytes (b, g, r) from paint(x, y, p).
template <typename Paint>
std::unique_ptr<CImage> Painted(int32_t w, int32_t h, Paint paint)
{
    auto img = std::make_unique<CImage>();
    if (!img->Create(w, h))
        return nullptr;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            paint(x, y, img->PixelAddress(x, y));
    return img;
}

// The pattern's pixel (x, y): (b, g, r) = (x * 7 + y, x + y * 5, x ^ y), low bytes.
inline QRgb PatternRgb(int x, int y)
{
    return qRgb(uint8_t(x ^ y), uint8_t(x + y * 5), uint8_t(x * 7 + y));
}

inline std::unique_ptr<CImage> Pattern(int32_t w, int32_t h)
{
    return Painted(w, h, [](int32_t x, int32_t y, uint8_t* p) {
        p[0] = uint8_t(x * 7 + y);
        p[1] = uint8_t(x + y * 5);
        p[2] = uint8_t(x ^ y);
    });
}

// The pattern with every byte XORed with key: unlike it at every pixel.
inline std::unique_ptr<CImage> PatternXor(int32_t w, int32_t h, uint8_t key)
{
    return Painted(w, h, [key](int32_t x, int32_t y, uint8_t* p) {
        p[0] = uint8_t(x * 7 + y) ^ key;
        p[1] = uint8_t(x + y * 5) ^ key;
        p[2] = uint8_t(x ^ y) ^ key;
    });
}

// Writes a QImage of the pattern to path in the given format.
inline bool WritePattern(const QString& path, int w, int h, const char* format = "png")
{
    QImage q(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            q.setPixel(x, y, PatternRgb(x, y));
    return q.save(path, format);
}

// A w × h picture of one colour.
inline std::unique_ptr<CImage> Solid(int32_t w, int32_t h, COLORREF colour)
{
    auto img = std::make_unique<CImage>();
    if (!img->Create(w, h))
        return nullptr;
    CBmpDC(*img).FillSolidRect(0, 0, w, h, colour);
    return img;
}

inline bool SamePixels(const CImage& a, const CImage& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return false;
    for (int32_t y = 0; y < a.GetHeight(); ++y)
        for (int32_t x = 0; x < a.GetWidth() * 3; ++x)
            if (a.PixelAddress(0, y)[x] != b.PixelAddress(0, y)[x])
                return false;
    return true;
}

// Peak signal-to-noise ratio of b against a, both the same size, in dB.
inline double Psnr(const CImage& a, const CImage& b)
{
    double sum = 0;
    for (int32_t y = 0; y < a.GetHeight(); ++y)
        for (int32_t i = 0; i < a.GetWidth() * 3; ++i) {
            const double d = double(a.PixelAddress(0, y)[i]) - b.PixelAddress(0, y)[i];
            sum += d * d;
        }
    const double mse = sum / (double(a.GetWidth()) * a.GetHeight() * 3);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// picture shrunk to w × h by area averaging, as the views shrink pictures.
inline std::unique_ptr<CImage> Shrunk(CImage& picture, int32_t w, int32_t h)
{
    auto small = std::make_unique<CImage>();
    if (!small->Create(w, h))
        return nullptr;
    CDC from(&picture), to(small.get());
    to.StretchBltAveraged(CRect(0, 0, w, h), from, CRect(0, 0, picture.GetWidth(), picture.GetHeight()));
    return small;
}

} // namespace TestImages
