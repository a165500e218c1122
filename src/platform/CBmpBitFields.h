#pragma once

#include <QImage>
#include <QtGlobal>

#include <cstdint>
#include <utility>

class QIODevice;

// The red, green and blue masks of a BMP's 16- or 32-bit pixels: channels
// wider than 8 bits, which Qt's decoder loses, are decoded here; channels of
// fewer than 8 bits, which it leaves short of white, are spread over 0 … 255.
class CBmpBitFields
{
public:
    explicit CBmpBitFields(const quint32 masks[3]);

    // Whether a mask is wider than 8 bits.
    bool HasWideChannel() const;
    // Decodes the rows at their full depth, each channel rounded to 8 bits;
    // null when a row cannot be read. height is negative for rows stored top-down.
    QImage Decode(QIODevice& file, qint64 dataOffset, int width, int64_t height, int bitCount) const;
    // Spreads channels of fewer than 8 bits in what Qt's decoder made over the
    // whole 0 … 255; leaves pictures without such channels as they are.
    void SpreadNarrowChannels(QImage& image) const;

private:
    // The lowest set bit's place and the run of set bits from there.
    static std::pair<int, int> MaskShape(quint32 mask);

    quint32 m_aMasks[3];
    std::pair<int, int> m_aShapes[3];
};
