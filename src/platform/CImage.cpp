#include "platform/CImage.h"

#include "platform/CAtomicFile.h"
#include "platform/CDC.h"
#include "platform/CImageFileRules.h"
#include "platform/CMemoryBudget.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <limits>
#include <mutex>
#include <new>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

std::atomic<int> s_nLiveImages{0};
thread_local QString s_strLastError;
thread_local int s_nLastErrno = 0;
// QImageReader's allocation limit is one process-wide value; loads set it for
// their own picture, so they take turns.
std::mutex s_loadMutex;

CImage::EResult Failed(CImage::EResult code, const QString& reason, int errnum = 0)
{
    s_strLastError = reason;
    s_nLastErrno = errnum;
    return code;
}

// Why a file that QFile could not open cannot be opened, as an error number.
int OpenErrno(const QString& path)
{
    struct stat st{};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return errno;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}

// Pictures from pipes and other streams are read whole into memory, since the
// file rules read at offsets; ReadSize keeps what it read for the Load that
// follows it (the tool reads both headers first), keyed by the stream's
// device and inode, so a pipe is read once.
constexpr qint64 kMaxStreamBytes = qint64(1) << 30;
constexpr qint64 kStreamChunk = qint64(1) << 20;
constexpr size_t kKeptStreams = 2;
struct SKeptStream
{
    QByteArray aKey;
    QByteArray aData;
};
std::mutex s_streamMutex;
std::deque<SKeptStream> s_keptStreams;

QByteArray StreamKey(const QString& path)
{
    struct stat st{};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QByteArray();
    return QByteArray::number(qulonglong(st.st_dev)) + ':' + QByteArray::number(qulonglong(st.st_ino));
}

// The bytes of an open stream, or those ReadSize kept of it; false with the reason.
bool TakeStream(const QString& path, QFile& file, QByteArray& data, CImage::EResult& code, QString& reason)
{
    const QByteArray key = StreamKey(path);
    {
        const std::lock_guard<std::mutex> lock(s_streamMutex);
        for (auto it = s_keptStreams.begin(); !key.isEmpty() && it != s_keptStreams.end(); ++it) {
            if (it->aKey == key) {
                data = std::move(it->aData);
                s_keptStreams.erase(it);
                return true;
            }
        }
    }
    data.clear();
    while (true) {
        const QByteArray chunk = file.read(kStreamChunk);
        if (chunk.isEmpty())
            break;
        if (data.size() + chunk.size() > kMaxStreamBytes) {
            code = CImage::kTooLarge;
            reason = QStringLiteral("a picture read from a pipe may have at most %1 MiB").arg(kMaxStreamBytes >> 20);
            return false;
        }
        data += chunk;
    }
    if (file.error() != QFileDevice::NoError) {
        code = CImage::kUnreadable;
        reason = file.errorString();
        return false;
    }
    if (data.isEmpty()) {
        code = CImage::kDamaged;
        reason = QStringLiteral("the pipe gave no data (a pipe can be read only once)");
        return false;
    }
    return true;
}

void KeepStream(const QString& path, const QByteArray& data)
{
    const QByteArray key = StreamKey(path);
    if (key.isEmpty())
        return;
    const std::lock_guard<std::mutex> lock(s_streamMutex);
    std::erase_if(s_keptStreams, [&](const SKeptStream& kept) { return kept.aKey == key; });
    if (s_keptStreams.size() == kKeptStreams)
        s_keptStreams.pop_front();
    s_keptStreams.push_back({key, data});
}

