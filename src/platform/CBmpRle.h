#pragma once

#include <QByteArray>
#include <QImage>
#include <QtGlobal>

#include <cstdint>

class QIODevice;

// The RLE8 or RLE4 stream of a BMP's pixels: how many pixels its bytes can
// code, and the colour indices it sets. Qt's decoder leaves the pixels a
// stream skips uninitialised, so these BMPs are decoded here.
class CBmpRle
{
public:
    // A picture of width × |height| pixels (height negative: rows stored
    // top-down) in 8-bit or, with fourBits, 4-bit indices.
    CBmpRle(int64_t width, int64_t height, bool fourBits);

    // The most pixels a stream of bytes can code.
    static int64_t CodablePixels(qint64 bytes);
    // The stream from dataOffset to the end of the file, cut to the longest
    // one the picture can need.
    QByteArray Read(QIODevice& file, qint64 dataOffset) const;
    // Runs the stream; its indices into image when it is not null. False when
    // the data ends before the picture does.
    bool Walk(const QByteArray& data, QImage* image) const;

private:
    int64_t m_nWidth;
    int64_t m_nHeight; // negative: rows stored top-down
    bool m_bFourBits;
};
