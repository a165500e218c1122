#include "DataTable.h"
#include "document/CBmpDC.h"
#include "document/LoadImageFile.h"
#include "FailingStep.h"
#include "HandMadeFiles.h"
#include "MessageRecorder.h"
#include "platform/CAtomicFile.h"
#include "platform/CExportPath.h"
#include "platform/CImage.h"
#include "platform/CMemoryBudget.h"
#include "platform/CMessageBox.h"
#include "TestFiles.h"
#include "TestImages.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <sys/sysmacros.h>
#endif

namespace {

// The three bytes of pixel (x, y) as 0xRRGGBB.
uint32_t Pixel(const CImage& img, int x, int y)
{
    const uint8_t* p = img.PixelAddress(x, y);
    return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

void FillAll(CImage& img, uint32_t rgb)
{
    for (int y = 0; y < img.GetHeight(); ++y)
        for (int x = 0; x < img.GetWidth(); ++x) {
            uint8_t* p = img.PixelAddress(x, y);
            p[0] = uint8_t(rgb);
            p[1] = uint8_t(rgb >> 8);
            p[2] = uint8_t(rgb >> 16);
        }
}

QByteArray Encoded(const QImage& image, const char* format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return data;
}

#if defined(Q_OS_UNIX)
// Caps the size of files this process writes while alive, as a nearly full
// disk would; writes past it fail with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_DFL;
};
#endif

} // namespace

