#include "platform/CBmpDecoder.h"

#include "platform/CBmpBitFields.h"
#include "platform/CBmpRle.h"
#include "platform/CFileBytes.h"

#include <QIODevice>

#include <algorithm>
#include <iterator>
#include <limits>

namespace {

// The 14-byte file header, then the info header whose first field is its size.
constexpr qint64 kBmpFileHeaderSize = 14;
constexpr qint64 kBmpOffsetDataOffset = 10;
constexpr qint64 kBmpOffsetHeaderSize = 14;
constexpr quint32 kBmpCoreHeaderSize = 12; // OS/2 1.x: 16-bit sides, 3-byte palette entries
constexpr quint32 kBmpInfoHeaderSize = 40;
constexpr qint64 kBmpCoreWidth = 18, kBmpCoreHeight = 20, kBmpCoreBitCount = 24;
constexpr qint64 kBmpWidth = 18, kBmpHeight = 22, kBmpBitCount = 28, kBmpCompression = 30, kBmpColoursUsed = 46;
// The masks follow a 40-byte header and sit at the same place in longer ones.
constexpr qint64 kBmpMasks = kBmpFileHeaderSize + kBmpInfoHeaderSize;
constexpr qint64 kBmpHeadBytes = kBmpMasks + 3 * 4;
constexpr quint32 kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitFields = 3, kBiAlphaBitFields = 6;
// 5-5-5 masks of an uncompressed 16-bit BMP.
constexpr quint32 kRgb555[3] = {0x7C00, 0x03E0, 0x001F};

const QString kEndsEarly = QStringLiteral("the file ends before its pixel data");

} // namespace

CBmpDecoder::CBmpDecoder(QIODevice& file) : m_file(file)
{
}

bool CBmpDecoder::ReadHeaders()
{
    const QByteArray head = CFileBytes::ReadAt(m_file, 0, kBmpHeadBytes);
    if (head.size() < kBmpCoreBitCount + 2)
        return false;
    ReadFileHeader(head);
    return ReadInfoHeader(head);
}

void CBmpDecoder::ReadFileHeader(const QByteArray& head)
{
    m_nDataOffset = CFileBytes::Le32(head, kBmpOffsetDataOffset);
}

bool CBmpDecoder::ReadInfoHeader(const QByteArray& h)
{
    const quint32 headerSize = CFileBytes::Le32(h, kBmpOffsetHeaderSize);
    m_nPaletteOffset = kBmpFileHeaderSize + headerSize;
    if (headerSize == kBmpCoreHeaderSize) {
        m_nWidth = int16_t(CFileBytes::Le16(h, kBmpCoreWidth));
        m_nHeight = int16_t(CFileBytes::Le16(h, kBmpCoreHeight));
        m_nBitCount = int(CFileBytes::Le16(h, kBmpCoreBitCount));
        m_nPaletteEntrySize = 3;
        m_nDataOffset = std::max<qint64>(m_nDataOffset, kBmpFileHeaderSize + kBmpCoreHeaderSize);
        return true;
    }
    if (headerSize < kBmpInfoHeaderSize || h.size() < kBmpFileHeaderSize + kBmpInfoHeaderSize)
        return false;
    m_nWidth = int32_t(CFileBytes::Le32(h, kBmpWidth));
    m_nHeight = int32_t(CFileBytes::Le32(h, kBmpHeight));
    m_nBitCount = int(CFileBytes::Le16(h, kBmpBitCount));
    m_nCompression = CFileBytes::Le32(h, kBmpCompression);
    m_nColoursUsed = CFileBytes::Le32(h, kBmpColoursUsed);
    m_nDataOffset = std::max<qint64>(m_nDataOffset, kBmpFileHeaderSize + headerSize);
    const bool bitFields = m_nCompression == kBiBitFields || m_nCompression == kBiAlphaBitFields;
    if (m_nBitCount == 16 && m_nCompression == kBiRgb) {
        std::copy(std::begin(kRgb555), std::end(kRgb555), m_aMasks);
    } else if (bitFields && h.size() >= kBmpHeadBytes) {
        for (int c = 0; c < 3; ++c)
            m_aMasks[c] = CFileBytes::Le32(h, kBmpMasks + 4 * c);
        // A 40-byte header's masks sit between it and the colour table.
        if (headerSize == kBmpInfoHeaderSize)
            m_nPaletteOffset += (m_nCompression == kBiAlphaBitFields ? 4 : 3) * 4;
    }
    return true;
}

bool CBmpDecoder::DeclaresSize() const
{
    return m_nWidth > 0 && Rows() > 0;
}

