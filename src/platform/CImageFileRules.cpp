#include "platform/CImageFileRules.h"

#include "platform/CFileBytes.h"
#include "platform/CGifRules.h"
#include "platform/CJpegRules.h"
#include "platform/CPngRules.h"
#include "platform/CTiffRules.h"

#include <QIODevice>
#include <QImageReader>

namespace {

constexpr qint64 kMagicBytes = 8;

QString ReaderReason(const QImageReader& reader)
{
    if (reader.error() == QImageReader::UnsupportedFormatError)
        return QStringLiteral("not a picture in a format this program reads");
    return QStringLiteral("the header does not give the picture's size");
}

} // namespace

CImageFileRules::CImageFileRules(QIODevice& file) : m_file(file), m_bmp(file)
{
    const QByteArray magic = CFileBytes::ReadAt(file, 0, kMagicBytes);
    if (magic.startsWith("BM") && m_bmp.ReadHeaders())
        m_eFormat = EFormat::kBmp;
    else if (magic.startsWith("GIF8"))
        m_eFormat = EFormat::kGif;
    else if (magic.startsWith("\x89PNG\r\n\x1a\n"))
        m_eFormat = EFormat::kPng;
    else if (magic.startsWith("II") || magic.startsWith("MM"))
        m_eFormat = EFormat::kTiff;
    else if (magic.startsWith("\xFF\xD8"))
        m_eFormat = EFormat::kJpeg;

    // Qt's reader gives a top-down BMP a negative height.
    if (m_eFormat == EFormat::kBmp && m_bmp.DeclaresSize()) {
        m_size = m_bmp.Size();
        if (!m_size.isValid())
            m_strReason = QStringLiteral("the header declares a size no picture can have");
        return;
    }
    file.seek(0);
    QImageReader reader(&file);
    const QSize stored = reader.size();
    if (stored.isValid() && !stored.isEmpty())
        m_size = reader.transformation() & QImageIOHandler::TransformationRotate90 ? stored.transposed() : stored;
    else
        m_strReason = ReaderReason(reader);
}

bool CImageFileRules::Check()
{
    switch (m_eFormat) {
    case EFormat::kBmp:
        return m_bmp.Check(m_size, m_strReason);
    case EFormat::kGif:
        if (!CGifRules::FirstPictureComplete(m_file)) {
            m_strReason = QStringLiteral("the file ends before its pixel data");
            return false;
        }
        return true;
    case EFormat::kJpeg:
        if (!CJpegRules::Complete(m_file)) {
            m_strReason = QStringLiteral("the file ends before its picture data");
            return false;
        }
        return true;
    default:
        return true;
    }
}

CImageFileRules::EDecoded CImageFileRules::Decode(QImage& image)
{
    if (m_eFormat != EFormat::kBmp || !m_bmp.Decodes(m_size))
        return EDecoded::kNotMine;
    return m_bmp.Decode(m_size, image, m_strReason) ? EDecoded::kDone : EDecoded::kFailed;
}

QIODevice* CImageFileRules::Source()
{
    // A copy without a colour key or unassociated alpha, else the file itself.
    const bool copied =
        (m_eFormat == EFormat::kPng && CPngRules::WithoutColourKey(m_file, m_aPatched))
        || (m_eFormat == EFormat::kTiff && CTiffRules::WithoutUnassociatedAlpha(m_file, m_aPatched));
    if (!copied) {
        m_file.seek(0);
        return &m_file;
    }
    m_patchedDevice.setBuffer(&m_aPatched);
    return m_patchedDevice.open(QIODevice::ReadOnly) ? &m_patchedDevice : nullptr;
}

void CImageFileRules::Fix(QImage& image) const
{
    if (m_eFormat == EFormat::kBmp)
        m_bmp.Fix(image);
}