class TestImage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void layout_data()
    {
        Columns<int, int>({"width", "rowLength"});
        QTest::newRow("1") << 1 << 4;
        QTest::newRow("4") << 4 << 12;
        QTest::newRow("5") << 5 << 16;
        QTest::newRow("640") << 640 << 1920;
        QTest::newRow("641") << 641 << 1924;
    }
    void layout()
    {
        QFETCH(int, width);
        QFETCH(int, rowLength);
        CImage img;
        QVERIFY(img.Create(width, 3));
        QCOMPARE(img.GetBPP(), 24);
        QVERIFY(!img.HasAlpha());
        QCOMPARE(img.GetPitch(), -ptrdiff_t(rowLength));
        QCOMPARE(CImage::RowLength(width), ptrdiff_t(rowLength));
        // Bottom-up: the top row lies last in the buffer.
        QCOMPARE(img.PixelAddress(width - 1, 0) - img.GetBits(), ptrdiff_t(3 * (width - 1)));
        QCOMPARE(img.PixelAddress(0, 1) - img.GetBits(), -ptrdiff_t(rowLength));
        QCOMPARE(img.PixelAddress(0, 2) - img.GetBits(), -2 * ptrdiff_t(rowLength));
    }

    void createRefusesBadSizes_data()
    {
        Columns<int, int>({"width", "height"});
        QTest::newRow("zero width") << 0 << 10;
        QTest::newRow("zero height") << 10 << 0;
        QTest::newRow("negative") << -5 << 10;
        QTest::newRow("too large to hold") << INT32_MAX << INT32_MAX;
    }
    void createRefusesBadSizes()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        CImage img;
        QVERIFY(!img.Create(width, height));
        QVERIFY(img.IsNull());
        QCOMPARE(img.GetWidth(), 0);
        QVERIFY(img.Create(2, 2)); // still usable afterwards
    }

    void fillsSetEveryByte_data()
    {
        Columns<uint, uint>({"color", "rgb"});
        QTest::newRow("white") << 0xFFFFFFu << 0xFFFFFFu;
        QTest::newRow("black") << 0u << 0u;
        QTest::newRow("red in the low byte") << uint(RGB(255, 0, 0)) << 0xFF0000u;
        QTest::newRow("mixed") << uint(RGB(1, 2, 3)) << 0x010203u;
    }
    void fillsSetEveryByte()
    {
        QFETCH(uint, color);
        QFETCH(uint, rgb);
        CImage img;
        QVERIFY(img.Create(5, 4));
        FillAll(img, 0x123456);
        {
            CBmpDC dc(img);
            dc.FillSolidRect(0, 0, 5, 4, color);
        }
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                QCOMPARE(Pixel(img, x, y), rgb);
    }

    void surfaceReopens()
    {
        CImage img;
        QVERIFY(img.Create(3, 3));
        {
            CBmpDC dc(img);
            dc.FillSolidRect(CRect(1, 1, 2, 2), RGB(9, 8, 7));
        }
        QCOMPARE(Pixel(img, 1, 1), 0x090807u);
        QCOMPARE(Pixel(img, 0, 0), 0u);
        {
            CBmpDC dc(img);
            dc.FillSolidRect(0, 0, 1, 1, RGB(1, 1, 1));
        }
        QCOMPARE(Pixel(img, 1, 1), 0x090807u);
        QCOMPARE(Pixel(img, 0, 0), 0x010101u);
    }

    void lentSurfaceIsCounted()
    {
        CImage img;
        QVERIFY(img.Create(2, 2));
        CDC* first = img.GetDC();
        CDC* nested = img.GetDC();
        QCOMPARE(first, nested);
        img.ReleaseDC();
        QCOMPARE(first->GetImage(), &img); // still selected until the last release
        img.ReleaseDC();
    }

    void fillClipsAndNormalises()
    {
        CImage img;
        QVERIFY(img.Create(4, 4));
        CBmpDC dc(img);
        dc.FillSolidRect(3, 3, -2, -2, 0xFFFFFF); // covers (1..2, 1..2)
        dc.FillSolidRect(INT32_MIN, INT32_MIN, INT32_MAX, 1, 0x0000FF); // far away: nothing
        dc.FillSolidRect(-10, 3, 100, 100, RGB(0, 255, 0));
        QCOMPARE(Pixel(img, 0, 0), 0u);
        QCOMPARE(Pixel(img, 1, 1), 0xFFFFFFu);
        QCOMPARE(Pixel(img, 2, 2), 0xFFFFFFu);
        QCOMPARE(Pixel(img, 3, 2), 0u);
        for (int x = 0; x < 4; ++x)
            QCOMPARE(Pixel(img, x, 3), 0x00FF00u);
    }

    // A 4 × 3 source copied to every side of a 5 × 4 destination: only the
    // overlapping part lands, at the right place.
    void copyClipsAtEveryEdge_data()
    {
        Columns<int, int, int, int>({"dx", "dy", "sx", "sy"});
        QTest::newRow("inside") << 1 << 1 << 0 << 0;
        QTest::newRow("left") << -2 << 0 << 0 << 0;
        QTest::newRow("top") << 0 << -2 << 0 << 0;
        QTest::newRow("right") << 3 << 0 << 0 << 0;
        QTest::newRow("bottom") << 0 << 3 << 0 << 0;
        QTest::newRow("source offset negative") << 0 << 0 << -1 << -1;
        QTest::newRow("source offset beyond") << 0 << 0 << 3 << 2;
        QTest::newRow("far away") << INT32_MAX << INT32_MIN << 0 << 0;
        QTest::newRow("source far away") << 0 << 0 << INT32_MIN << INT32_MAX;
    }
    void copyClipsAtEveryEdge()
    {
        QFETCH(int, dx);
        QFETCH(int, dy);
        QFETCH(int, sx);
        QFETCH(int, sy);
        auto src = TestImages::Pattern(4, 3);
        CImage dst;
        QVERIFY(dst.Create(5, 4));
        FillAll(dst, 0xABCDEF);
        {
            CBmpDC d(dst), s(*src);
            d.BitBlt(dx, dy, 4, 3, s, sx, sy);
        }
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const int64_t srcX = int64_t(x) - dx + sx, srcY = int64_t(y) - dy + sy;
                const bool inBlock = int64_t(x) - dx >= 0 && int64_t(x) - dx < 4 && int64_t(y) - dy >= 0
                    && int64_t(y) - dy < 3;
                const bool inSource = srcX >= 0 && srcX < 4 && srcY >= 0 && srcY < 3;
                const uint32_t want = inBlock && inSource ? Pixel(*src, int(srcX), int(srcY)) : 0xABCDEFu;
                QCOMPARE(Pixel(dst, x, y), want);
            }
    }

    void copyWithinOnePicture()
    {
        auto img = TestImages::Pattern(6, 6);
        auto ref = TestImages::Pattern(6, 6);
        {
            CBmpDC dc(*img);
            dc.BitBlt(1, 2, 5, 4, dc, 0, 0); // overlapping, moving down-right
        }
        for (int y = 2; y < 6; ++y)
            for (int x = 1; x < 6; ++x)
                QCOMPARE(Pixel(*img, x, y), Pixel(*ref, x - 1, y - 2));
    }

    void blendRounds_data()
    {
        Columns<int, int, int, int>({"canvas", "out", "alpha", "result"});
        QTest::newRow("alpha 0 keeps output") << 200 << 10 << 0 << 10;
        QTest::newRow("alpha 255 takes canvas") << 200 << 10 << 255 << 200;
        QTest::newRow("half") << 255 << 0 << 127 << 127;   // (255*127 + 127) / 255 = 127.49 → 127
        QTest::newRow("rounds up") << 1 << 0 << 128 << 1;  // (128 + 127) / 255 = 1
        QTest::newRow("rounds down") << 1 << 0 << 127 << 0; // (127 + 127) / 255 = 0
        QTest::newRow("mix") << 100 << 200 << 254 << 100;  // (25400 + 200 + 127) / 255 = 100.4
    }
    void blendRounds()
    {
        QFETCH(int, canvas);
        QFETCH(int, out);
        QFETCH(int, alpha);
        QFETCH(int, result);
        CImage a, b;
        QVERIFY(a.Create(3, 2));
        QVERIFY(b.Create(3, 2));
        FillAll(a, uint32_t(canvas) * 0x010101u);
        FillAll(b, uint32_t(out) * 0x010101u);
        {
            CBmpDC d(b), s(a);
            d.AlphaBlend(0, 0, 3, 2, s, 0, 0, uint8_t(alpha));
        }
        QCOMPARE(Pixel(b, 2, 1), uint32_t(result) * 0x010101u);
        QCOMPARE(Pixel(b, 0, 0), uint32_t(result) * 0x010101u);
    }

    void shrinkAverages()
    {
        // A 4 × 2 picture of black and white columns shrinks to 2 × 1 grey.
        CImage src, dst;
        QVERIFY(src.Create(4, 2));
        QVERIFY(dst.Create(3, 1));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                std::memset(src.PixelAddress(x, y), (x % 2) ? 255 : 0, 3);
        {
            CBmpDC d(dst), s(src);
            d.StretchBltAveraged(CRect(1, 0, 3, 1), s, CRect(0, 0, 4, 2));
        }
        QCOMPARE(Pixel(dst, 0, 0), 0u); // outside the target rectangle
        QCOMPARE(Pixel(dst, 1, 0), 0x808080u);
        QCOMPARE(Pixel(dst, 2, 0), 0x808080u);

        // Three columns onto two: the middle column is shared half and half.
        CImage row, two;
        QVERIFY(row.Create(3, 1));
        QVERIFY(two.Create(2, 1));
        std::memset(row.PixelAddress(0, 0), 0, 3);
        std::memset(row.PixelAddress(1, 0), 90, 3);
        std::memset(row.PixelAddress(2, 0), 240, 3);
        {
            CBmpDC d(two), s(row);
            d.StretchBltAveraged(CRect(0, 0, 2, 1), s, CRect(0, 0, 3, 1));
        }
        QCOMPARE(Pixel(two, 0, 0), 0x1E1E1Eu); // (0 + 45) / 1.5 = 30
        QCOMPARE(Pixel(two, 1, 0), 0xBEBEBEu); // (45 + 240) / 1.5 = 190
    }

    void draw3dRect()
    {
        CImage img;
        QVERIFY(img.Create(5, 5));
        {
            CBmpDC dc(img);
            dc.Draw3dRect(0, 0, 4, 4, RGB(255, 255, 255), RGB(128, 128, 128));
        }
        const char* want[] = {"WWWG.", "W..G.", "W..G.", "GGGG.", "....."};
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 5; ++x) {
                const uint32_t p = Pixel(img, x, y);
                const char c = p == 0xFFFFFF ? 'W' : (p == 0x808080 ? 'G' : '.');
                QCOMPARE(c, want[y][x]);
            }
    }

    // Every depth a file may come in arrives as 24 bits at the file's size with its colours.
    void loadsAnyDepth_data()
    {
        Columns<int, QByteArray>({"format", "codec"});
        QTest::newRow("8-bit palette png") << int(QImage::Format_Indexed8) << QByteArray("png");
        QTest::newRow("8-bit palette bmp") << int(QImage::Format_Indexed8) << QByteArray("bmp");
        QTest::newRow("1-bit bmp") << int(QImage::Format_Mono) << QByteArray("bmp");
        QTest::newRow("grey png") << int(QImage::Format_Grayscale8) << QByteArray("png");
        QTest::newRow("16-bit grey png") << int(QImage::Format_Grayscale16) << QByteArray("png");
        QTest::newRow("24-bit bmp") << int(QImage::Format_RGB888) << QByteArray("bmp");
        QTest::newRow("32-bit png") << int(QImage::Format_RGB32) << QByteArray("png");
        QTest::newRow("16 bits per channel png") << int(QImage::Format_RGBX64) << QByteArray("png");
    }
    void loadsAnyDepth()
    {
        QFETCH(int, format);
        QFETCH(QByteArray, codec);
        QImage q(7, 5, QImage::Format_RGB32);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                q.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        const QImage converted = q.convertToFormat(QImage::Format(format));
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + "." + codec);
        QVERIFY(converted.save(path, codec.constData()));
        MessageRecorder rec;
        auto img = LoadImageFile(path);
        QVERIFY(img);
        QVERIFY(rec.boxes.isEmpty());
        QCOMPARE(img->GetWidth(), 7);
        QCOMPARE(img->GetHeight(), 5);
        QCOMPARE(img->GetBPP(), 24);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                QCOMPARE(Pixel(*img, x, y), (x + y) % 2 ? 0xFFFFFFu : 0u);
    }

    void alphaDroppedColourKept()
    {
        QImage q(3, 1, QImage::Format_ARGB32);
        q.setPixel(0, 0, qRgba(10, 20, 30, 0));   // fully transparent, colour stored
        q.setPixel(1, 0, qRgba(200, 100, 50, 128));
        q.setPixel(2, 0, qRgba(1, 2, 3, 255));
        const QString path = m_dir.filePath("alpha.png");
        QVERIFY(q.save(path, "png"));
        MessageRecorder rec;
        auto img = LoadImageFile(path);
        QVERIFY(img);
        QVERIFY(!img->HasAlpha());
        QCOMPARE(Pixel(*img, 0, 0), 0x0A141Eu);
        QCOMPARE(Pixel(*img, 1, 0), 0xC86432u);
        QCOMPARE(Pixel(*img, 2, 0), 0x010203u);
    }

    void loadsPicturesAboveQtsDefaultLimit()
    {
        // 6000 × 6000 is 36 megapixels, over the 128 MB Qt refuses by default.
        QImage q(6000, 6000, QImage::Format_RGB32);
        q.fill(qRgb(12, 34, 56));
        q.setPixel(5999, 5999, qRgb(1, 2, 3));
        const QString path = m_dir.filePath("large.png");
        QVERIFY(q.save(path, "png", 0));
        MessageRecorder rec;
        auto img = LoadImageFile(path);
        QVERIFY(img);
        QCOMPARE(img->GetWidth(), 6000);
        QCOMPARE(Pixel(*img, 5999, 5999), 0x010203u);
        QCOMPARE(Pixel(*img, 0, 0), 0x0C2238u);
        QFile::remove(path);
    }

    // Every load failure names the file and gives the reason in Japanese.
    void loadFailures_data()
    {
        Columns<QString, QByteArray, QString>({"name", "content", "reason"});
        const QString damaged = QStringLiteral("画像のデータが壊れているか、途中で切れています。");
        QTest::newRow("missing") << "missing.png" << QByteArray() << kNoSuchFile;
        QTest::newRow("text with png extension") << "text.png" << QByteArray("not a picture\n") << kNotAPicture;
        QTest::newRow("empty file") << "empty.bmp" << QByteArray("") << kNotAPicture;
        QTest::newRow("unknown format") << "data.xyz" << QByteArray("\x01\x02\x03\x04", 4) << kNotAPicture;
        QTest::newRow("decompression bomb") << "bomb.png" << HandMade::PngHeaderOnly(100000, 100000) << damaged;
        QTest::newRow("truncated png") << "cut.png" << HandMade::PngHeaderOnly(64, 64) << damaged;
        QTest::newRow("RLE bomb") << "rle.bmp" << HandMade::Bmp(8, 16777220, 4, 2, {0}, QByteArray("\x00\x01", 2))
                                  << damaged;
        QTest::newRow("unreadable") << "locked.png" << QByteArray("x") << QStringLiteral("このファイルを読む権限がありません。");
        QTest::newRow("a folder") << "folder.png" << QByteArray() << QStringLiteral("フォルダは読み込めません。");
        QTest::newRow("empty path") << "" << QByteArray() << QStringLiteral("ファイル名がありません。");
    }
    void loadFailures()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        QString path;
        if (!name.isEmpty()) {
            path = m_dir.filePath(name);
            if (name == "folder.png") {
                QVERIFY(QDir().mkpath(path));
            } else if (name != "missing.png") {
                QFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(content);
            }
        }
        if (name == "locked.png") {
            QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
            if (::geteuid() == 0)
                QSKIP("root reads any file");
        }
        const int live = CImage::LiveCount();
        MessageRecorder rec;
        QVERIFY(!LoadImageFile(path));
        QCOMPARE(rec.texts(), QStringList{LoadFailedMessage(path, reason)});
        QCOMPARE(rec.boxes[0].type, unsigned(MB_OK | MB_ICONEXCLAMATION));
        QCOMPARE(CImage::LiveCount(), live);
    }


    // 5- and 6-bit channels spread to the whole 0 … 255; transparent pixels of a
    // TIFF with unassociated alpha and of PNGs with a colour key keep their colour.
    void loadsStoredColours_data()
    {
        Columns<QByteArray, QString, QList<uint>>({"content", "extension", "pixels"});
        QTest::newRow("16-bit BMP 565") << HandMade::Bmp16(4, 1, {0xFFFF, 0xF800, 0x0400, 0x0001}, true) << "bmp"
                                        << QList<uint>{0xFFFFFF, 0xFF0000, 0x008200, 0x000008};
        QTest::newRow("16-bit BMP 555") << HandMade::Bmp16(4, 1, {0x7FFF, 0x7C00, 0x0200, 0x0001}, false) << "bmp"
                                        << QList<uint>{0xFFFFFF, 0xFF0000, 0x008400, 0x000008};
        QImage alpha(3, 1, QImage::Format_ARGB32);
        alpha.setPixel(0, 0, qRgba(255, 0, 0, 0));
        alpha.setPixel(1, 0, qRgba(200, 100, 50, 128));
        alpha.setPixel(2, 0, qRgba(1, 2, 3, 255));
        QTest::newRow("TIFF unassociated alpha") << Encoded(alpha, "tiff") << "tif"
                                                 << QList<uint>{0xFF0000, 0xC86432, 0x010203};
        // 4-bit grey 5, 15, 0, 10 (×17), grey 5 transparent.
        QTest::newRow("PNG 4-bit grey colour key")
            << HandMade::Png(4, 1, 4, 0, QByteArray("\x00\x5F\x0A", 3), HandMade::PngChunk("tRNS", QByteArray("\x00\x05", 2)))
            << "png" << QList<uint>{0x555555, 0xFFFFFF, 0x000000, 0xAAAAAA};
        QTest::newRow("PNG 8-bit RGB colour key")
            << HandMade::Png(2, 1, 8, 2, QByteArray("\x00\x0A\x14\x1E\x01\x02\x03", 7),
                             HandMade::PngChunk("tRNS", QByteArray("\x00\x0A\x00\x14\x00\x1E", 6)))
            << "png" << QList<uint>{0x0A141E, 0x010203};
        // RLE pixels the stream skips (a delta, an early end) are colour 0; two
        // rows, the top one (checked) left to the skip.
        const QList<quint32> palette{0x102030, 0xFF0000, 0x00FF00};
        QTest::newRow("RLE8 ends early") << HandMade::Bmp(4, 2, 8, 1, palette, QByteArray("\x04\x01\x00\x01", 4))
                                         << "bmp" << QList<uint>{0x102030, 0x102030, 0x102030, 0x102030};
        QTest::newRow("RLE8 delta") << HandMade::Bmp(4, 2, 8, 1, palette, QByteArray("\x01\x01\x00\x02\x01\x01\x02\x02\x00\x01", 10))
                                    << "bmp" << QList<uint>{0x102030, 0x102030, 0x00FF00, 0x00FF00};
        QTest::newRow("RLE4 ends early") << HandMade::Bmp(3, 2, 4, 2, palette, QByteArray("\x03\x12\x00\x01", 4))
                                         << "bmp" << QList<uint>{0x102030, 0x102030, 0x102030};
        QTest::newRow("RLE4 absolute run") << HandMade::Bmp(3, 1, 4, 2, palette, QByteArray("\x00\x03\x12\x00\x00\x01", 6))
                                           << "bmp" << QList<uint>{0xFF0000, 0x00FF00, 0x102030};
        QByteArray wide;
        HandMade::AppendLe(wide, (1023u << 20) | (512u << 10) | 1u, 4);
        HandMade::AppendLe(wide, 0xC0000000u | (1023u << 10) | 1023u, 4);
        QTest::newRow("32-bit BMP 10-10-10-2") << HandMade::Bmp(2, 1, 32, 3, {}, wide, {0x3FF00000, 0xFFC00, 0x3FF})
                                               << "bmp" << QList<uint>{0xFF8000, 0x00FFFF};
        QTest::newRow("top-down 8-bit BMP") << HandMade::Bmp(2, -2, 8, 0, palette, QByteArray("\x01\x02\x00\x00\x00\x00\x00\x00", 8))
                                            << "bmp" << QList<uint>{0xFF0000, 0x00FF00};
        QTest::newRow("top-down 24-bit BMP") << HandMade::Bmp(2, -2, 24, 0, {}, QByteArray("\x03\x02\x01\x06\x05\x04", 6) + QByteArray(10, '\0'))
                                             << "bmp" << QList<uint>{0x010203, 0x040506};
        QTest::newRow("top-down 32-bit BMP") << HandMade::Bmp(1, -2, 32, 0, {}, QByteArray("\x03\x02\x01\x00\x00\x00\x00\x00", 8))
                                             << "bmp" << QList<uint>{0x010203};
        // Turned upright: orientation 6 puts the left (white) half on top, 8 the right (black) one.
        QImage halves(16, 8, QImage::Format_RGB32);
        halves.fill(qRgb(0, 0, 0));
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                halves.setPixel(x, y, qRgb(255, 255, 255));
        const QByteArray jpeg = Encoded(halves, "jpg");
        QTest::newRow("EXIF orientation 6") << HandMade::JpegWithOrientation(jpeg, 6) << "jpg" << QList<uint>(8, 0xFFFFFF);
        QTest::newRow("EXIF orientation 8") << HandMade::JpegWithOrientation(jpeg, 8) << "jpg" << QList<uint>(8, 0);
        QTest::newRow("PNG 16-bit RGB colour key")
            << HandMade::Png(2, 1, 16, 2, QByteArray("\x00\xFF\xFF\x00\x00\x00\x00\x80\x80\x00\x00\xFF\xFF", 13),
                             HandMade::PngChunk("tRNS", QByteArray("\xFF\xFF\x00\x00\x00\x00", 6)))
            << "png" << QList<uint>{0xFF0000, 0x8000FF};
    }
    void loadsStoredColours()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, extension);
        QFETCH(QList<uint>, pixels);
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + "." + extension);
        QVERIFY(WriteAll(path, content));
        CImage img;
        QVERIFY2(img.Load(path) == 0, qPrintable(CImage::LastError()));
        QCOMPARE(img.GetWidth(), int(pixels.size()));
        for (int x = 0; x < pixels.size(); ++x)
            QCOMPARE(Pixel(img, x, 0), pixels[x]);
        // The header's size is the loaded one.
        QSize size;
        QString error;
        QVERIFY2(CImage::ReadSize(path, size, error), qPrintable(error));
        QCOMPARE(size, QSize(img.GetWidth(), img.GetHeight()));
    }

    // A file whose data ends early is a load failure with its reason, not black
    // rows; so is one that holds no picture or no size.
    void truncatedFiles_data()
    {
        Columns<QByteArray, QString, QString>({"content", "extension", "reason"});
        QImage q(64, 64, QImage::Format_RGB32);
        q.fill(qRgb(200, 100, 50));
        const QByteArray bmp = Encoded(q, "bmp");
        QByteArray indices(64 * 64, '\0');
        for (int i = 0; i < indices.size(); ++i)
            indices[i] = char(i % 3);
        const QByteArray gif = HandMade::Gif(64, 64, {0xFF0000, 0x00FF00, 0x0000FF}, indices);
        const QByteArray bmp16 = HandMade::Bmp16(8, 8, QList<quint16>(64, 0x1234), true);
        const QByteArray rle = HandMade::Bmp(4, 2, 8, 1, {0}, QByteArray("\x04\x01\x00\x00\x04\x01\x00\x01", 8), {}, 0);
        QImage noise(64, 64, QImage::Format_RGB32);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                noise.setPixel(x, y, qRgb(x * 37 % 256, y * 91 % 256, (x * y) % 256));
        const QByteArray jpeg = Encoded(noise, "jpg");
        QTest::newRow("whole RLE8 BMP") << rle << "bmp" << "";
        QTest::newRow("RLE8 BMP cut, no image size") << rle.left(rle.size() - 3) << "bmp" << "ends before";
        QTest::newRow("whole JPEG") << jpeg << "jpg" << "";
        QTest::newRow("JPEG cut in half") << jpeg.left(jpeg.size() / 2) << "jpg"
                                          << "the file ends before its picture data";
        QTest::newRow("JPEG cut in its header") << jpeg.left(200) << "bmp" << "the file ends before its picture data";
        QTest::newRow("whole BMP") << bmp << "bmp" << "";
        QTest::newRow("BMP cut to half") << bmp.left(bmp.size() / 2) << "bmp" << "the file ends before its pixel data";
        QTest::newRow("BMP one byte short") << bmp.left(bmp.size() - 1) << "bmp" << "ends before";
        QTest::newRow("whole 16-bit BMP") << bmp16 << "bmp" << "";
        QTest::newRow("16-bit BMP cut") << bmp16.left(bmp16.size() - 4) << "bmp" << "ends before";
        QTest::newRow("whole GIF") << gif << "gif" << "";
        QTest::newRow("GIF without trailer") << gif.left(gif.size() - 1) << "gif" << "";
        QTest::newRow("GIF cut to half") << gif.left(gif.size() / 2) << "gif" << "ends before";
        QTest::newRow("GIF cut before its last block ends") << gif.left(gif.size() - 3) << "gif" << "ends before";
        QTest::newRow("GIF cut in its colour table") << gif.left(100) << "gif" << "ends before";
        QTest::newRow("text") << QByteArray("not a picture\n") << "bmp"
                              << "not a picture in a format this program reads";
        QTest::newRow("PNG without picture data") << HandMade::PngHeaderOnly(48, 36) << "bmp"
                                                  << "the header does not give the picture's size";
        // Headers that declare more pixels than their data can hold or any picture may have.
        const QList<quint32> grey16{0, 0x111111, 0x222222, 0x333333, 0x444444, 0x555555, 0x666666, 0x777777,
                                    0x888888, 0x999999, 0xAAAAAA, 0xBBBBBB, 0xCCCCCC, 0xDDDDDD, 0xEEEEEE, 0xFFFFFF};
        QTest::newRow("RLE4 of 8 x 16777220 that ends at once")
            << HandMade::Bmp(8, 16777220, 4, 2, grey16, QByteArray("\x00\x01", 2)) << "bmp"
            << "the RLE data (2 bytes) can code at most 255 pixels, the header declares 134217760";
        const QByteArray twoRuns("\xFF\x00\xFF\x00\x00\x01", 6);
        QTest::newRow("RLE8 one pixel more than its bytes code")
            << HandMade::Bmp(766, 1, 8, 1, {0}, twoRuns) << "bmp" << "can code at most 765 pixels";
        QTest::newRow("RLE8 filled by its runs") << HandMade::Bmp(510, 1, 8, 1, {0}, twoRuns) << "bmp" << "";
        QTest::newRow("BMP of 16385 x 16384")
            << HandMade::Bmp(16385, 16384, 24, 0, {}, QByteArray(64, '\0')) << "bmp"
            << "a 16385 x 16384 picture"; // more pixels than any picture may have, or than memory holds
    }
    void truncatedFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, extension);
        QFETCH(QString, reason);
        const bool loads = reason.isEmpty();
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + "." + extension);
        QVERIFY(WriteAll(path, content));
        CImage img;
        QCOMPARE(img.Load(path) == 0, loads);
        if (loads && extension == "gif") {
            QCOMPARE(Pixel(img, 0, 0), 0xFF0000u);
            QCOMPARE(Pixel(img, 63, 63), uint(QList<uint>{0xFF0000, 0x00FF00, 0x0000FF}[(64 * 64 - 1) % 3]));
        }
        if (!loads) {
            // The reason a program gives: the header's refusal, read first, else the decoder's.
            const QString loadError = CImage::LastError();
            QSize size;
            QString headerError;
            const QString why = CImage::ReadSize(path, size, headerError) ? loadError : headerError;
            QVERIFY2(why.contains(reason), qPrintable(why));
        }
    }

    void workingSetRule_data()
    {
        Columns<qint64, qint64, qint64, bool>({"width", "height", "available", "fits"});
        const qint64 gib = qint64(1) << 30;
        QTest::newRow("exactly enough") << qint64(1000) << qint64(500) << qint64(1000 * 500 * 48) << true;
        QTest::newRow("one byte short") << qint64(1000) << qint64(500) << qint64(1000 * 500 * 48 - 1) << false;
        QTest::newRow("unknown memory") << qint64(30000) << qint64(30000) << qint64(-1) << true;
        QTest::newRow("30000 square under 8 GiB") << qint64(30000) << qint64(30000) << 8 * gib << false;
        QTest::newRow("6000 square under 8 GiB") << qint64(6000) << qint64(6000) << 8 * gib << true;
        QTest::newRow("largest sizes") << qint64(INT32_MAX) << qint64(INT32_MAX) << qint64(INT64_MAX) << false;
        QTest::newRow("empty") << qint64(0) << qint64(10) << 8 * gib << false;
    }
    void workingSetRule()
    {
        QFETCH(qint64, width);
        QFETCH(qint64, height);
        QFETCH(qint64, available);
        QFETCH(bool, fits);
        QCOMPARE(CImage::WorkingSetFits(width, height, available), fits);
    }

    // A small file declaring 30000 × 30000 is refused from its header, quickly.
    void bombRefusedFromHeader()
    {
        if (CImage::WorkingSetFits(30000, 30000, CMemoryBudget::AvailableBytes()))
            QSKIP("this machine could hold the morph of a 30000 x 30000 picture");
        const QString path = m_dir.filePath("bomb30000.png");
        QVERIFY(WriteAll(path, HandMade::PngBomb(30000)));
        QElapsedTimer timer;
        timer.start();
        MessageRecorder rec;
        QVERIFY(!LoadImageFile(path));
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(rec.texts(), QStringList{LoadFailedMessage(path, QStringLiteral("画像が大きすぎて、今空いているメモリでは扱えません。"))});
        QVERIFY2(CImage::LastError().contains("30000 x 30000"), qPrintable(CImage::LastError()));
        QSize size;
        QString error;
        QVERIFY(CImage::ReadSize(path, size, error));
        QCOMPARE(size, QSize(30000, 30000));
    }

    // The too-large reason of the largest header any BMP can declare.
    void tooLargeReasonOfLargestHeader()
    {
        const QString path = m_dir.filePath("largest.bmp");
        QVERIFY(WriteAll(path, HandMade::Bmp(INT32_MAX, INT32_MAX, 24, 0, {}, QByteArray(64, '\0'))));
        CImage img;
        QCOMPARE(img.Load(path), CImage::kTooLarge);
        QVERIFY2(CImage::LastError().startsWith("a 2147483647 x 2147483647 picture needs 211106232336384 MiB"),
                 qPrintable(CImage::LastError()));
    }

