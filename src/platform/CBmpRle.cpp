#include "platform/CBmpRle.h"

#include "platform/CFileBytes.h"

#include <QIODevice>

#include <algorithm>

namespace {

// RLE escapes: a zero count, then one of these.
constexpr uchar kRleEndOfLine = 0, kRleEndOfBitmap = 1, kRleDelta = 2;
constexpr int64_t kRleMaxRun = 255; // pixels one run codes

} // namespace

CBmpRle::CBmpRle(int64_t width, int64_t height, bool fourBits)
    : m_nWidth(width), m_nHeight(height), m_bFourBits(fourBits)
{
}

int64_t CBmpRle::CodablePixels(qint64 bytes)
{
    // A run codes at most 255 pixels in 2 bytes.
    return bytes / 2 * kRleMaxRun;
}

QByteArray CBmpRle::Read(QIODevice& file, qint64 dataOffset) const
{
    // The longest stream a picture needs: two bytes a pixel, an end of line
    // a row and the end; more is not read.
    const int64_t height = m_nHeight < 0 ? -m_nHeight : m_nHeight;
    const int64_t pixels = std::min<int64_t>(m_nWidth * height, int64_t(1) << 40);
    const qint64 limit = 2 * pixels + 2 * height + 2;
    return CFileBytes::ReadAt(file, dataOffset, std::min(limit, file.size() - dataOffset));
}

bool CBmpRle::Walk(const QByteArray& data, QImage* image) const
{
    const int64_t width = m_nWidth, height = m_nHeight < 0 ? -m_nHeight : m_nHeight;
    const bool four = m_bFourBits;
    const qsizetype size = data.size();
    const auto* d = reinterpret_cast<const uchar*>(data.constData());
    qsizetype at = 0;
    int64_t x = 0, y = 0; // y counts stored rows, bottom-up unless the height is negative
    auto put = [&](uchar index) {
        if (image && x < width && y < height) {
            const int64_t row = m_nHeight < 0 ? y : height - 1 - y;
            image->scanLine(int(row))[x] = index;
        }
        ++x;
    };
    while (y < height) {
        if (at + 2 > size)
            return false;
        const uchar count = d[at], value = d[at + 1];
        at += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(four ? (i % 2 ? value & 0x0F : value >> 4) : value);
            continue;
        }
        if (value == kRleEndOfLine) {
            x = 0;
            ++y;
        } else if (value == kRleEndOfBitmap) {
            return true;
        } else if (value == kRleDelta) {
            if (at + 2 > size)
                return false;
            x += d[at];
            y += d[at + 1];
            at += 2;
        } else {
            // An absolute run of value pixels, padded to a whole 16-bit word.
            const qsizetype bytes = four ? (value + 1) / 2 : value;
            if (at + bytes > size)
                return false;
            for (int i = 0; i < value; ++i)
                put(four ? (i % 2 ? d[at + i / 2] & 0x0F : d[at + i / 2] >> 4) : d[at + i]);
            at += bytes + (bytes & 1);
        }
    }
    return true;
}
