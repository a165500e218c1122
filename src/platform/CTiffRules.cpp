#include "platform/CTiffRules.h"

#include "platform/CFileBytes.h"

#include <QIODevice>

namespace {

// TIFF: byte order, version, first directory; directories of 12-byte (BigTIFF 20-byte) entries.
constexpr quint32 kTiffClassic = 42, kTiffBig = 43;
constexpr quint32 kTiffExtraSamples = 338, kTiffShort = 3, kTiffUnassociatedAlpha = 2, kTiffUnspecified = 0;
constexpr qint64 kTiffMaxEntries = 4096;

// Where the first value of a TIFF's ExtraSamples tag lies when it says
// unassociated alpha; -1 otherwise.
qint64 UnassociatedAlphaField(QIODevice& file)
{
    const QByteArray h = CFileBytes::ReadAt(file, 0, 16);
    if (h.size() < 8)
        return -1;
    const bool little = h.startsWith("II");
    if (!little && !h.startsWith("MM"))
        return -1;
    auto u16 = [&](const QByteArray& b, qsizetype i) {
        return little ? CFileBytes::Le16(b, i) : CFileBytes::Be16(b, i);
    };
    auto u32 = [&](const QByteArray& b, qsizetype i) {
        return little ? CFileBytes::Le32(b, i) : CFileBytes::Be32(b, i);
    };
    const quint32 version = u16(h, 2);
    const bool big = version == kTiffBig;
    if (version != kTiffClassic && !(big && h.size() >= 16))
        return -1;
    const qint64 ifd = big ? qint64(u32(h, little ? 8 : 12)) | (qint64(u32(h, little ? 12 : 8)) << 32)
                           : qint64(u32(h, 4));
    const QByteArray countBytes = CFileBytes::ReadAt(file, ifd, big ? 8 : 2);
    if (countBytes.size() < (big ? 8 : 2))
        return -1;
    const qint64 count = big ? qint64(u32(countBytes, little ? 0 : 4)) : qint64(u16(countBytes, 0));
    const int entrySize = big ? 20 : 12;
    const qint64 first = ifd + (big ? 8 : 2);
    for (qint64 i = 0; i < count && i < kTiffMaxEntries; ++i) {
        const QByteArray e = CFileBytes::ReadAt(file, first + i * entrySize, entrySize);
        if (e.size() < entrySize)
            return -1;
        if (u16(e, 0) != kTiffExtraSamples)
            continue;
        const qint64 values = big ? qint64(u32(e, little ? 4 : 8)) : qint64(u32(e, 4));
        if (u16(e, 2) != kTiffShort || values < 1)
            return -1;
        const qint64 inlineBytes = big ? 8 : 4;
        const qint64 at = values * 2 <= inlineBytes ? first + i * entrySize + (big ? 12 : 8)
                                                    : qint64(u32(e, big ? (little ? 12 : 16) : 8));
        const QByteArray v = CFileBytes::ReadAt(file, at, 2);
        return v.size() == 2 && u16(v, 0) == kTiffUnassociatedAlpha ? at : -1;
    }
    return -1;
}

} // namespace

bool CTiffRules::WithoutUnassociatedAlpha(QIODevice& file, QByteArray& copy)
{
    const qint64 field = UnassociatedAlphaField(file);
    if (field < 0)
        return false;
    copy = CFileBytes::ReadAt(file, 0, file.size());
    if (field + 2 <= copy.size())
        copy[field] = copy[field + 1] = char(kTiffUnspecified);
    return true;
}