#if defined(Q_OS_UNIX)
    // A disk that fills up while a file is replaced: the write fails, the old
    // file keeps its bytes and no temporary file is left, for every format
    // written and for files smaller and larger than any write buffer.
    void writeFailureKeepsOldFile_data()
    {
        Columns<QByteArray, int, int>({"format", "width", "height"});
        for (const QByteArray& format : QImageWriter::supportedImageFormats()) {
            QTest::newRow(format + " small") << format << 48 << 36;
            QTest::newRow(format + " large") << format << 640 << 480;
        }
    }
    void writeFailureKeepsOldFile()
    {
        QFETCH(QByteArray, format);
        QFETCH(int, width);
        QFETCH(int, height);
        QTemporaryDir dir;
        const QString path = dir.filePath("keep." + QString::fromLatin1(format));
        auto first = TestImages::Pattern(width, height);
        auto second = TestImages::Pattern(width, height);
        FillAll(*second, 0x123456);
        if (first->Save(path) != 0) {
            // Only formats that cannot hold this size refuse it, and then say so.
            QVERIFY2(CImage::LastError().contains("cannot hold"), qPrintable(CImage::LastError()));
            QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
            return;
        }
        const QByteArray old = ReadAll(path);
        QVERIFY(!old.isEmpty());
        const QByteArray next = Encoded(second->ToQImage(), format.constData());
        QVERIFY(next.size() > 1);
        {
            FileSizeLimit limit(rlim_t(next.size() / 2));
            QVERIFY(second->Save(path) < 0);
        }
        QCOMPARE(CImage::LastError(), QStringLiteral("File too large"));
        QCOMPARE(ReadAll(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(path).fileName()});
        {
            FileSizeLimit limit(1);
            QVERIFY(CImage::SaveQImage(second->ToQImage(), path) < 0);
        }
        QCOMPARE(ReadAll(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
#endif

    // Each step of a replacement is checked: a failure before the rename keeps
    // the old file, after it the new one is in place; no temporary file stays.
    void atomicStepFails_data()
    {
        Columns<int, bool>({"step", "replaced"});
        QTest::newRow("open") << int(CAtomicFile::EStep::Open) << false;
        QTest::newRow("write") << int(CAtomicFile::EStep::Write) << false;
        QTest::newRow("fsync") << int(CAtomicFile::EStep::Sync) << false;
        QTest::newRow("close") << int(CAtomicFile::EStep::Close) << false;
        QTest::newRow("rename") << int(CAtomicFile::EStep::Rename) << false;
        QTest::newRow("folder sync") << int(CAtomicFile::EStep::FolderSync) << true;
    }
    void atomicStepFails()
    {
        QFETCH(int, step);
        QFETCH(bool, replaced);
        QTemporaryDir dir;
        const QString path = dir.filePath("f.png");
        QVERIFY(WriteAll(path, "old"));
        int result;
        {
            FailingStep failing(CAtomicFile::EStep(step), EIO);
            result = TestImages::Pattern(4, 4)->Save(path);
        }
        QCOMPARE(result, int(CImage::kWriteFailed));
        QCOMPARE(CImage::LastError(), CAtomicFile::ErrorText(EIO));
        QCOMPARE(ReadAll(path) == "old", !replaced);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"f.png"});
    }

#if defined(Q_OS_UNIX)
    // The folder renamed away while its file is written: the write fails and
    // its temporary is removed from the folder where it now is.
    void folderRenamedMidWrite()
    {
        QTemporaryDir dir;
        static QString s_from, s_to;
        s_from = dir.filePath("out");
        s_to = dir.filePath("moved");
        QVERIFY(QDir().mkpath(s_from));
        CAtomicFile::SetFaultHook([](CAtomicFile::EStep at) {
            return at == CAtomicFile::EStep::Sync && !QDir().rename(s_from, s_to) ? EIO : 0;
        });
        const int result = TestImages::Pattern(4, 4)->Save(s_from + "/f.png");
        CAtomicFile::SetFaultHook(nullptr);
        QCOMPARE(result, int(CImage::kWriteFailed));
        QCOMPARE(CImage::LastError(), CAtomicFile::ErrorText(ENOENT));
        QCOMPARE(QDir(s_to).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // The first write into a folder removes what a killed run left there: its
    // own temporaries, old, unlocked and of this user; nothing else.
    void staleTemporariesRemoved_data()
    {
        Columns<QString, int, bool, bool, bool>({"name", "ageSeconds", "otherUser", "locked", "removed"});
        const int old = CAtomicFile::kStaleSeconds + 60;
        QTest::newRow("left by a killed run") << ".qtmp0123abcd" << old << false << false << true;
        QTest::newRow("fresh") << ".qtmp0123abcd" << 60 << false << false << false;
        QTest::newRow("held by a live writer") << ".qtmp0123abcd" << old << false << true << false;
        QTest::newRow("another user's") << ".qtmp0123abcd" << old << true << false << false;
        QTest::newRow("seven digits") << ".qtmp0123abc" << old << false << false << false;
        QTest::newRow("upper-case digits") << ".qtmp0123ABCD" << old << false << false << false;
        QTest::newRow("no dot") << "qtmp0123abcd" << old << false << false << false;
    }
    void staleTemporariesRemoved()
    {
        QFETCH(QString, name);
        QFETCH(int, ageSeconds);
        QFETCH(bool, otherUser);
        QFETCH(bool, locked);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        const QString left = dir.filePath(name);
        QVERIFY(WriteAll(left, "half a video"));
        const QByteArray native = QFile::encodeName(left);
        if (otherUser && (::geteuid() != 0 || ::chown(native.constData(), 65534, 65534) != 0))
            QSKIP("files of another user can only be made as root");
        const struct timeval times[2] = {{time(nullptr) - ageSeconds, 0}, {time(nullptr) - ageSeconds, 0}};
        QCOMPARE(::utimes(native.constData(), times), 0);
        const int held = locked ? ::open(native.constData(), O_RDONLY | O_CLOEXEC) : -1;
        if (locked)
            QCOMPARE(::flock(held, LOCK_EX), 0);
        QCOMPARE(TestImages::Pattern(4, 4)->Save(dir.filePath("f.png")), 0);
        if (held >= 0)
            ::close(held);
        QCOMPARE(QFile::exists(left), !removed);
        QVERIFY(QFile::exists(dir.filePath("f.png")));
    }
#endif

    // Names up to the file system's 255 bytes are created and replaced.
    void longNamesReplaced_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("249") << 249;
        QTest::newRow("250") << 250;
        QTest::newRow("255") << 255;
    }
    void longNamesReplaced()
    {
        QFETCH(int, length);
        QTemporaryDir dir;
        const QString path = dir.filePath(QString(length - 4, QLatin1Char('n')) + ".png");
        auto first = TestImages::Pattern(9, 7);
        auto second = TestImages::Pattern(9, 7);
        FillAll(*second, 0xABCDEF);
        QVERIFY2(first->Save(path) == 0, qPrintable(CImage::LastError()));
        QVERIFY2(second->Save(path) == 0, qPrintable(CImage::LastError()));
        CImage back;
        QCOMPARE(back.Load(path), 0);
        QVERIFY(TestImages::SamePixels(back, *second));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

#if defined(Q_OS_UNIX)
    // The file at the end of a chain of links is replaced and keeps its
    // permissions; the links stay. Devices and pipes are never replaced.
    void replacesWhatNamesLeadTo_data()
    {
        QTest::addColumn<QStringList>("links"); // each a link to the next, the last to real.png
        QTest::addColumn<int>("kind");          // what real.png is: S_IFREG, S_IFIFO or S_IFCHR
        QTest::addColumn<int>("mode");
        QTest::newRow("link") << QStringList{"link.png"} << int(S_IFREG) << 0644;
        QTest::newRow("chain of links") << QStringList{"a.png", "b.png", "c.png"} << int(S_IFREG) << 0640;
        QTest::newRow("read-only file") << QStringList() << int(S_IFREG) << 0444;
        QTest::newRow("pipe") << QStringList() << int(S_IFIFO) << 0644;
        QTest::newRow("link to a device") << QStringList{"null.png"} << int(S_IFCHR) << 0666;
    }
    void replacesWhatNamesLeadTo()
    {
        QFETCH(QStringList, links);
        QFETCH(int, kind);
        QFETCH(int, mode);
        QTemporaryDir dir;
        const QString real = dir.filePath("real.png");
        if (kind == S_IFREG)
            QCOMPARE(TestImages::Pattern(9, 7)->Save(real), 0);
        else if (::mknod(QFile::encodeName(real).constData(), mode_t(kind) | 0644, makedev(1, 3)) != 0)
            QSKIP("cannot make a device node or pipe here");
        QCOMPARE(::chmod(QFile::encodeName(real).constData(), mode_t(mode)), 0);
        QString name = real;
        for (qsizetype i = links.size() - 1; i >= 0; --i) {
            QVERIFY(QFile::link(QFileInfo(name).fileName(), dir.filePath(links[i])));
            name = dir.filePath(links[i]);
        }
        auto second = TestImages::Pattern(9, 7);
        FillAll(*second, 0x010203);
        QCOMPARE(second->Save(name) == 0, kind == S_IFREG);
        struct stat after{};
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &after), 0);
        QCOMPARE(int(after.st_mode), kind | mode);
        for (const QString& link : links)
            QVERIFY(QFileInfo(dir.filePath(link)).isSymLink());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size(),
                 links.size() + 1);
        if (kind != S_IFREG)
            return;
        CImage back;
        QCOMPARE(back.Load(real), 0);
        QVERIFY(TestImages::SamePixels(back, *second));
    }
