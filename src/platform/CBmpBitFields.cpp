#include "platform/CBmpBitFields.h"

#include "platform/CFileBytes.h"

#include <QIODevice>

#include <algorithm>
#include <iterator>

CBmpBitFields::CBmpBitFields(const quint32 masks[3])
{
    for (int c = 0; c < 3; ++c) {
        m_aMasks[c] = masks[c];
        m_aShapes[c] = MaskShape(masks[c]);
    }
}

std::pair<int, int> CBmpBitFields::MaskShape(quint32 mask)
{
    if (!mask)
        return {0, 0};
    int shift = 0, bits = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++bits;
    }
    return {shift, bits};
}

bool CBmpBitFields::HasWideChannel() const
{
    return std::any_of(std::begin(m_aShapes), std::end(m_aShapes),
                       [](const std::pair<int, int>& shape) { return shape.second > 8; });
}

QImage CBmpBitFields::Decode(QIODevice& file, qint64 dataOffset, int width, int64_t height, int bitCount) const
{
    const int rows = int(height < 0 ? -height : height);
    const int bytes = bitCount / 8;
    const qint64 rowBytes = (qint64(width) * bitCount + 31) / 32 * 4;
    QImage image(width, rows, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    QByteArray row;
    for (int y = 0; y < rows; ++y) {
        row = CFileBytes::ReadAt(file, dataOffset + rowBytes * y, qint64(width) * bytes);
        if (row.size() < qint64(width) * bytes)
            return QImage();
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(height < 0 ? y : rows - 1 - y));
        for (int x = 0; x < width; ++x) {
            const quint32 p = bytes == 4 ? CFileBytes::Le32(row, qsizetype(x) * 4)
                                         : CFileBytes::Le16(row, qsizetype(x) * 2);
            int rgb[3];
            for (int c = 0; c < 3; ++c) {
                // round(v · 255 / max), in integers.
                const uint64_t max = (uint64_t(1) << m_aShapes[c].second) - 1;
                const uint64_t v = (p & m_aMasks[c]) >> m_aShapes[c].first;
                rgb[c] = max ? int((v * 510 + max) / (2 * max)) : 0;
            }
            out[x] = qRgb(rgb[0], rgb[1], rgb[2]);
        }
    }
    return image;
}

void CBmpBitFields::SpreadNarrowChannels(QImage& image) const
{
    // Bit-replication tables: the decoder shifts an n-bit value v up to
    // v << (8 − n), which leaves white short of 255; repeating v's bits below
    // it spreads 0 … 2^n − 1 over the whole 0 … 255.
    uint8_t tables[3][256];
    bool any = false;
    for (int c = 0; c < 3; ++c) {
        const int bits = m_aShapes[c].second;
        for (int q = 0; q < 256; ++q) {
            if (bits < 1 || bits > 7) {
                tables[c][q] = uint8_t(q);
                continue;
            }
            const int v = q >> (8 - bits);
            int out = 0;
            for (int filled = 0; filled < 8; filled += bits)
                out |= filled + bits <= 8 ? v << (8 - filled - bits) : v >> (filled + bits - 8);
            tables[c][q] = uint8_t(out);
        }
        any = any || (bits >= 1 && bits <= 7);
    }
    if (!any)
        return;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = row[x];
            row[x] = qRgba(tables[0][qRed(p)], tables[1][qGreen(p)], tables[2][qBlue(p)], qAlpha(p));
        }
    }
}
