#pragma once

#include <QByteArray>
#include <QtGlobal>

class QIODevice;

// Byte reads the picture file rules share: bytes at an offset of a file and
// little- and big-endian fields of what was read.
class CFileBytes
{
public:
    // count bytes from offset, fewer at the end of the file; empty when the
    // offset cannot be reached.
    static QByteArray ReadAt(QIODevice& file, qint64 offset, qint64 count);

    static quint32 Le16(const QByteArray& b, qsizetype i)
    {
        return quint32(uchar(b[i])) | quint32(uchar(b[i + 1])) << 8;
    }
    static quint32 Le32(const QByteArray& b, qsizetype i) { return Le16(b, i) | Le16(b, i + 2) << 16; }
    static quint32 Be16(const QByteArray& b, qsizetype i)
    {
        return quint32(uchar(b[i])) << 8 | quint32(uchar(b[i + 1]));
    }
    static quint32 Be32(const QByteArray& b, qsizetype i) { return Be16(b, i) << 16 | Be16(b, i + 2); }
};
