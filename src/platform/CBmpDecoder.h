#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <cstdint>

class QIODevice;

// A BMP file read the way it is laid out: the file header, the info header
// (OS/2 core or Windows, with its bit-field masks), the palette, then the
// pixel data. Checks that the data is all there and decodes the forms Qt's
// decoder gets wrong: RLE streams and channels wider than 8 bits.
class CBmpDecoder
{
public:
    explicit CBmpDecoder(QIODevice& file);
    CBmpDecoder(const CBmpDecoder&) = delete;
    CBmpDecoder& operator=(const CBmpDecoder&) = delete;

    // Reads the file header and the info header; false when they are not a
    // BMP's that this decoder knows.
    bool ReadHeaders();
    // Whether the header declares a width and a height above 0.
    bool DeclaresSize() const;
    // The upright size the header declares; invalid when no picture can have it.
    QSize Size() const;
    // Whether the file holds all the pixel data of a picture of size (the
    // declared one or the one Qt's reader gives); if not, reason says why.
    bool Check(const QSize& size, QString& reason) const;
    // Whether Decode is to read the file, not Qt's decoder.
    bool Decodes(const QSize& size) const;
    // Decodes an RLE BMP or one with channels wider than 8 bits; false with
    // the reason when it cannot.
    bool Decode(const QSize& size, QImage& image, QString& reason) const;
    // Mends what Qt's decoder made of the file: channels of fewer than 8 bits
    // spread over the whole 0 … 255.
    void Fix(QImage& image) const;

private:
    void ReadFileHeader(const QByteArray& head);
    bool ReadInfoHeader(const QByteArray& head);
    QList<QRgb> Palette() const;
    // The file size the pixel data needs; 0 when it cannot be told.
    qint64 DataEnd() const;
    bool IsRle(const QSize& size) const;
    bool HasWideChannel() const;
    int64_t Rows() const { return m_nHeight < 0 ? -m_nHeight : m_nHeight; }

    QIODevice& m_file;
    qint64 m_nDataOffset = 0;
    qint64 m_nPaletteOffset = 0;
    int m_nPaletteEntrySize = 4;
    int64_t m_nWidth = 0;
    int64_t m_nHeight = 0; // negative: rows stored top-down
    int m_nBitCount = 0;
    uint32_t m_nCompression = 0;
    uint32_t m_nColoursUsed = 0;
    uint32_t m_aMasks[3] = {0, 0, 0}; // red, green, blue
};
