#include "platform/CGifRules.h"

#include "platform/CFileBytes.h"

#include <QIODevice>

namespace {

// GIF: a 6-byte signature, the 7-byte screen descriptor, then blocks.
constexpr qint64 kGifScreenDescriptor = 6, kGifScreenDescriptorSize = 7, kGifFirstBlock = 13;
constexpr int kGifPackedField = 4; // in the screen descriptor
constexpr int kGifColourTableFlag = 0x80, kGifColourTableSizeBits = 7;
constexpr int kGifExtension = 0x21, kGifImage = 0x2C;
constexpr qint64 kGifImagePackedField = 8, kGifImageDescriptorSize = 9;

} // namespace

bool CGifRules::FirstPictureComplete(QIODevice& file)
{
    const qint64 size = file.size();
    const QByteArray screen = CFileBytes::ReadAt(file, kGifScreenDescriptor, kGifScreenDescriptorSize);
    if (screen.size() < kGifScreenDescriptorSize)
        return false;
    qint64 pos = kGifFirstBlock;
    if (uchar(screen[kGifPackedField]) & kGifColourTableFlag)
        pos += qint64(3) << ((uchar(screen[kGifPackedField]) & kGifColourTableSizeBits) + 1);
    auto byteAt = [&](qint64 at) -> int {
        const QByteArray b = CFileBytes::ReadAt(file, at, 1);
        return b.size() == 1 ? uchar(b[0]) : -1;
    };
    auto skipSubBlocks = [&]() -> bool {
        while (true) {
            const int n = byteAt(pos++);
            if (n < 0)
                return false;
            if (n == 0)
                return true;
            pos += n;
            if (pos > size)
                return false;
        }
    };
    while (true) {
        const int kind = byteAt(pos++);
        if (kind == kGifExtension) {
            ++pos; // label
            if (!skipSubBlocks())
                return false;
        } else if (kind == kGifImage) {
            const int packed = byteAt(pos + kGifImagePackedField);
            if (packed < 0)
                return false;
            pos += kGifImageDescriptorSize;
            if (packed & kGifColourTableFlag)
                pos += qint64(3) << ((packed & kGifColourTableSizeBits) + 1);
            ++pos; // LZW code size
            return skipSubBlocks();
        } else {
            // The trailer before any picture or a damaged block: the decoder decides.
            return kind >= 0;
        }
    }
}