QSize CBmpDecoder::Size() const
{
    if (m_nWidth > std::numeric_limits<int>::max() || Rows() > std::numeric_limits<int>::max())
        return QSize();
    return QSize(int(m_nWidth), int(Rows()));
}

QList<QRgb> CBmpDecoder::Palette() const
{
    const int entries = m_nColoursUsed > 0 && m_nColoursUsed < (1u << m_nBitCount) ? int(m_nColoursUsed)
                                                                                      : 1 << m_nBitCount;
    const QByteArray table = CFileBytes::ReadAt(m_file, m_nPaletteOffset, qint64(entries) * m_nPaletteEntrySize);
    // Indices past the table, or past a cut table, are black.
    QList<QRgb> palette(1 << m_nBitCount, qRgb(0, 0, 0));
    for (int i = 0; i < entries && (i + 1) * m_nPaletteEntrySize <= table.size(); ++i) {
        const qsizetype at = qsizetype(i) * m_nPaletteEntrySize;
        palette[i] = qRgb(uchar(table[at + 2]), uchar(table[at + 1]), uchar(table[at]));
    }
    return palette;
}

qint64 CBmpDecoder::DataEnd() const
{
    const int64_t w = m_nWidth, h = Rows();
    if (w <= 0 || h <= 0 || m_nBitCount <= 0 || m_nBitCount > 32)
        return 0;
    if (m_nCompression == kBiRgb || m_nCompression == kBiBitFields || m_nCompression == kBiAlphaBitFields) {
        const int64_t rowBytes = (w * m_nBitCount + 31) / 32 * 4;
        // The last row needs its pixels, not its padding.
        return m_nDataOffset + rowBytes * (h - 1) + (w * m_nBitCount + 7) / 8;
    }
    return 0;
}

bool CBmpDecoder::IsRle(const QSize& size) const
{
    return size.isValid()
           && ((m_nCompression == kBiRle8 && m_nBitCount == 8) || (m_nCompression == kBiRle4 && m_nBitCount == 4));
}

bool CBmpDecoder::HasWideChannel() const
{
    if ((m_nBitCount != 16 && m_nBitCount != 32)
        || (m_nCompression != kBiBitFields && m_nCompression != kBiAlphaBitFields))
        return false;
    return CBmpBitFields(m_aMasks).HasWideChannel();
}

bool CBmpDecoder::Check(const QSize& size, QString& reason) const
{
    if (IsRle(size)) {
        // Pixels past an early end would come from nowhere, so a header that
        // declares more than its data can code is refused before anything is
        // decoded.
        const qint64 dataBytes = std::max<qint64>(0, m_file.size() - m_nDataOffset);
        const int64_t codable = CBmpRle::CodablePixels(dataBytes);
        const int64_t declared = int64_t(size.width()) * size.height();
        if (declared > codable) {
            reason = QStringLiteral("the RLE data (%1 bytes) can code at most %2 pixels, the header declares %3")
                         .arg(dataBytes)
                         .arg(codable)
                         .arg(declared);
            return false;
        }
        const CBmpRle rle(m_nWidth, m_nHeight, m_nCompression == kBiRle4);
        if (!rle.Walk(rle.Read(m_file, m_nDataOffset), nullptr)) {
            reason = kEndsEarly;
            return false;
        }
    } else if (const qint64 end = DataEnd(); end > m_file.size()) {
        reason = QStringLiteral("the file ends before its pixel data (%1 of %2 bytes)")
                     .arg(m_file.size())
                     .arg(end);
        return false;
    }
    return true;
}

bool CBmpDecoder::Decodes(const QSize& size) const
{
    return IsRle(size) || HasWideChannel();
}

bool CBmpDecoder::Decode(const QSize& size, QImage& image, QString& reason) const
{
    if (IsRle(size)) {
        image = QImage(size.width(), size.height(), QImage::Format_Indexed8);
        if (image.isNull()) {
            reason = QStringLiteral("not enough memory");
            return false;
        }
        // Pixels the stream skips keep colour index 0.
        image.fill(0);
        image.setColorTable(Palette());
        const CBmpRle rle(m_nWidth, m_nHeight, m_nCompression == kBiRle4);
        if (!rle.Walk(rle.Read(m_file, m_nDataOffset), &image)) {
            reason = kEndsEarly;
            return false;
        }
        return true;
    }
    image = CBmpBitFields(m_aMasks).Decode(m_file, m_nDataOffset, int(m_nWidth), m_nHeight, m_nBitCount);
    if (image.isNull()) {
        reason = QStringLiteral("the pixel data cannot be read");
        return false;
    }
    return true;
}

void CBmpDecoder::Fix(QImage& image) const
{
    if (!HasWideChannel())
        CBmpBitFields(m_aMasks).SpreadNarrowChannels(image);
}
