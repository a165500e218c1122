#include "DataTable.h"
#include "document/LoadImageFile.h"
#include "HandMadeFiles.h"
#include "ImagePixels.h"
#include "MessageRecorder.h"
#include "platform/CImage.h"
#include "platform/CMemoryBudget.h"
#include "TestFiles.h"
#include "TestImages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <climits>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

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

    void workingSetRule_data()
    {
        Columns<qint64, qint64, qint64, bool>({"width", "height", "available", "fits"});
        const qint64 gib = qint64(1) << 30;
        QTest::newRow("exactly enough") << qint64(1000) << qint64(500) << qint64(1000 * 500) * CImage::kWorkingSetBytesPerPixel << true;
        QTest::newRow("one byte short") << qint64(1000) << qint64(500) << qint64(1000 * 500) * CImage::kWorkingSetBytesPerPixel - 1 << false;
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
        // (2^31 - 1)^2 pixels are exactly 2^42 - 2^12 MiB per byte of the working set.
        const QString needs = QStringLiteral("a 2147483647 x 2147483647 picture needs %1 MiB")
                                  .arg(CImage::kWorkingSetBytesPerPixel * ((qint64(1) << 42) - 4096));
        QVERIFY2(CImage::LastError().startsWith(needs), qPrintable(CImage::LastError()));
    }

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
};

QTEST_GUILESS_MAIN(TestImage)
#include "tst_image.moc"
