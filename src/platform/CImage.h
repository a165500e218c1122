#pragma once

#include "platform/CSequenceWriter.h"

#include <QImage>
#include <QSize>
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
    // What Load, Save and SaveQImage report: 0 on success, negative on
    // failure (the reason in English in LastError).
    enum EResult : int
    {
        kOk = 0,
        kBadRequest = -1,  // no file name, no picture, or an object that holds one already
        kUnreadable = -2,  // the file cannot be opened
        kTooLarge = -3,    // its morph would not fit in the memory available
        kDamaged = -4,     // its data is cut short or cannot be decoded
        kNoEncoder = -5,   // no extension, or none an encoder claims
        kCannotHold = -6,  // the format cannot hold the picture
        kWriteFailed = -7, // a step of writing the file failed
        kNoMemory = -8,
        kTooManyPixels = -9, // more pixels than kMaxPixels
        kNotPicture = -10    // not a picture in a format this program reads
    };

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
    // Exchanges the pictures of two objects without copying them. Neither may
    // have a drawing surface lent out (GetDC) at the time.
    void Swap(CImage& other) noexcept;

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

    // Decodes a file into this (empty) object as 24 bits per pixel, upright as
    // its EXIF orientation says; the stored colour bytes are kept (also those
    // of transparent pixels) and alpha dropped. A picture whose morph would
    // not fit in the memory available now (WorkingSetFits) is refused from
    // its header, before decoding, and so is one of more than kMaxPixels; a
    // file whose pixel data ends early is refused. The file rules are CImageFileRules'.
    EResult Load(const QString& path);

    // Encoder quality 0 … 100 as Qt's writers read it (for PNG: 0 smallest and
    // slowest, 100 fastest and largest). kAutoQuality takes kJpegQuality for
    // JPEG, kPngQuality for PNG and the encoder's own default for the rest.
    static constexpr int kAutoQuality = -1;
    static constexpr int kJpegQuality = 90;
    // zlib level 4: several times faster than the default level, files about as large.
    static constexpr int kPngQuality = 50;

    // Most pixels a picture may have, whatever memory is free (16384 x 16384):
    // a header may declare any size, and no morph of more is of use.
    static constexpr int64_t kMaxPixels = int64_t(1) << 28;

    // The upright picture size a file's header declares, without decoding the pixels.
    static bool ReadSize(const QString& path, QSize& size, QString& error);

    // What a morph holds at its peak, in bytes per picture pixel: an export
    // from page 131 with the preview's and the drafts' pictures still kept.
    // Every part is 24-bit pictures of at most the pictures' size.
    struct SWorkingSet
    {
        static constexpr int64_t kPicture = 3;
        // The source and the target.
        static constexpr int64_t kInputs = 2 * kPicture;
        // The canvas the triangles are warped into.
        static constexpr int64_t kCanvas = kPicture;
        // The frame on show and the frame an export renders into.
        static constexpr int64_t kFrames = 2 * kPicture;
        // The preview: the worker's picture and the finished frame
        // (CPreviewRenderer), the page's picture a frame is taken into, which
        // keeps the frame shown before, and the draft or part on show.
        static constexpr int64_t kPreview = 4 * kPicture;
        // The drafts (CDraftRenderer): both pictures shrunk, the frame before
        // its last shrink and its canvas, all of full size for a scale above 1/2.
        static constexpr int64_t kDrafts = 4 * kPicture;
        // The frames in flight to the encoders (a video's one frame buffer is less).
        static constexpr int64_t kEncoders =
            CSequenceWriter::kMaxDefaultJobs * CSequenceWriter::kBytesPerPixelPerJob;
    };
    static constexpr int64_t kWorkingSetBytesPerPixel = SWorkingSet::kInputs + SWorkingSet::kCanvas
                                                        + SWorkingSet::kFrames + SWorkingSet::kPreview
                                                        + SWorkingSet::kDrafts + SWorkingSet::kEncoders;
    // Whether a morph of width × height pictures fits in availableBytes
    // (a negative value means unknown, and then anything fits).
    static bool WorkingSetFits(int64_t width, int64_t height, int64_t availableBytes);

    // Encodes the picture to path; the format follows the file name's extension,
    // compared without regard to case. The file is replaced through
    // CAtomicFile: on any failure the old file stays as it was and no
    // temporary file is left. A format that cannot hold the picture at its
    // size fails.
    EResult Save(const QString& path, int quality = kAutoQuality) const;
    // The same for a picture already taken out with ToQImage; safe to run on
    // another thread, so encoding can overlap the next frame's rendering.
    static EResult SaveQImage(const QImage& image, const QString& path, int quality = kAutoQuality);

    // Why the last Load, ReadSize, Save or SaveQImage on this thread failed, in
    // English, e.g. "No space left on device".
    static QString LastError();
    // The error number of the last failure on this thread where the system
    // gave one (a file that cannot be opened), else 0.
    static int LastErrno();

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
