#pragma once

#include "platform/CImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <cstdint>

// The pixels of a CImage as 0xRRGGBB, and a picture as a file format's bytes,
// for tests that check what was drawn, loaded or written.

// The three bytes of pixel (x, y) as 0xRRGGBB.
inline uint32_t Pixel(const CImage& img, int x, int y)
{
    const uint8_t* p = img.PixelAddress(x, y);
    return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

inline void FillAll(CImage& img, uint32_t rgb)
{
    for (int y = 0; y < img.GetHeight(); ++y)
        for (int x = 0; x < img.GetWidth(); ++x) {
            uint8_t* p = img.PixelAddress(x, y);
            p[0] = uint8_t(rgb);
            p[1] = uint8_t(rgb >> 8);
            p[2] = uint8_t(rgb >> 16);
        }
}

inline QByteArray Encoded(const QImage& image, const char* format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return data;
}
