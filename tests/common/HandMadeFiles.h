#pragma once

#include <QByteArray>
#include <QList>
#include <QtEndian>

#include <cstdint>

// Picture files built byte by byte, for cases no encoder at hand writes:
// colour keys, 16-bit, RLE and bit-field BMPs, GIFs, EXIF orientation and
// decompression bombs.
namespace HandMade {

inline quint32 Crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline void AppendBe32(QByteArray& out, quint32 v)
{
    char be[4];
    qToBigEndian(v, be);
    out.append(be, 4);
}

inline void AppendLe(QByteArray& out, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

inline QByteArray PngChunk(const char* type, const QByteArray& data)
{
    QByteArray body(type, 4);
    body.append(data);
    QByteArray out;
    AppendBe32(out, quint32(data.size()));
    out.append(body);
    AppendBe32(out, Crc32(body));
    return out;
}

inline QByteArray PngIhdr(quint32 width, quint32 height, int bitDepth, int colourType)
{
    QByteArray ihdr;
    AppendBe32(ihdr, width);
    AppendBe32(ihdr, height);
    ihdr.append(char(bitDepth)).append(char(colourType)).append(QByteArray(3, '\0'));
    return ihdr;
}

// A PNG from its rows as stored (each starting with its filter byte), with
// extra chunks (e.g. tRNS) before the image data.
inline QByteArray Png(quint32 width, quint32 height, int bitDepth, int colourType, const QByteArray& rows,
                      const QByteArray& extraChunks = QByteArray())
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png.append(PngChunk("IHDR", PngIhdr(width, height, bitDepth, colourType)));
    png.append(extraChunks);
    // qCompress gives a zlib stream behind a 4-byte length.
    png.append(PngChunk("IDAT", qCompress(rows, 9).mid(4)));
    png.append(PngChunk("IEND", QByteArray()));
    return png;
}

// A PNG whose valid header declares width × height; no image data follows.
inline QByteArray PngHeaderOnly(quint32 width, quint32 height)
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png.append(PngChunk("IHDR", PngIhdr(width, height, 8, 2)));
    return png;
}

// A whole, valid 1-bit grey PNG of side × side black pixels: a few hundred KB
// that decode to side² pixels.
inline QByteArray PngBomb(quint32 side)
{
    const QByteArray rows(qsizetype(side) * (1 + (side + 7) / 8), '\0');
    return Png(side, side, 1, 0, rows);
}

// A GIF with a 256-colour table and the given indices, top-down. The LZW data
// holds only literal codes of 9 bits, with a clear code before the table
// would grow to 10 bits.
inline QByteArray Gif(int width, int height, const QList<quint32>& palette, const QByteArray& indices)
{
    QByteArray out("GIF89a");
    AppendLe(out, quint32(width), 2);
    AppendLe(out, quint32(height), 2);
    out.append(char(0xF7)).append('\0').append('\0');
    for (int i = 0; i < 256; ++i) {
        const quint32 rgb = i < palette.size() ? palette[i] : 0;
        out.append(char(rgb >> 16)).append(char(rgb >> 8)).append(char(rgb));
    }
    out.append(',');
    AppendLe(out, 0, 4);
    AppendLe(out, quint32(width), 2);
    AppendLe(out, quint32(height), 2);
    out.append('\0');
    out.append(char(8)); // LZW minimum code size
    QByteArray codes;
    quint32 bitBuffer = 0;
    int bits = 0;
    auto put = [&](quint32 code) {
        bitBuffer |= code << bits;
        bits += 9;
        while (bits >= 8) {
            codes.append(char(bitBuffer & 0xFF));
            bitBuffer >>= 8;
            bits -= 8;
        }
    };
    for (qsizetype i = 0; i < indices.size(); ++i) {
        if (i % 200 == 0)
            put(256);
        put(quint8(indices[i]));
    }
    put(257);
    if (bits > 0)
        codes.append(char(bitBuffer & 0xFF));
    for (qsizetype at = 0; at < codes.size(); at += 255) {
        const QByteArray block = codes.mid(at, 255);
        out.append(char(block.size())).append(block);
    }
    out.append('\0').append(';');
    return out;
}

// A BMP with a 40-byte header: bits as stored (rows bottom-up unless height
// is negative), a colour table, BITFIELDS masks after the header, and the
// image size field (-1: the size of bits).
inline QByteArray Bmp(int width, int height, int bitCount, quint32 compression, const QList<quint32>& palette,
                      const QByteArray& bits, const QList<quint32>& masks = {}, qint64 sizeImage = -1)
{
    const quint32 offset = quint32(14 + 40 + 4 * masks.size() + 4 * palette.size());
    QByteArray out("BM");
    AppendLe(out, offset + quint32(bits.size()), 4);
    AppendLe(out, 0, 4);
    AppendLe(out, offset, 4);
    AppendLe(out, 40, 4);
    AppendLe(out, quint32(width), 4);
    AppendLe(out, quint32(height), 4);
    AppendLe(out, 1, 2);
    AppendLe(out, quint32(bitCount), 2);
    AppendLe(out, compression, 4);
    AppendLe(out, quint32(sizeImage < 0 ? bits.size() : sizeImage), 4);
    AppendLe(out, 2835, 4);
    AppendLe(out, 2835, 4);
    AppendLe(out, quint32(palette.size()), 4);
    AppendLe(out, 0, 4);
    for (const quint32 mask : masks)
        AppendLe(out, mask, 4);
    for (const quint32 rgb : palette)
        AppendLe(out, rgb, 4); // blue, green, red, reserved
    return out + bits;
}

// A 16-bit BMP, bottom-up; 565 masks with BI_BITFIELDS, else 555 with BI_RGB.
inline QByteArray Bmp16(int width, int height, const QList<quint16>& topDownPixels, bool rgb565)
{
    const int rowBytes = (width * 2 + 3) / 4 * 4;
    QByteArray bits;
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x)
            AppendLe(bits, topDownPixels[y * width + x], 2);
        bits.append(QByteArray(rowBytes - width * 2, '\0'));
    }
    return Bmp(width, height, 16, rgb565 ? 3 : 0, {}, bits,
               rgb565 ? QList<quint32>{0xF800, 0x07E0, 0x001F} : QList<quint32>{});
}

// A baseline JPEG with an EXIF block whose orientation tag holds orientation.
inline QByteArray JpegWithOrientation(const QByteArray& jpeg, int orientation)
{
    QByteArray tiff("II*\0", 4);
    AppendLe(tiff, 8, 4);     // first directory
    AppendLe(tiff, 1, 2);     // one entry
    AppendLe(tiff, 0x0112, 2); // orientation
    AppendLe(tiff, 3, 2);     // SHORT
    AppendLe(tiff, 1, 4);
    AppendLe(tiff, quint32(orientation), 4);
    AppendLe(tiff, 0, 4);     // no next directory
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray app1("\xFF\xE1", 2);
    app1.append(char((body.size() + 2) >> 8)).append(char((body.size() + 2) & 0xFF));
    return jpeg.left(2) + app1 + body + jpeg.mid(2);
}

} // namespace HandMade