#endif

#if defined(Q_OS_UNIX)
    // What replacing by rename does, as the README says: a hard link keeps the
    // old contents, the writer owns the new file, the mode stays.
    void replacementByRename()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("f.png"), other = dir.filePath("hard.png");
        QCOMPARE(TestImages::Pattern(9, 7)->Save(path), 0);
        const QByteArray old = ReadAll(path);
        QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()), 0);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0444), 0);
        const bool root = ::geteuid() == 0;
        if (root)
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        auto second = TestImages::Pattern(9, 7);
        FillAll(*second, 0x010203);
        QCOMPARE(second->Save(path), 0);
        struct stat st{};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0444);
        QCOMPARE(st.st_uid, ::geteuid());
        QCOMPARE(ReadAll(other), old);
        QVERIFY(ReadAll(path) != old);
    }
#endif

    // A format that would shrink the picture is a write failure.
    void formatsThatCannotHoldTheSize_data()
    {
        Columns<QString, int, int, bool>({"name", "width", "height", "ok"});
        QTest::newRow("ico 320 x 240") << "x.ico" << 320 << 240 << false;
        QTest::newRow("cur 320 x 240") << "x.cur" << 320 << 240 << false;
        QTest::newRow("ico 257 x 10") << "x.ico" << 257 << 10 << false;
        QTest::newRow("ico 256 x 256") << "x.ico" << 256 << 256 << true;
        QTest::newRow("ico 48 x 36") << "x.ico" << 48 << 36 << true;
    }
    void formatsThatCannotHoldTheSize()
    {
        QFETCH(QString, name);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(bool, ok);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        auto img = TestImages::Pattern(width, height);
        QCOMPARE(img->Save(path) == 0, ok);
        if (!ok) {
            QVERIFY(!QFile::exists(path));
            QCOMPARE(CImage::LastError(), QStringLiteral("the %1 format cannot hold a %2 x %3 picture")
                                              .arg(name.mid(2)).arg(width).arg(height));
        } else {
            QCOMPARE(QImageReader(path).size(), QSize(width, height));
        }
    }

    void saveRoundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("png") << "frame.png";
        QTest::newRow("upper-case PNG") << "FRAME.PNG";
        QTest::newRow("bmp") << "frame.bmp";
        QTest::newRow("dot in folder") << "a.b/frame.png";
    }
    void saveRoundTrip()
    {
        QFETCH(QString, name);
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        auto img = TestImages::Pattern(9, 7);
        QCOMPARE(img->Save(path), 0);
        CImage back;
        QCOMPARE(back.Load(path), 0);
        QVERIFY(TestImages::SamePixels(*img, back));
    }

    void saveJpeg()
    {
        auto img = TestImages::Pattern(16, 16);
        const QString path = m_dir.filePath("frame.Jpg");
        QCOMPARE(img->Save(path), 0);
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
    }

    void saveFailures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("no extension") << "frame";
        QTest::newRow("dot only in folder") << "x.png/frame";
        QTest::newRow("unknown extension") << "frame.qqq";
        QTest::newRow("trailing dot") << "frame.";
        QTest::newRow("missing folder") << "nofolder/frame.png";
        QTest::newRow("name too long") << QString(300, QLatin1Char('n')) + ".png";
    }
    void saveFailures()
    {
        QFETCH(QString, name);
        QDir().mkpath(m_dir.filePath("x.png"));
        auto img = TestImages::Pattern(4, 4);
        const QString path = m_dir.filePath(name);
        QVERIFY(img->Save(path) < 0);
        QVERIFY(!QFileInfo(path).isFile());
    }

    void failedSaveLeavesNothing()
    {
        // A folder stands where the file should go: the write fails, the folder
        // stays as it was and no partial file is left beside it.
        QTemporaryDir dir;
        const QString path = dir.filePath("taken.png");
        QVERIFY(QDir().mkpath(path));
        auto img = TestImages::Pattern(4, 4);
        QVERIFY(img->Save(path) < 0);
        QVERIFY(!CImage::LastError().isEmpty());
        QVERIFY(QFileInfo(path).isDir());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
    }

    void iconRule_data()
    {
        Columns<uint, uint>({"type", "full"});
        QTest::newRow("OK") << uint(MB_OK) << uint(MB_OK | MB_ICONEXCLAMATION);
        QTest::newRow("OK/Cancel") << uint(MB_OKCANCEL) << uint(MB_OKCANCEL | MB_ICONEXCLAMATION);
        QTest::newRow("Yes/No") << uint(MB_YESNO) << uint(MB_YESNO | MB_ICONQUESTION);
        QTest::newRow("Yes/No/Cancel") << uint(MB_YESNOCANCEL) << uint(MB_YESNOCANCEL | MB_ICONQUESTION);
        QTest::newRow("named icon kept") << uint(MB_YESNO | MB_ICONWARNING) << uint(MB_YESNO | MB_ICONWARNING);
        QTest::newRow("information") << uint(MB_OK | MB_ICONINFORMATION) << uint(MB_OK | MB_ICONINFORMATION);
    }
    void iconRule()
    {
        QFETCH(uint, type);
        QFETCH(uint, full);
        MessageRecorder rec(IDYES);
        QCOMPARE(CMessageBox::Show(QStringLiteral("テキスト"), type), int(IDYES));
        QCOMPARE(rec.boxes.size(), 1);
        QCOMPARE(rec.boxes[0].type, full);
        QCOMPARE(rec.boxes[0].caption, QStringLiteral("Quillarend"));
        QCOMPARE(rec.boxes[0].text, QStringLiteral("テキスト"));
    }

    void numberedNames_data()
    {
        Columns<QString, int, QString>({"path", "index", "name"});
        QTest::newRow("first") << "/work/face.png" << 0 << "/work/face_00000.png";
        QTest::newRow("29") << "/work/face.jpg" << 29 << "/work/face_00029.jpg";
        QTest::newRow("last of 99999") << "/w/f.png" << 99998 << "/w/f_99998.png";
        QTest::newRow("dot in folder") << "/a.b/frame" << 3 << "/a.b/frame_00003";
        QTest::newRow("two dots") << "/x/a.b.png" << 1 << "/x/a.b_00001.png";
        QTest::newRow("hidden name") << "/x/.png" << 2 << "/x/_00002.png";
        QTest::newRow("no folder") << "f.png" << 4 << "f_00004.png";
    }
    void numberedNames()
    {
        QFETCH(QString, path);
        QFETCH(int, index);
        QFETCH(QString, name);
        const auto parts = CExportPath::Split(path);
        QVERIFY(parts);
        QCOMPARE(parts->NumberedName(index), name);
    }

    // Bit for bit, as the wizard and the tool must render the same frames;
    // any count is safe.
    void framePosition_data()
    {
        Columns<int, int, float>({"index", "count", "t"});
        QTest::newRow("second of 4") << 1 << 4 << 0.33333334f;
        QTest::newRow("next to last of 99999") << 99997 << 99999 << 0.9999899864196777f;
        QTest::newRow("one frame") << 0 << 1 << 0.0f;
        QTest::newRow("lowest count") << 3 << INT_MIN << 0.0f;
    }
    void framePosition()
    {
        QFETCH(int, index);
        QFETCH(int, count);
        QFETCH(float, t);
        QCOMPARE(std::bit_cast<uint32_t>(CExportPath::FramePosition(index, count)), std::bit_cast<uint32_t>(t));
    }

    void overlongPartsRefused_data()
    {
        Columns<QString, bool>({"path", "ok"});
        const QString n255(255, QLatin1Char('n')), n256(256, QLatin1Char('n'));
        QTest::newRow("base 255") << "/d/" + n255 + ".png" << true;
        QTest::newRow("base 256") << "/d/" + n256 + ".png" << false;
        QTest::newRow("extension 256") << "/d/f." + QString(255, QLatin1Char('e')) << false;
        QTest::newRow("directory 256") << "/" + QString(254, QLatin1Char('d')) + "/f.png" << false;
        QTest::newRow("directory 255") << "/" + QString(253, QLatin1Char('d')) + "/f.png" << true;
    }
    void overlongPartsRefused()
    {
        QFETCH(QString, path);
        QFETCH(bool, ok);
        QCOMPARE(CExportPath::Split(path).has_value(), ok);
    }
};

QTEST_GUILESS_MAIN(TestImage)
#include "tst_image.moc"
