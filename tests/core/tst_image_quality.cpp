#include "DataTable.h"
#include "platform/CImage.h"
#include "TestFiles.h"
#include "TestImages.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray Encoded(const QImage& image, const char* format, int quality)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    return writer.write(image) ? buffer.data() : QByteArray();
}

} // namespace

// Without a quality the save takes the program's choice for the format; with
// one, exactly that.
class TestImageQuality : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void chosenQuality_data()
    {
        Columns<QString, QByteArray, int, int>({"name", "format", "asked", "used"});
        QTest::newRow("jpg default") << "a.jpg" << QByteArray("jpg") << int(CImage::kAutoQuality) << 90;
        QTest::newRow("JPEG default") << "a.JPEG" << QByteArray("jpeg") << int(CImage::kAutoQuality) << 90;
        QTest::newRow("jpg 40") << "b.jpg" << QByteArray("jpg") << 40 << 40;
        QTest::newRow("png default") << "a.png" << QByteArray("png") << int(CImage::kAutoQuality) << 50;
        QTest::newRow("png 0") << "b.png" << QByteArray("png") << 0 << 0;
        QTest::newRow("png 100") << "c.png" << QByteArray("png") << 100 << 100;
        QTest::newRow("bmp default") << "a.bmp" << QByteArray("bmp") << int(CImage::kAutoQuality) << -1;
    }
    void chosenQuality()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        QFETCH(int, asked);
        QFETCH(int, used);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(TestImages::WritePattern(dir.filePath("p.png"), 97, 61));
        CImage image;
        QCOMPARE(image.Load(dir.filePath("p.png")), 0);
        QCOMPARE(image.Save(dir.filePath(name), asked), 0);
        const QByteArray expected = Encoded(image.ToQImage(), format.constData(), used);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(ReadAll(dir.filePath(name)), expected);
        // The static save of a picture already taken out gives the same file.
        QCOMPARE(CImage::SaveQImage(image.ToQImage(), dir.filePath("again_" + name), asked), 0);
        QCOMPARE(ReadAll(dir.filePath("again_" + name)), expected);
    }

    // The JPEG default is not Qt's own (75): a real change, seen in the bytes.
    void jpegDefaultIsNotQtDefault()
    {
        QTemporaryDir dir;
        QVERIFY(TestImages::WritePattern(dir.filePath("p.png"), 97, 61));
        CImage image;
        QCOMPARE(image.Load(dir.filePath("p.png")), 0);
        QCOMPARE(image.Save(dir.filePath("d.jpg")), 0);
        QVERIFY(ReadAll(dir.filePath("d.jpg")) != Encoded(image.ToQImage(), "jpg", -1));
    }
};

QTEST_GUILESS_MAIN(TestImageQuality)
#include "tst_image_quality.moc"
