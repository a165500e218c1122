#include "platform/CImageFileRules.h"

#include <QIODevice>
#include <QImageReader>

#include <algorithm>
#include <limits>
#include <tuple>
#include <utility>

namespace {

// BMP: a 14-byte file header, then the info header whose first field is its size.
constexpr qint64 kBmpFileHeaderSize = 14;
constexpr qint64 kBmpOffsetDataOffset = 10;
constexpr qint64 kBmpOffsetHeaderSize = 14;
constexpr quint32 kBmpCoreHeaderSize = 12; // OS/2 1.x: 16-bit sides, 3-byte palette entries
constexpr quint32 kBmpInfoHeaderSize = 40;
constexpr qint64 kBmpCoreWidth = 18, kBmpCoreHeight = 20, kBmpCoreBitCount = 24;
constexpr qint64 kBmpWidth = 18, kBmpHeight = 22, kBmpBitCount = 28, kBmpCompression = 30, kBmpSizeImage = 34,
                 kBmpColoursUsed = 46;
// The masks follow a 40-byte header and sit at the same place in longer ones.
constexpr qint64 kBmpMasks = kBmpFileHeaderSize + kBmpInfoHeaderSize;
constexpr qint64 kBmpHeadBytes = kBmpMasks + 3 * 4;
constexpr quint32 kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitFields = 3, kBiAlphaBitFields = 6;
// RLE escapes: a zero count, then one of these.
constexpr uchar kRleEndOfLine = 0, kRleEndOfBitmap = 1, kRleDelta = 2;
constexpr int64_t kRleMaxRun = 255; // pixels one run codes
// 5-5-5 masks of an uncompressed 16-bit BMP.
constexpr quint32 kRgb555[3] = {0x7C00, 0x03E0, 0x001F};

// GIF: a 6-byte signature, the 7-byte screen descriptor, then blocks.
constexpr qint64 kGifScreenDescriptor = 6, kGifScreenDescriptorSize = 7, kGifFirstBlock = 13;
constexpr int kGifPackedField = 4; // in the screen descriptor
constexpr int kGifColourTableFlag = 0x80, kGifColourTableSizeBits = 7;
constexpr int kGifExtension = 0x21, kGifImage = 0x2C;
constexpr qint64 kGifImagePackedField = 8, kGifImageDescriptorSize = 9;

// PNG: the signature, then chunks of length, type, data and CRC.
constexpr qint64 kPngSignatureSize = 8, kPngChunkHeadSize = 8, kPngChunkCrcSize = 4, kPngIhdrSize = 13;
constexpr int kPngIhdrColourType = 9;
constexpr int kPngGrey = 0, kPngRgb = 2;

// TIFF: byte order, version, first directory; directories of 12-byte (BigTIFF 20-byte) entries.
constexpr quint32 kTiffClassic = 42, kTiffBig = 43;
constexpr quint32 kTiffExtraSamples = 338, kTiffShort = 3, kTiffUnassociatedAlpha = 2, kTiffUnspecified = 0;
constexpr qint64 kTiffMaxEntries = 4096;

// JPEG markers, each after a 0xFF.
constexpr uchar kJpegStartOfScan = 0xDA, kJpegEndOfImage = 0xD9, kJpegTem = 0x01, kJpegRst0 = 0xD0,
                kJpegRst7 = 0xD7;
constexpr qint64 kJpegScanBlock = qint64(1) << 20;

constexpr qint64 kMagicBytes = 8;

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

QByteArray ReadAt(QIODevice& file, qint64 offset, qint64 count)
{
    if (offset < 0 || count < 0 || !file.seek(offset))
        return QByteArray();
    return file.read(count);
}

// The lowest set bit's place and the run of set bits from there.
std::pair<int, int> MaskShape(quint32 mask)
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

// Bit-replication tables for channels of fewer than 8 bits: the decoder
// shifts an n-bit value v up to v << (8 − n), which leaves white short of 255;
// repeating v's bits below it spreads 0 … 2^n − 1 over the whole 0 … 255.
bool ChannelTables(const quint32 masks[3], uint8_t tables[3][256])
{
    bool any = false;
    for (int c = 0; c < 3; ++c) {
        const int bits = MaskShape(masks[c]).second;
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

// Where a tRNS chunk of a grey or RGB PNG lies: a colour key that would make
// its pixels load black. Empty when there is none.
std::pair<qint64, qint64> PngColourKeyChunk(QIODevice& file)
{
    const qint64 size = file.size();
    qint64 pos = kPngSignatureSize;
    int colourType = -1;
    while (pos + kPngChunkHeadSize <= size) {
        const QByteArray head = ReadAt(file, pos, kPngChunkHeadSize);
        if (head.size() < kPngChunkHeadSize)
            break;
        const qint64 length = Be32(head, 0);
        const QByteArray type = head.mid(4, 4);
        const qint64 next = pos + kPngChunkHeadSize + length + kPngChunkCrcSize;
        if (type == "IHDR") {
            const QByteArray ihdr = ReadAt(file, pos + kPngChunkHeadSize, kPngIhdrSize);
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

// Where the first value of a TIFF's ExtraSamples tag lies when it says
// unassociated alpha, which the decoder multiplies into the colours; -1 otherwise.
qint64 TiffUnassociatedAlphaField(QIODevice& file)
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
    const bool big = version == kTiffBig;
    if (version != kTiffClassic && !(big && h.size() >= 16))
        return -1;
    const qint64 ifd = big ? qint64(u32(h, little ? 8 : 12)) | (qint64(u32(h, little ? 12 : 8)) << 32)
                           : qint64(u32(h, 4));
    const QByteArray countBytes = ReadAt(file, ifd, big ? 8 : 2);
    if (countBytes.size() < (big ? 8 : 2))
        return -1;
    const qint64 count = big ? qint64(u32(countBytes, little ? 0 : 4)) : qint64(u16(countBytes, 0));
    const int entrySize = big ? 20 : 12;
    const qint64 first = ifd + (big ? 8 : 2);
    for (qint64 i = 0; i < count && i < kTiffMaxEntries; ++i) {
        const QByteArray e = ReadAt(file, first + i * entrySize, entrySize);
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
        const QByteArray v = ReadAt(file, at, 2);
        return v.size() == 2 && u16(v, 0) == kTiffUnassociatedAlpha ? at : -1;
    }
    return -1;
}

QString ReaderReason(const QImageReader& reader)
{
    if (reader.error() == QImageReader::UnsupportedFormatError)
        return QStringLiteral("not a picture in a format this program reads");
    return QStringLiteral("the header does not give the picture's size");
}

} // namespace

CImageFileRules::CImageFileRules(QIODevice& file) : m_file(file)
{
    const QByteArray magic = ReadAt(file, 0, kMagicBytes);
    if (magic.startsWith("BM") && ReadBmpInfo())
        m_eFormat = EFormat::kBmp;
    else if (magic.startsWith("GIF8"))
        m_eFormat = EFormat::kGif;
    else if (magic.startsWith("\x89PNG\r\n\x1a\n"))
        m_eFormat = EFormat::kPng;
    else if (magic.startsWith("II") || magic.startsWith("MM"))
        m_eFormat = EFormat::kTiff;
    else if (magic.startsWith("\xFF\xD8"))
        m_eFormat = EFormat::kJpeg;

    // Qt's reader gives a top-down BMP a negative height.
    const int64_t height = m_bmp.nHeight < 0 ? -m_bmp.nHeight : m_bmp.nHeight;
    if (m_eFormat == EFormat::kBmp && m_bmp.nWidth > 0 && height > 0) {
        if (m_bmp.nWidth <= std::numeric_limits<int>::max() && height <= std::numeric_limits<int>::max())
            m_size = QSize(int(m_bmp.nWidth), int(height));
        else
            m_strReason = QStringLiteral("the header declares a size no picture can have");
        return;
    }
    file.seek(0);
    QImageReader reader(&file);
    const QSize stored = reader.size();
    if (stored.isValid() && !stored.isEmpty())
        m_size = reader.transformation() & QImageIOHandler::TransformationRotate90 ? stored.transposed() : stored;
    else
        m_strReason = ReaderReason(reader);
}

bool CImageFileRules::ReadBmpInfo()
{
    const QByteArray h = ReadAt(m_file, 0, kBmpHeadBytes);
    if (h.size() < kBmpCoreBitCount + 2)
        return false;
    const quint32 headerSize = Le32(h, kBmpOffsetHeaderSize);
    m_bmp.nDataOffset = Le32(h, kBmpOffsetDataOffset);
    m_bmp.nPaletteOffset = kBmpFileHeaderSize + headerSize;
    if (headerSize == kBmpCoreHeaderSize) {
        m_bmp.nWidth = int16_t(Le16(h, kBmpCoreWidth));
        m_bmp.nHeight = int16_t(Le16(h, kBmpCoreHeight));
        m_bmp.nBitCount = int(Le16(h, kBmpCoreBitCount));
        m_bmp.nPaletteEntrySize = 3;
        m_bmp.nDataOffset = std::max<qint64>(m_bmp.nDataOffset, kBmpFileHeaderSize + kBmpCoreHeaderSize);
        return true;
    }
    if (headerSize < kBmpInfoHeaderSize || h.size() < kBmpFileHeaderSize + kBmpInfoHeaderSize)
        return false;
    m_bmp.nWidth = int32_t(Le32(h, kBmpWidth));
    m_bmp.nHeight = int32_t(Le32(h, kBmpHeight));
    m_bmp.nBitCount = int(Le16(h, kBmpBitCount));
    m_bmp.nCompression = Le32(h, kBmpCompression);
    m_bmp.nSizeImage = Le32(h, kBmpSizeImage);
    m_bmp.nColoursUsed = Le32(h, kBmpColoursUsed);
    m_bmp.nDataOffset = std::max<qint64>(m_bmp.nDataOffset, kBmpFileHeaderSize + headerSize);
    const bool bitFields = m_bmp.nCompression == kBiBitFields || m_bmp.nCompression == kBiAlphaBitFields;
    if (m_bmp.nBitCount == 16 && m_bmp.nCompression == kBiRgb) {
        std::copy(std::begin(kRgb555), std::end(kRgb555), m_bmp.aMasks);
    } else if (bitFields && h.size() >= kBmpHeadBytes) {
        for (int c = 0; c < 3; ++c)
            m_bmp.aMasks[c] = Le32(h, kBmpMasks + 4 * c);
        // A 40-byte header's masks sit between it and the colour table.
        if (headerSize == kBmpInfoHeaderSize)
            m_bmp.nPaletteOffset += (m_bmp.nCompression == kBiAlphaBitFields ? 4 : 3) * 4;
    }
    return true;
}

bool CImageFileRules::IsRle() const
{
    return m_eFormat == EFormat::kBmp && m_size.isValid()
           && ((m_bmp.nCompression == kBiRle8 && m_bmp.nBitCount == 8)
               || (m_bmp.nCompression == kBiRle4 && m_bmp.nBitCount == 4));
}

bool CImageFileRules::HasWideChannel() const
{
    if (m_eFormat != EFormat::kBmp || (m_bmp.nBitCount != 16 && m_bmp.nBitCount != 32)
        || (m_bmp.nCompression != kBiBitFields && m_bmp.nCompression != kBiAlphaBitFields))
        return false;
    return std::any_of(std::begin(m_bmp.aMasks), std::end(m_bmp.aMasks),
                       [](quint32 mask) { return MaskShape(mask).second > 8; });
}

qint64 CImageFileRules::BmpDataEnd() const
{
    const int64_t w = m_bmp.nWidth, h = m_bmp.nHeight < 0 ? -m_bmp.nHeight : m_bmp.nHeight;
    if (w <= 0 || h <= 0 || m_bmp.nBitCount <= 0 || m_bmp.nBitCount > 32)
        return 0;
    if (m_bmp.nCompression == kBiRgb || m_bmp.nCompression == kBiBitFields
        || m_bmp.nCompression == kBiAlphaBitFields) {
        const int64_t rowBytes = (w * m_bmp.nBitCount + 31) / 32 * 4;
        // The last row needs its pixels, not its padding.
        return m_bmp.nDataOffset + rowBytes * (h - 1) + (w * m_bmp.nBitCount + 7) / 8;
    }
    return 0;
}

QList<QRgb> CImageFileRules::BmpPalette() const
{
    const int entries = m_bmp.nColoursUsed > 0 && m_bmp.nColoursUsed < (1u << m_bmp.nBitCount)
                            ? int(m_bmp.nColoursUsed)
                            : 1 << m_bmp.nBitCount;
    const QByteArray table = ReadAt(m_file, m_bmp.nPaletteOffset, qint64(entries) * m_bmp.nPaletteEntrySize);
    // Indices past the table, or past a cut table, are black.
    QList<QRgb> palette(1 << m_bmp.nBitCount, qRgb(0, 0, 0));
    for (int i = 0; i < entries && (i + 1) * m_bmp.nPaletteEntrySize <= table.size(); ++i) {
        const qsizetype at = qsizetype(i) * m_bmp.nPaletteEntrySize;
        palette[i] = qRgb(uchar(table[at + 2]), uchar(table[at + 1]), uchar(table[at]));
    }
    return palette;
}

QByteArray CImageFileRules::RleData() const
{
    // The longest stream a picture needs: two bytes a pixel, an end of line
    // a row and the end; more is not read.
    const int64_t height = m_bmp.nHeight < 0 ? -m_bmp.nHeight : m_bmp.nHeight;
    const int64_t pixels = std::min<int64_t>(m_bmp.nWidth * height, int64_t(1) << 40);
    const qint64 limit = 2 * pixels + 2 * height + 2;
    return ReadAt(m_file, m_bmp.nDataOffset, std::min(limit, m_file.size() - m_bmp.nDataOffset));
}

bool CImageFileRules::WalkRle(const QByteArray& data, QImage* image) const
{
    const int64_t width = m_bmp.nWidth, height = m_bmp.nHeight < 0 ? -m_bmp.nHeight : m_bmp.nHeight;
    const bool four = m_bmp.nCompression == kBiRle4;
    const qsizetype size = data.size();
    const auto* d = reinterpret_cast<const uchar*>(data.constData());
    qsizetype at = 0;
    int64_t x = 0, y = 0; // y counts stored rows, bottom-up unless the height is negative
    auto put = [&](uchar index) {
        if (image && x < width && y < height) {
            const int64_t row = m_bmp.nHeight < 0 ? y : height - 1 - y;
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

QImage CImageFileRules::DecodeBitFields() const
{
    const int width = int(m_bmp.nWidth), height = int(m_bmp.nHeight < 0 ? -m_bmp.nHeight : m_bmp.nHeight);
    const int bytes = m_bmp.nBitCount / 8;
    const qint64 rowBytes = (qint64(width) * m_bmp.nBitCount + 31) / 32 * 4;
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    std::pair<int, int> shapes[3];
    for (int c = 0; c < 3; ++c)
        shapes[c] = MaskShape(m_bmp.aMasks[c]);
    QByteArray row;
    for (int y = 0; y < height; ++y) {
        row = ReadAt(m_file, m_bmp.nDataOffset + rowBytes * y, qint64(width) * bytes);
        if (row.size() < qint64(width) * bytes)
            return QImage();
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(m_bmp.nHeight < 0 ? y : height - 1 - y));
        for (int x = 0; x < width; ++x) {
            const quint32 p = bytes == 4 ? Le32(row, qsizetype(x) * 4) : Le16(row, qsizetype(x) * 2);
            int rgb[3];
            for (int c = 0; c < 3; ++c) {
                // round(v · 255 / max), in integers.
                const uint64_t max = (uint64_t(1) << shapes[c].second) - 1;
                const uint64_t v = (p & m_bmp.aMasks[c]) >> shapes[c].first;
                rgb[c] = max ? int((v * 510 + max) / (2 * max)) : 0;
            }
            out[x] = qRgb(rgb[0], rgb[1], rgb[2]);
        }
    }
    return image;
}

bool CImageFileRules::GifFirstPictureComplete() const
{
    const qint64 size = m_file.size();
    const QByteArray screen = ReadAt(m_file, kGifScreenDescriptor, kGifScreenDescriptorSize);
    if (screen.size() < kGifScreenDescriptorSize)
        return false;
    qint64 pos = kGifFirstBlock;
    if (uchar(screen[kGifPackedField]) & kGifColourTableFlag)
        pos += qint64(3) << ((uchar(screen[kGifPackedField]) & kGifColourTableSizeBits) + 1);
    auto byteAt = [&](qint64 at) -> int {
        const QByteArray b = ReadAt(m_file, at, 1);
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

bool CImageFileRules::JpegComplete() const
{
    // Segments carry their length up to the first scan; the scan data holds no
    // 0xFF followed by anything but 0 or a restart, so the end-of-image
    // marker is the first 0xFF 0xD9 after it.
    const qint64 size = m_file.size();
    qint64 pos = 2;
    while (true) {
        const QByteArray head = ReadAt(m_file, pos, 4);
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
        pos += 2 + Be16(head, 2);
        if (pos > size)
            return false;
        if (marker == kJpegStartOfScan)
            break;
    }
    bool lastWasFF = false;
    for (; pos < size; pos += kJpegScanBlock) {
        const QByteArray block = ReadAt(m_file, pos, kJpegScanBlock);
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

bool CImageFileRules::Check()
{
    bool complete = true;
    switch (m_eFormat) {
    case EFormat::kBmp:
        if (IsRle()) {
            // A run codes at most 255 pixels in 2 bytes; pixels past an early
            // end would come from nowhere, so a header that declares more
            // than its data can code is refused before anything is decoded.
            const qint64 dataBytes = std::max<qint64>(0, m_file.size() - m_bmp.nDataOffset);
            const int64_t codable = dataBytes / 2 * kRleMaxRun;
            const int64_t declared = int64_t(m_size.width()) * m_size.height();
            if (declared > codable) {
                m_strReason = QStringLiteral("the RLE data (%1 bytes) can code at most %2 pixels, the header "
                                             "declares %3")
                                  .arg(dataBytes)
                                  .arg(codable)
                                  .arg(declared);
                return false;
            }
            complete = WalkRle(RleData(), nullptr);
        } else if (const qint64 end = BmpDataEnd(); end > m_file.size()) {
            m_strReason = QStringLiteral("the file ends before its pixel data (%1 of %2 bytes)")
                              .arg(m_file.size())
                              .arg(end);
            return false;
        }
        break;
    case EFormat::kGif:
        complete = GifFirstPictureComplete();
        break;
    case EFormat::kJpeg:
        if (!JpegComplete()) {
            m_strReason = QStringLiteral("the file ends before its picture data");
            return false;
        }
        break;
    default:
        break;
    }
    if (!complete)
        m_strReason = QStringLiteral("the file ends before its pixel data");
    return complete;
}

CImageFileRules::EDecoded CImageFileRules::Decode(QImage& image)
{
    if (IsRle()) {
        image = QImage(int(m_size.width()), int(m_size.height()), QImage::Format_Indexed8);
        if (image.isNull()) {
            m_strReason = QStringLiteral("not enough memory");
            return EDecoded::kFailed;
        }
        // Pixels the stream skips keep colour index 0.
        image.fill(0);
        image.setColorTable(BmpPalette());
        if (!WalkRle(RleData(), &image)) {
            m_strReason = QStringLiteral("the file ends before its pixel data");
            return EDecoded::kFailed;
        }
        return EDecoded::kDone;
    }
    if (HasWideChannel()) {
        image = DecodeBitFields();
        if (image.isNull()) {
            m_strReason = QStringLiteral("the pixel data cannot be read");
            return EDecoded::kFailed;
        }
        return EDecoded::kDone;
    }
    return EDecoded::kNotMine;
}

QIODevice* CImageFileRules::Source()
{
    qint64 from = 0, to = 0, field = -1;
    if (m_eFormat == EFormat::kPng)
        std::tie(from, to) = PngColourKeyChunk(m_file);
    else if (m_eFormat == EFormat::kTiff)
        field = TiffUnassociatedAlphaField(m_file);
    if (to <= from && field < 0) {
        m_file.seek(0);
        return &m_file;
    }
    m_aPatched = ReadAt(m_file, 0, m_file.size());
    if (to > from)
        m_aPatched.remove(from, to - from);
    else if (field + 2 <= m_aPatched.size())
        m_aPatched[field] = m_aPatched[field + 1] = char(kTiffUnspecified);
    m_patchedDevice.setBuffer(&m_aPatched);
    return m_patchedDevice.open(QIODevice::ReadOnly) ? &m_patchedDevice : nullptr;
}

void CImageFileRules::Fix(QImage& image) const
{
    if (m_eFormat != EFormat::kBmp || HasWideChannel())
        return;
    uint8_t tables[3][256];
    if (!ChannelTables(m_bmp.aMasks, tables))
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
