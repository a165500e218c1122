#pragma once

#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

class CDC;

// The image object every picture of the program lives in: 24 bits per pixel,
// bytes blue-green-red, rows padded to 4 bytes and stored bottom-up, so the
// pitch is negative and pixel (x, y) starts at GetBits() + y * GetPitch() + 3x.
class CImage
{
public:
    CImage();
    virtual ~CImage();
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    // Creates an empty picture. bpp must be 24 and alpha false. Fails, returning
    // false and leaving the object empty, when the size is not positive, its
    // byte size does not fit in memory addresses or the memory cannot be had.
    // The object must not hold a picture already.
    bool Create(int32_t width, int32_t height, int32_t bpp = 24, bool alpha = false);
    void Destroy();

    bool IsNull() const { return !m_pBuffer; }
    int32_t GetWidth() const { return m_nWidth; }
    int32_t GetHeight() const { return m_nHeight; }
    int32_t GetBPP() const { return m_nBPP; }
    ptrdiff_t GetPitch() const { return m_nPitch; }
    uint8_t* GetBits() { return m_pBits; }
    const uint8_t* GetBits() const { return m_pBits; }
    bool HasAlpha() const { return m_bAlpha; }

    uint8_t* PixelAddress(int32_t x, int32_t y) { return m_pBits + y * m_nPitch + 3 * ptrdiff_t(x); }
    const uint8_t* PixelAddress(int32_t x, int32_t y) const { return m_pBits + y * m_nPitch + 3 * ptrdiff_t(x); }

    // Bytes from one row to the next, ((width * 24 + 31) / 32) * 4; 0 on overflow.
    static ptrdiff_t RowLength(int32_t width);

    // Lends a drawing surface over this picture. Requests are counted: a nested
    // request returns the same surface, which lives until the last release.
    CDC* GetDC();
    void ReleaseDC();

    // Decodes a file into this (empty) object as 24 bits per pixel at the file's
    // size; the colour bytes of a picture with alpha are kept and alpha dropped.
    // Returns 0 on success, a negative code on failure.
    int Load(const QString& path);

    // Encoder quality 0 … 100 as Qt's writers read it (for PNG: 0 smallest and
    // slowest, 100 fastest and largest). kAutoQuality takes kJpegQuality for
    // JPEG, kPngQuality for PNG and the encoder's own default for the rest.
    static constexpr int kAutoQuality = -1;
    static constexpr int kJpegQuality = 90;
    // zlib level 4: several times faster than the default level, files about as large.
    static constexpr int kPngQuality = 50;

    // Encodes the picture to path; the format follows the file name's extension,
    // compared without regard to case. The file is replaced atomically. Returns
    // 0 on success, a negative code on failure (no or unknown extension, write failure).
    int Save(const QString& path, int quality = kAutoQuality) const;
    // The same for a picture already taken out with ToQImage; safe to run on
    // another thread, so encoding can overlap the next frame's rendering.
    static int SaveQImage(const QImage& image, const QString& path, int quality = kAutoQuality);

    // A top-down copy for painting and encoding.
    QImage ToQImage() const;
    // Fills this (empty) object from any QImage, dropping alpha without blending.
    bool FromQImage(const QImage& image);

    // Count of living image objects that hold a picture, for leak checks.
    static int LiveCount();

private:
    std::unique_ptr<uint8_t[]> m_pBuffer;
    uint8_t* m_pBits = nullptr;
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
    int32_t m_nBPP = 0;
    ptrdiff_t m_nPitch = 0;
    bool m_bAlpha = false;
    std::unique_ptr<CDC> m_pLentDC;
    int m_nDCRefs = 0;
};
