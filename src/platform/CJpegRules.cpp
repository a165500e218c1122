#include "platform/CJpegRules.h"

#include "platform/CFileBytes.h"

#include <QIODevice>

namespace {

// JPEG markers, each after a 0xFF.
constexpr uchar kJpegStartOfScan = 0xDA, kJpegEndOfImage = 0xD9, kJpegTem = 0x01, kJpegRst0 = 0xD0,
                kJpegRst7 = 0xD7;
constexpr qint64 kJpegScanBlock = qint64(1) << 20;

} // namespace

bool CJpegRules::Complete(QIODevice& file)
{
    // Segments carry their length up to the first scan; the scan data holds no
    // 0xFF followed by anything but 0 or a restart, so the end-of-image
    // marker is the first 0xFF 0xD9 after it.
    const qint64 size = file.size();
    qint64 pos = 2;
    while (true) {
        const QByteArray head = CFileBytes::ReadAt(file, pos, 4);
        if (head.size() < 2 || uchar(head[0]) != 0xFF)
            return false;
        const uchar marker = uchar(head[1]);
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        if (marker == kJpegEndOfImage)
            return true;
        if (marker == kJpegTem || (marker >= kJpegRst0 && marker <= kJpegRst7)) {
            pos += 2;
            continue;
        }
        if (head.size() < 4)
            return false;
        pos += 2 + CFileBytes::Be16(head, 2);
        if (pos > size)
            return false;
        if (marker == kJpegStartOfScan)
            break;
    }
    bool lastWasFF = false;
    for (; pos < size; pos += kJpegScanBlock) {
        const QByteArray block = CFileBytes::ReadAt(file, pos, kJpegScanBlock);
        if (block.isEmpty())
            return false;
        for (const char c : block) {
            if (lastWasFF && uchar(c) == kJpegEndOfImage)
                return true;
            lastWasFF = uchar(c) == 0xFF;
        }
    }
    return false;
}
