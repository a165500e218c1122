#include "CImage.h"

#include "CAtomicFile.h"
#include "CDC.h"
#include "CMemoryBudget.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <utility>


namespace {

std::atomic<int> s_nLiveImages{0};
thread_local QString s_strLastError;
// QImageReader's allocation limit is one process-wide value; loads set it for
// their own picture, so they take turns.
std::mutex s_loadMutex;

int Failed(int code, const QString& reason)
{
    s_strLastError = reason;
    return code;
}

quint32 Le16(const QByteArray& b, qsizetype i)
{
    return quint32(uchar(b[i])) | quint32(uchar(b[i + 1])) << 8;
}
quint32 Le32(const QByteArray& b, qsizetype i)
{
    return Le16(b, i) | Le16(b, i + 2) << 16;
}
quint32 Be16(const QByteArray& b, qsizetype i)
{
    return quint32(uchar(b[i])) << 8 | quint32(uchar(b[i + 1]));
}
quint32 Be32(const QByteArray& b, qsizetype i)
{
    return Be16(b, i) << 16 | Be16(b, i + 2);
}

QByteArray ReadAt(QFile& file, qint64 offset, qint64 count)
{
    if (offset < 0 || !file.seek(offset))
        return QByteArray();
    return file.read(count);
}

// What a BMP's headers say about its pixel data.
struct SBmpInfo
{
    qint64 nDataOffset = 0;
    int64_t nWidth = 0;
    int64_t nHeight = 0;
    int nBitCount = 0;
    quint32 nCompression = 0;
    quint32 nSizeImage = 0;
    quint32 aMasks[3] = {0, 0, 0}; // red, green, blue
};

bool ReadBmpInfo(QFile& file, SBmpInfo& info)
{
    const QByteArray h = ReadAt(file, 0, 14 + 56);
    if (h.size() < 26 || h[0] != 'B' || h[1] != 'M')
        return false;
    const quint32 headerSize = Le32(h, 14);
    info.nDataOffset = Le32(h, 10);
    if (headerSize == 12) {
        info.nWidth = int16_t(Le16(h, 18));
        info.nHeight = int16_t(Le16(h, 20));
        info.nBitCount = int(Le16(h, 24));
        info.nDataOffset = std::max<qint64>(info.nDataOffset, 14 + 12);
        return true;
    }
    if (headerSize < 40 || h.size() < 54)
        return false;
    info.nWidth = int32_t(Le32(h, 18));
    info.nHeight = int32_t(Le32(h, 22));
    info.nBitCount = int(Le16(h, 28));
    info.nCompression = Le32(h, 30);
    info.nSizeImage = Le32(h, 34);
    info.nDataOffset = std::max<qint64>(info.nDataOffset, 14 + headerSize);
    if (info.nBitCount == 16 && info.nCompression == 0) {
        info.aMasks[0] = 0x7C00;
        info.aMasks[1] = 0x03E0;
        info.aMasks[2] = 0x001F;
    } else if ((info.nCompression == 3 || info.nCompression == 6) && h.size() >= 66) {
        // The masks follow a 40-byte header and sit at the same place in longer ones.
        for (int c = 0; c < 3; ++c)
            info.aMasks[c] = Le32(h, 54 + 4 * c);
    }
    return true;
}

// The file size a BMP needs for its pixel data; 0 when it cannot be told.
qint64 BmpDataEnd(const SBmpInfo& info)
{
    const int64_t w = info.nWidth, h = info.nHeight < 0 ? -info.nHeight : info.nHeight;
    if (w <= 0 || h <= 0 || info.nBitCount <= 0 || info.nBitCount > 32)
        return 0;
    if (info.nCompression == 0 || info.nCompression == 3 || info.nCompression == 6) {
        const int64_t rowBytes = (w * info.nBitCount + 31) / 32 * 4;
        // The last row needs its pixels, not its padding.
        return info.nDataOffset + rowBytes * (h - 1) + (w * info.nBitCount + 7) / 8;
    }
    if ((info.nCompression == 1 || info.nCompression == 2) && info.nSizeImage > 0)
        return info.nDataOffset + info.nSizeImage;
    return 0;
}

// Bit-replication tables for channels of fewer than 8 bits: the decoder
// shifts an n-bit value v up to v << (8 − n), which leaves white short of 255;
// repeating v's bits below it spreads 0 … 2^n − 1 over the whole 0 … 255.
bool BmpChannelTables(const SBmpInfo& info, uint8_t tables[3][256])
{
    bool any = false;
    for (int c = 0; c < 3; ++c) {
        quint32 mask = info.aMasks[c];
        int bits = 0;
        if (mask) {
            while (!(mask & 1))
                mask >>= 1;
            while (mask & 1) {
                mask >>= 1;
                ++bits;
            }
        }
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
    return any;
}

void ApplyChannelTables(QImage& image, const uint8_t tables[3][256])
{
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

// Walks a GIF's blocks up to the end of its first picture's data; false when
// the file ends before it.
bool GifFirstPictureComplete(QFile& file)
{
    const qint64 size = file.size();
    const QByteArray lsd = ReadAt(file, 6, 7);
    if (lsd.size() < 7)
        return false;
    qint64 pos = 13;
    if (uchar(lsd[4]) & 0x80)
        pos += qint64(3) << ((uchar(lsd[4]) & 7) + 1);
    auto byteAt = [&](qint64 at) -> int {
        const QByteArray b = ReadAt(file, at, 1);
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
        if (kind == 0x21) {
            ++pos; // label
            if (!skipSubBlocks())
                return false;
        } else if (kind == 0x2C) {
            const int packed = byteAt(pos + 8);
            if (packed < 0)
                return false;
            pos += 9;
            if (packed & 0x80)
                pos += qint64(3) << ((packed & 7) + 1);
            ++pos; // LZW code size
            return skipSubBlocks();
        } else {
            // The trailer before any picture or a damaged block: the decoder decides.
            return kind >= 0;
        }
    }
}

// Where a tRNS chunk of a grey or RGB PNG lies: a colour key that would make
// its pixels load black. Empty when there is none.
std::pair<qint64, qint64> PngColourKeyChunk(QFile& file)
{
    const qint64 size = file.size();
    qint64 pos = 8;
    int colourType = -1;
    while (pos + 8 <= size) {
        const QByteArray head = ReadAt(file, pos, 8);
        if (head.size() < 8)
            break;
        const qint64 length = Be32(head, 0);
        const QByteArray type = head.mid(4, 4);
        if (type == "IHDR") {
            const QByteArray ihdr = ReadAt(file, pos + 8, 13);
            if (ihdr.size() == 13)
                colourType = uchar(ihdr[9]);
        } else if (type == "tRNS") {
            if (colourType == 0 || colourType == 2)
                return {pos, pos + 12 + length};
        } else if (type == "IDAT") {
            break;
        }
        pos += 12 + length;
    }
    return {0, 0};
}

// Where the first value of a TIFF's ExtraSamples tag lies when it says
// unassociated alpha, which the decoder multiplies into the colours; -1 otherwise.
qint64 TiffUnassociatedAlphaField(QFile& file)
{
    const QByteArray h = ReadAt(file, 0, 16);
    if (h.size() < 8)
        return -1;
    const bool little = h.startsWith("II");
    if (!little && !h.startsWith("MM"))
        return -1;
    auto u16 = [&](const QByteArray& b, qsizetype i) { return little ? Le16(b, i) : Be16(b, i); };
    auto u32 = [&](const QByteArray& b, qsizetype i) { return little ? Le32(b, i) : Be32(b, i); };
    const quint32 version = u16(h, 2);
    const bool big = version == 43;
    if (version != 42 && !(big && h.size() >= 16))
        return -1;
    const qint64 ifd = big ? qint64(u32(h, little ? 8 : 12)) | (qint64(u32(h, little ? 12 : 8)) << 32)
                           : qint64(u32(h, 4));
    const QByteArray countBytes = ReadAt(file, ifd, big ? 8 : 2);
    if (countBytes.size() < (big ? 8 : 2))
        return -1;
    const qint64 count = big ? qint64(u32(countBytes, little ? 0 : 4)) : qint64(u16(countBytes, 0));
    const int entrySize = big ? 20 : 12;
    const qint64 first = ifd + (big ? 8 : 2);
    for (qint64 i = 0; i < count && i < 4096; ++i) {
        const QByteArray e = ReadAt(file, first + i * entrySize, entrySize);
        if (e.size() < entrySize)
            return -1;
        if (u16(e, 0) != 338)
            continue;
        const qint64 values = big ? qint64(u32(e, little ? 4 : 8)) : qint64(u32(e, 4));
        if (u16(e, 2) != 3 || values < 1)
            return -1;
        const qint64 inlineBytes = big ? 8 : 4;
        const qint64 at = values * 2 <= inlineBytes ? first + i * entrySize + (big ? 12 : 8)
                                                    : qint64(u32(e, big ? (little ? 12 : 16) : 8));
        const QByteArray v = ReadAt(file, at, 2);
        return v.size() == 2 && u16(v, 0) == 2 ? at : -1;
    }
    return -1;
}

// Whether encoded data holds the whole picture at its size; some encoders
// shrink what their format cannot hold (ICO and CUR stop at 256 × 256).
bool HoldsWholePicture(QByteArray& data, const QByteArray& format, const QSize& size)
{
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    QImageReader reader(&buffer, format);
    QSize stored = reader.size();
    if (!stored.isValid())
        stored = reader.read().size();
    return stored == size;
}

} // namespace

CImage::CImage() = default;

CImage::~CImage()
{
    Destroy();
}

ptrdiff_t CImage::RowLength(int32_t width)
{
    if (width <= 0)
        return 0;
    return ptrdiff_t(((int64_t(width) * 24 + 31) / 32) * 4);
}

bool CImage::Create(int32_t width, int32_t height, int32_t bpp, bool alpha)
{
    if (!IsNull() || width <= 0 || height <= 0 || bpp != 24 || alpha)
        return false;
    const int64_t rowLength = ((int64_t(width) * 24 + 31) / 32) * 4;
    if (rowLength > std::numeric_limits<ptrdiff_t>::max() / height)
        return false;
    const int64_t total = rowLength * height;
    if (uint64_t(total) > std::numeric_limits<size_t>::max())
        return false;
    // calloc: a fresh picture is black, and large zeroed pages cost nothing until used.
    auto* raw = static_cast<uint8_t*>(std::calloc(size_t(total), 1));
    if (!raw)
        return false;
    m_pBuffer.reset(raw);
    m_nWidth = width;
    m_nHeight = height;
    m_nBPP = 24;
    m_nPitch = -ptrdiff_t(rowLength);
    m_pBits = raw + (total - rowLength); // the top row lies last in memory
    m_bAlpha = false;
    ++s_nLiveImages;
    return true;
}

void CImage::Destroy()
{
    if (IsNull())
        return;
    m_pLentDC.reset();
    m_nDCRefs = 0;
    std::free(m_pBuffer.release());
    m_pBits = nullptr;
    m_nWidth = m_nHeight = m_nBPP = 0;
    m_nPitch = 0;
    m_bAlpha = false;
    --s_nLiveImages;
}

int CImage::LiveCount()
{
    return s_nLiveImages.load();
}

CDC* CImage::GetDC()
{
    if (m_nDCRefs++ == 0)
        m_pLentDC = std::make_unique<CDC>(this);
    return m_pLentDC.get();
}

void CImage::ReleaseDC()
{
    if (m_nDCRefs > 0 && --m_nDCRefs == 0)
        m_pLentDC.reset();
}

bool CImage::FromQImage(const QImage& image)
{
    if (!IsNull() || image.isNull())
        return false;
    try {
        // Non-premultiplied 32-bit keeps the stored colour of transparent pixels.
        const QImage src = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                         : QImage::Format_RGB32);
        if (src.isNull() || !Create(src.width(), src.height()))
            return false;
        for (int32_t y = 0; y < m_nHeight; ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
            uint8_t* out = PixelAddress(0, y);
            for (int32_t x = 0; x < m_nWidth; ++x) {
                const QRgb p = in[x];
                out[0] = uint8_t(qBlue(p));
                out[1] = uint8_t(qGreen(p));
                out[2] = uint8_t(qRed(p));
                out += 3;
            }
        }
        return true;
    } catch (const std::bad_alloc&) {
        Destroy();
        return false;
    }
}

QString CImage::LastError()
{
    return s_strLastError;
}

bool CImage::WorkingSetFits(int64_t width, int64_t height, int64_t availableBytes)
{
    if (width <= 0 || height <= 0)
        return false;
    if (availableBytes < 0)
        return true;
    return width <= availableBytes / kWorkingSetBytesPerPixel / height;
}

bool CImage::ReadSize(const QString& path, QSize& size, QString& error)
{
    QImageReader reader(path);
    size = reader.size();
    if (size.isValid() && !size.isEmpty())
        return true;
    if (!QFileInfo::exists(path))
        error = CAtomicFile::ErrorText(ENOENT);
    else if (reader.canRead())
        error = QStringLiteral("the header does not give the picture's size");
    else
        error = reader.errorString();
    s_strLastError = error;
    return false;
}

int CImage::Load(const QString& path)
{
    if (!IsNull())
        return -1;
    if (path.isEmpty())
        return Failed(-1, QStringLiteral("no file name"));
    try {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return Failed(-1, file.errorString());
        const QByteArray magic = file.peek(8);

        // Refuse from the header what could not be held, before decoding it.
        QImageReader headerReader(&file);
        const QSize declared = headerReader.size();
        const int64_t available = CMemoryBudget::AvailableBytes();
        if (declared.isValid()
            && !WorkingSetFits(declared.width(), declared.height(), available))
            return Failed(-1, QStringLiteral("a %1 x %2 picture needs %3 MiB for the morph (%4 bytes per pixel), "
                                       "%5 MiB are available")
                            .arg(declared.width())
                            .arg(declared.height())
                            .arg(int64_t(declared.width()) * declared.height() * kWorkingSetBytesPerPixel >> 20)
                            .arg(kWorkingSetBytesPerPixel)
                            .arg(available >> 20));

        // Files whose pixel data ends early decode with black rows in some
        // decoders; tell them from the structure.
        SBmpInfo bmp;
        const bool isBmp = magic.startsWith("BM") && ReadBmpInfo(file, bmp);
        if (isBmp) {
            const qint64 end = BmpDataEnd(bmp);
            if (end > file.size())
                return Failed(-1, QStringLiteral("the file ends before its pixel data (%1 of %2 bytes)")
                                .arg(file.size())
                                .arg(end));
        }
        if (magic.startsWith("GIF8") && !GifFirstPictureComplete(file))
            return Failed(-1, QStringLiteral("the file ends before its pixel data"));

        // Colour keys and unassociated alpha would change the stored colours of
        // transparent pixels; alpha is dropped anyway, so decode a copy that
        // does not declare them.
        QByteArray patched;
        if (magic.startsWith("\x89PNG\r\n\x1a\n")) {
            const auto [from, to] = PngColourKeyChunk(file);
            if (to > from) {
                patched = ReadAt(file, 0, file.size());
                patched.remove(from, to - from);
            }
        } else if (magic.startsWith("II") || magic.startsWith("MM")) {
            const qint64 field = TiffUnassociatedAlphaField(file);
            if (field >= 0) {
                patched = ReadAt(file, 0, file.size());
                if (field + 2 <= patched.size())
                    patched[field] = patched[field + 1] = 0; // unspecified extra sample
            }
        }
        QBuffer buffer(&patched);
        if (!patched.isEmpty() && !buffer.open(QIODevice::ReadOnly))
            return Failed(-1, QStringLiteral("cannot read the file"));
        if (patched.isEmpty())
            file.seek(0);
        QImageReader reader(patched.isEmpty() ? static_cast<QIODevice*>(&file) : &buffer);
        // The stored pixels are what both pictures share: no EXIF rotation.
        reader.setAutoTransform(false);
        QImage image;
        {
            const std::lock_guard<std::mutex> lock(s_loadMutex);
            // Qt's own limit, on the decoded bytes (at most 8 a pixel), follows
            // the same budget for formats whose header gives no size.
            if (available >= 0)
                QImageReader::setAllocationLimit(
                    int(std::clamp<int64_t>(available / kWorkingSetBytesPerPixel * 8 >> 20, 1,
                                            std::numeric_limits<int>::max())));
            image = reader.read();
        }
        if (image.isNull())
            return Failed(-1, reader.errorString());
        if (isBmp) {
            uint8_t tables[3][256];
            if (BmpChannelTables(bmp, tables))
                ApplyChannelTables(image, tables);
        }
        return FromQImage(image) ? 0 : Failed(-1, QStringLiteral("not enough memory"));
    } catch (const std::bad_alloc&) {
        return Failed(-1, QStringLiteral("not enough memory"));
    }
}

QImage CImage::ToQImage() const
{
    if (IsNull())
        return QImage();
    QImage image(m_nWidth, m_nHeight, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    for (int32_t y = 0; y < m_nHeight; ++y) {
        const uint8_t* in = PixelAddress(0, y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int32_t x = 0; x < m_nWidth; ++x, in += 3)
            out[x] = qRgb(in[2], in[1], in[0]);
    }
    return image;
}

int CImage::Save(const QString& path, int quality) const
{
    if (IsNull())
        return Failed(-1, QStringLiteral("no picture"));
    try {
        const QImage image = ToQImage();
        if (image.isNull())
            return Failed(-5, QStringLiteral("not enough memory"));
        return SaveQImage(image, path, quality);
    } catch (const std::bad_alloc&) {
        return Failed(-5, QStringLiteral("not enough memory"));
    }
}

int CImage::SaveQImage(const QImage& image, const QString& path, int quality)
{
    if (image.isNull())
        return Failed(-1, QStringLiteral("no picture"));
    // The extension is the file name's part from its last dot on; a dot in a
    // folder name does not count.
    const QString fileName = QFileInfo(path).fileName();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return Failed(-1, QStringLiteral("no extension to choose the format by"));
    const QByteArray format = fileName.mid(dot + 1).toLower().toUtf8();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format))
        return Failed(-1, QStringLiteral("no encoder for .%1").arg(fileName.mid(dot + 1)));
    try {
        // Encoded in memory first, so the file is only touched with complete data.
        QByteArray data;
        QBuffer buffer(&data);
        if (!buffer.open(QIODevice::WriteOnly))
            return Failed(-5, QStringLiteral("not enough memory"));
        QImageWriter writer(&buffer, format);
        if (quality == kAutoQuality && (format == "jpg" || format == "jpeg"))
            quality = kJpegQuality;
        else if (quality == kAutoQuality && format == "png")
            quality = kPngQuality;
        writer.setQuality(quality);
        if (!writer.write(image))
            return Failed(-3, writer.errorString());
        buffer.close();
        if (!HoldsWholePicture(data, format, image.size()))
            return Failed(-3, QStringLiteral("the %1 format cannot hold a %2 x %3 picture")
                            .arg(QString::fromUtf8(format))
                            .arg(image.width())
                            .arg(image.height()));
        QString error;
        if (!CAtomicFile::Write(path, data, error))
            return Failed(-4, error);
        return 0;
    } catch (const std::bad_alloc&) {
        return Failed(-5, QStringLiteral("not enough memory"));
    }
}
