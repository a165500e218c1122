#include "CImage.h"

#include "CDC.h"

#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

#if defined(Q_OS_WIN)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace {

std::atomic<int> s_nLiveImages{0};

struct FreeDeleter
{
    void operator()(void* p) const { std::free(p); }
};

// Physical memory in MiB, or 0 when the platform does not say.
qint64 PhysicalMemoryMiB()
{
#if defined(Q_OS_WIN)
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (GlobalMemoryStatusEx(&status))
        return qint64(status.ullTotalPhys / (1024 * 1024));
    return 0;
#elif defined(_SC_PHYS_PAGES) && defined(_SC_PAGESIZE)
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        return qint64(pages) / (1024 * 1024 / pageSize);
    return 0;
#else
    return 0;
#endif
}

// Qt refuses pictures above 128 MB of decoded data by default (about 32
// megapixels). Allow what a quarter of the machine's memory can hold, so
// large photos load while decompression bombs are still refused up front.
void RaiseAllocationLimitOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        qint64 limit = PhysicalMemoryMiB() / 4;
        if (limit < 1024)
            limit = 1024;
        if (limit > std::numeric_limits<int>::max())
            limit = std::numeric_limits<int>::max();
        QImageReader::setAllocationLimit(int(limit));
    });
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

int CImage::Load(const QString& path)
{
    if (!IsNull() || path.isEmpty())
        return -1;
    RaiseAllocationLimitOnce();
    try {
        QImageReader reader(path);
        // The stored pixels are what both pictures share: no EXIF rotation.
        reader.setAutoTransform(false);
        const QImage image = reader.read();
        if (image.isNull())
            return -1;
        return FromQImage(image) ? 0 : -1;
    } catch (const std::bad_alloc&) {
        return -1;
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
        return -1;
    try {
        return SaveQImage(ToQImage(), path, quality);
    } catch (const std::bad_alloc&) {
        return -5;
    }
}

int CImage::SaveQImage(const QImage& image, const QString& path, int quality)
{
    if (image.isNull())
        return -1;
    // The extension is the file name's part from its last dot on; a dot in a
    // folder name does not count.
    const QString fileName = QFileInfo(path).fileName();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return -1;
    const QByteArray format = fileName.mid(dot + 1).toLower().toLatin1();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format))
        return -1;
    try {
        // Written beside the final name and renamed over it only when complete,
        // so a failed write never leaves a truncated file behind.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return -2;
        QImageWriter writer(&file, format);
        if (quality == kAutoQuality && (format == "jpg" || format == "jpeg"))
            quality = kJpegQuality;
        else if (quality == kAutoQuality && format == "png")
            quality = kPngQuality;
        writer.setQuality(quality);
        if (!writer.write(image)) {
            file.cancelWriting();
            return -3;
        }
        return file.commit() ? 0 : -4;
    } catch (const std::bad_alloc&) {
        return -5;
    }
}