QString TooLargeText(const QSize& size, int64_t available)
{
    // Pixels times bytes per pixel passes 64 bits for the largest headers:
    // whole MiB and the rest are multiplied apart.
    constexpr int64_t kMiB = int64_t(1) << 20;
    const int64_t pixels = int64_t(size.width()) * size.height();
    const int64_t mib = pixels / kMiB * CImage::kWorkingSetBytesPerPixel
                        + pixels % kMiB * CImage::kWorkingSetBytesPerPixel / kMiB;
    return QStringLiteral("a %1 x %2 picture needs %3 MiB for the morph (%4 bytes per pixel), %5 MiB are available")
        .arg(size.width())
        .arg(size.height())
        .arg(mib)
        .arg(CImage::kWorkingSetBytesPerPixel)
        .arg(available >> 20);
}

bool TooManyPixels(const QSize& size)
{
    return int64_t(size.width()) * size.height() > CImage::kMaxPixels;
}

QString TooManyPixelsText(const QSize& size)
{
    return QStringLiteral("a %1 x %2 picture has more than the %3 pixels a picture may have")
        .arg(size.width())
        .arg(size.height())
        .arg(CImage::kMaxPixels);
}

// Decodes through Qt, upright as the file's orientation says; kOk, or the
// failure with the reason.
CImage::EResult DecodeWithQt(QIODevice* source, int64_t available, QImage& image, QString& reason)
{
    if (!source) {
        reason = QStringLiteral("cannot read the file");
        return CImage::kDamaged;
    }
    QImageReader reader(source);
    reader.setAutoTransform(true);
    {
        const std::lock_guard<std::mutex> lock(s_loadMutex);
        // Qt's own limit, on the decoded bytes (at most 8 a pixel), follows
        // the same budget for formats whose header gives no size.
        if (available >= 0)
            QImageReader::setAllocationLimit(int(std::clamp<int64_t>(
                available / CImage::kWorkingSetBytesPerPixel * 8 >> 20, 1, std::numeric_limits<int>::max())));
        image = reader.read();
    }
    if (!image.isNull())
        return CImage::kOk;
    if (reader.error() == QImageReader::UnsupportedFormatError) {
        reason = QStringLiteral("not a picture in a format this program reads");
        return CImage::kNotPicture;
    }
    reason = QStringLiteral("the picture data cannot be decoded (%1)").arg(reader.errorString());
    return CImage::kDamaged;
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

void CImage::Swap(CImage& other) noexcept
{
    std::swap(m_pBuffer, other.m_pBuffer);
    std::swap(m_pBits, other.m_pBits);
    std::swap(m_nWidth, other.m_nWidth);
    std::swap(m_nHeight, other.m_nHeight);
    std::swap(m_nBPP, other.m_nBPP);
    std::swap(m_nPitch, other.m_nPitch);
    std::swap(m_bAlpha, other.m_bAlpha);
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

int CImage::LastErrno()
{
    return s_nLastErrno;
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QFileInfo::exists(path) ? file.errorString() : CAtomicFile::ErrorText(ENOENT);
        s_strLastError = error;
        return false;
    }
    QByteArray streamed;
    QBuffer stream(&streamed);
    if (file.isSequential()) {
        EResult code = kOk;
        if (!TakeStream(path, file, streamed, code, error) || !stream.open(QIODevice::ReadOnly)) {
            s_strLastError = error;
            return false;
        }
        KeepStream(path, streamed);
    }
    CImageFileRules rules(file.isSequential() ? static_cast<QIODevice&>(stream) : file);
    size = rules.DeclaredSize();
    if (size.isValid())
        return true;
    // A header cut short says so rather than that it is unreadable.
    const QString headerReason = rules.Reason();
    error = rules.Check() ? headerReason : rules.Reason();
    s_strLastError = error;
    return false;
}

CImage::EResult CImage::Load(const QString& path)
{
    if (!IsNull())
        return Failed(kBadRequest, QStringLiteral("the image object holds a picture already"));
    if (path.isEmpty())
        return Failed(kBadRequest, QStringLiteral("no file name"));
    try {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return Failed(kUnreadable, file.errorString(), OpenErrno(path));
        QByteArray streamed;
        QBuffer stream(&streamed);
        if (file.isSequential()) {
            EResult code = kOk;
            QString reason;
            if (!TakeStream(path, file, streamed, code, reason))
                return Failed(code, reason);
            if (!stream.open(QIODevice::ReadOnly))
                return Failed(kNoMemory, QStringLiteral("not enough memory"));
        }
        CImageFileRules rules(file.isSequential() ? static_cast<QIODevice&>(stream) : file);
        // Refuse from the header what could not be held, before decoding it.
        const QSize declared = rules.DeclaredSize();
        const int64_t available = CMemoryBudget::AvailableBytes();
        if (declared.isValid() && !WorkingSetFits(declared.width(), declared.height(), available))
            return Failed(kTooLarge, TooLargeText(declared, available));
        if (declared.isValid() && TooManyPixels(declared))
            return Failed(kTooManyPixels, TooManyPixelsText(declared));
        if (!rules.Check())
            return Failed(kDamaged, rules.Reason());
        QImage image;
        QString reason;
        const CImageFileRules::EDecoded own = rules.Decode(image);
        if (own == CImageFileRules::EDecoded::kFailed)
            return Failed(kDamaged, rules.Reason());
        if (own == CImageFileRules::EDecoded::kNotMine)
            if (const EResult decoded = DecodeWithQt(rules.Source(), available, image, reason); decoded != kOk)
                return Failed(decoded, reason);
        rules.Fix(image);
        return FromQImage(image) ? kOk : Failed(kNoMemory, QStringLiteral("not enough memory"));
    } catch (const std::bad_alloc&) {
        return Failed(kNoMemory, QStringLiteral("not enough memory"));
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

CImage::EResult CImage::Save(const QString& path, int quality) const
{
    if (IsNull())
        return Failed(kBadRequest, QStringLiteral("no picture"));
    try {
        const QImage image = ToQImage();
        if (image.isNull())
            return Failed(kNoMemory, QStringLiteral("not enough memory"));
        return SaveQImage(image, path, quality);
    } catch (const std::bad_alloc&) {
        return Failed(kNoMemory, QStringLiteral("not enough memory"));
    }
}

CImage::EResult CImage::SaveQImage(const QImage& image, const QString& path, int quality)
{
    if (image.isNull())
        return Failed(kBadRequest, QStringLiteral("no picture"));
    // The extension is the file name's part from its last dot on; a dot in a
    // folder name does not count.
    const QString fileName = QFileInfo(path).fileName();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return Failed(kNoEncoder, QStringLiteral("no extension to choose the format by"));
    const QByteArray format = fileName.mid(dot + 1).toLower().toUtf8();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format))
        return Failed(kNoEncoder, QStringLiteral("no encoder for .%1").arg(fileName.mid(dot + 1)));
    try {
        // Encoded in memory first, so the file is only touched with complete data.
        QByteArray data;
        QBuffer buffer(&data);
        if (!buffer.open(QIODevice::WriteOnly))
            return Failed(kNoMemory, QStringLiteral("not enough memory"));
        QImageWriter writer(&buffer, format);
        if (quality == kAutoQuality && (format == "jpg" || format == "jpeg"))
            quality = kJpegQuality;
        else if (quality == kAutoQuality && format == "png")
            quality = kPngQuality;
        writer.setQuality(quality);
        if (!writer.write(image))
            return Failed(kCannotHold, writer.errorString());
        buffer.close();
        if (!HoldsWholePicture(data, format, image.size()))
            return Failed(kCannotHold, QStringLiteral("the %1 format cannot hold a %2 x %3 picture")
                            .arg(QString::fromUtf8(format))
                            .arg(image.width())
                            .arg(image.height()));
        QString error;
        if (!CAtomicFile::Replace(path, data, error))
            return Failed(kWriteFailed, error);
        return kOk;
    } catch (const std::bad_alloc&) {
        return Failed(kNoMemory, QStringLiteral("not enough memory"));
    }
}
