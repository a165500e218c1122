#include "platform/CPngRules.h"

#include "platform/CFileBytes.h"

#include <QIODevice>

#include <utility>

namespace {

// PNG: the signature, then chunks of length, type, data and CRC.
constexpr qint64 kPngSignatureSize = 8, kPngChunkHeadSize = 8, kPngChunkCrcSize = 4, kPngIhdrSize = 13;
constexpr int kPngIhdrColourType = 9;
constexpr int kPngGrey = 0, kPngRgb = 2;

// Where a tRNS chunk of a grey or RGB PNG lies: a colour key that would make
// its pixels load black. Empty when there is none.
std::pair<qint64, qint64> ColourKeyChunk(QIODevice& file)
{
    const qint64 size = file.size();
    qint64 pos = kPngSignatureSize;
    int colourType = -1;
    while (pos + kPngChunkHeadSize <= size) {
        const QByteArray head = CFileBytes::ReadAt(file, pos, kPngChunkHeadSize);
        if (head.size() < kPngChunkHeadSize)
            break;
        const qint64 length = CFileBytes::Be32(head, 0);
        const QByteArray type = head.mid(4, 4);
        const qint64 next = pos + kPngChunkHeadSize + length + kPngChunkCrcSize;
        if (type == "IHDR") {
            const QByteArray ihdr = CFileBytes::ReadAt(file, pos + kPngChunkHeadSize, kPngIhdrSize);
            if (ihdr.size() == kPngIhdrSize)
                colourType = uchar(ihdr[kPngIhdrColourType]);
        } else if (type == "tRNS") {
            if (colourType == kPngGrey || colourType == kPngRgb)
                return {pos, next};
        } else if (type == "IDAT") {
            break;
        }
        pos = next;
    }
    return {0, 0};
}

} // namespace

bool CPngRules::WithoutColourKey(QIODevice& file, QByteArray& copy)
{
    const auto [from, to] = ColourKeyChunk(file);
    if (to <= from)
        return false;
    copy = CFileBytes::ReadAt(file, 0, file.size());
    copy.remove(from, to - from);
    return true;
}
