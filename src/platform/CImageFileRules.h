#pragma once

#include "platform/CBmpDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

class QIODevice;

// What the containers of BMP, GIF, PNG, TIFF and JPEG files say beyond what
// Qt's decoders make of them: the size the header declares (also for
// top-down BMPs, upright after an EXIF orientation), whether the pixel data
// is all there, and what the decoded picture needs to show the stored
// colours. Qt's BMP decoder leaves the pixels an RLE stream skips
// uninitialised and loses channels wider than 8 bits, so those BMPs are
// decoded here. Each format's rules are a class of their own (CBmpDecoder,
// CGifRules, CPngRules, CTiffRules, CJpegRules); this one picks the format.
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

    QIODevice& m_file;
    CBmpDecoder m_bmp;
    EFormat m_eFormat = EFormat::kOther;
    QSize m_size;
    QString m_strReason;
    QByteArray m_aPatched;
    QBuffer m_patchedDevice;
};
