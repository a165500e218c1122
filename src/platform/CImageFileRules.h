#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>

class QIODevice;

// What the containers of BMP, GIF, PNG, TIFF and JPEG files say beyond what
// Qt's decoders make of them: the size the header declares (also for
// top-down BMPs, upright after an EXIF orientation), whether the pixel data
// is all there, and what the decoded picture needs to show the stored
// colours. Qt's BMP decoder leaves the pixels an RLE stream skips
// uninitialised and loses channels wider than 8 bits, so those BMPs are
// decoded here.
class CImageFileRules
{
public:
    // What Decode did.
    enum class EDecoded
    {
        kNotMine, // Qt's decoder is to read the file
        kDone,
        kFailed // reason in Reason()
    };

    // Reads the headers of an open file, or of a buffer holding one (never a
    // sequential device: the rules read at offsets).
    explicit CImageFileRules(QIODevice& file);
    CImageFileRules(const CImageFileRules&) = delete;
    CImageFileRules& operator=(const CImageFileRules&) = delete;

    // The upright size the header declares; invalid when it does not tell
    // (then Reason says why).
    QSize DeclaredSize() const { return m_size; }
    // Whether the file holds all the pixel data its headers promise (for an
    // RLE BMP, also whether its data could code that many pixels at all); if
    // not, Reason says why.
    bool Check();
    // Decodes the files Qt's decoder gets wrong.
    EDecoded Decode(QImage& image);
    // What Qt's decoder is to read: the file, or a copy without a colour key
    // or unassociated alpha, which would change the stored colours of
    // transparent pixels (alpha is dropped anyway). Null when the copy
    // cannot be opened.
    QIODevice* Source();
    // Mends what Qt's decoder made of the file: BMP channels of fewer than 8
    // bits spread over the whole 0 … 255.
    void Fix(QImage& image) const;

    const QString& Reason() const { return m_strReason; }

private:
    enum class EFormat
    {
        kOther,
        kBmp,
        kGif,
        kPng,
        kTiff,
        kJpeg
    };
    // What a BMP's headers say about its pixel data.
    struct SBmpInfo
    {
        qint64 nDataOffset = 0;
        qint64 nPaletteOffset = 0;
        int nPaletteEntrySize = 4;
        int64_t nWidth = 0;
        int64_t nHeight = 0; // negative: rows stored top-down
        int nBitCount = 0;
        uint32_t nCompression = 0;
        uint32_t nSizeImage = 0;
        uint32_t nColoursUsed = 0;
        uint32_t aMasks[3] = {0, 0, 0}; // red, green, blue
    };

    bool ReadBmpInfo();
    bool IsRle() const;
    bool HasWideChannel() const;
    // The file size the BMP needs for its pixel data; 0 when it cannot be told.
    qint64 BmpDataEnd() const;
    QList<QRgb> BmpPalette() const;
    // Runs the RLE stream; into image when it is not null. False when the
    // data ends before the picture does.
    bool WalkRle(const QByteArray& data, QImage* image) const;
    QByteArray RleData() const;
    QImage DecodeBitFields() const;
    bool GifFirstPictureComplete() const;
    bool JpegComplete() const;

    QIODevice& m_file;
    EFormat m_eFormat = EFormat::kOther;
    SBmpInfo m_bmp;
    QSize m_size;
    QString m_strReason;
    QByteArray m_aPatched;
    QBuffer m_patchedDevice;
};
