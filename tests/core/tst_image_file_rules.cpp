#include "DataTable.h"
#include "HandMadeFiles.h"
#include "ImagePixels.h"
#include "platform/CImage.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

class TestImageFileRules : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

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
};

QTEST_GUILESS_MAIN(TestImageFileRules)
#include "tst_image_file_rules.moc"
