#include "DataTable.h"
#include "platform/CImage.h"
#include "platform/CSequenceWriter.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

struct Report
{
    int index;
    QString path;
    int result;
    QString error;
    bool operator==(const Report& o) const
    {
        return index == o.index && path == o.path && result == o.result && error == o.error;
    }
};

// Fails the frames whose number is in the list, with a code that names them.
int FakeEncode(const QImage& image, const QString& path, const QList<int>& failing, QString& error)
{
    const int index = image.text(QStringLiteral("index")).toInt();
    if (path != QStringLiteral("frame%1").arg(index))
        return -100; // the picture and its name were mixed up
    if (!failing.contains(index))
        return 0;
    error = QStringLiteral("frame %1 failed").arg(index);
    return -1 - index;
}

QImage Tagged(int index)
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::black);
    image.setText(QStringLiteral("index"), QString::number(index));
    return image;
}

} // namespace

class TestSequenceWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Results come in frame order with each frame's own result, as a plain
    // loop that encodes one frame after another reports them, whatever order
    // the workers finish in.
    void sameAsOneByOne_data()
    {
        Columns<int, int, QList<int>>({"jobs", "count", "failing"});
        QTest::newRow("one job") << 1 << 7 << QList<int>{2, 3};
        QTest::newRow("two jobs") << 2 << 20 << QList<int>{0, 5, 19};
        QTest::newRow("more jobs than frames") << 8 << 3 << QList<int>{1};
        QTest::newRow("all fail") << 3 << 9 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("none fails") << 4 << 40 << QList<int>{};
        QTest::newRow("zero jobs counts as one") << 0 << 5 << QList<int>{4};
    }
    void sameAsOneByOne()
    {
        QFETCH(int, jobs);
        QFETCH(int, count);
        QFETCH(QList<int>, failing);

        QList<Report> plain;
        for (int i = 0; i < count; ++i) {
            QString error;
            const int result = FakeEncode(Tagged(i), QStringLiteral("frame%1").arg(i), failing, error);
            plain.append({i, QStringLiteral("frame%1").arg(i), result, error});
        }

        QList<Report> reports;
        const std::thread::id caller = std::this_thread::get_id();
        bool onCaller = true;
        CSequenceWriter writer(
            jobs,
            [&failing](const QImage& image, const QString& path, QString& error) {
                // Random delays make later frames finish before earlier ones.
                std::this_thread::sleep_for(std::chrono::microseconds(QRandomGenerator::global()->bounded(3000)));
                return FakeEncode(image, path, failing, error);
            },
            [&](int index, const QString& path, int result, const QString& error) {
                onCaller = onCaller && std::this_thread::get_id() == caller;
                reports.append({index, path, result, error});
            });
        for (int i = 0; i < count; ++i)
            writer.Add(i, Tagged(i), QStringLiteral("frame%1").arg(i));
        writer.Finish();
        QVERIFY(onCaller);
        QCOMPARE(reports.size(), plain.size());
        for (qsizetype k = 0; k < plain.size(); ++k)
            QVERIFY2(reports[k] == plain[k], qPrintable(QStringLiteral("frame %1").arg(k)));
    }

    // As many jobs as the frames waiting for the encoders leave memory for.
    void jobsThatFit_data()
    {
        Columns<int, qint64, qint64, int>({"jobs", "pixels", "available", "fit"});
        const qint64 big = qint64(8000) * 6000, gib = qint64(1) << 30;
        QTest::newRow("64 big frames in 2 GiB") << 64 << big << 2 * gib << 5;
        QTest::newRow("all fit") << 64 << qint64(640 * 480) << 2 * gib << 64;
        QTest::newRow("exactly 3") << 4 << qint64(1000) << qint64(3 * 8000) << 3;
        QTest::newRow("one byte short of 3") << 4 << qint64(1000) << qint64(3 * 8000 - 1) << 2;
        QTest::newRow("none fits: one at a time") << 8 << big << qint64(1000) << 1;
        QTest::newRow("unknown memory") << 64 << big << qint64(-1) << 64;
        QTest::newRow("largest sizes") << 64 << qint64(INT32_MAX) * INT32_MAX << qint64(INT64_MAX) << 1;
    }
    void jobsThatFit()
    {
        QFETCH(int, jobs);
        QFETCH(qint64, pixels);
        QFETCH(qint64, available);
        QFETCH(int, fit);
        QCOMPARE(CSequenceWriter::JobsThatFit(jobs, pixels, available), fit);
    }

    // Never more than the given number of frames encode at once, and never
    // more than that many are waiting to be reported: memory stays bounded.
    void boundedInFlight_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::newRow("1") << 1;
        QTest::newRow("2") << 2;
        QTest::newRow("3") << 3;
    }
    void boundedInFlight()
    {
        QFETCH(int, jobs);
        std::atomic<int> running{0};
        std::atomic<int> most{0};
        int added = 0;
        int reported = 0;
        int mostUnreported = 0;
        CSequenceWriter writer(
            jobs,
            [&](const QImage&, const QString&, QString&) {
                const int now = ++running;
                int seen = most.load();
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                --running;
                return 0;
            },
            [&](int, const QString&, int, const QString&) { ++reported; });
        for (int i = 0; i < 30; ++i) {
            writer.Add(i, Tagged(i), QStringLiteral("frame%1").arg(i));
            ++added;
            mostUnreported = std::max(mostUnreported, added - reported);
        }
        writer.Finish();
        QCOMPARE(reported, 30);
        QVERIFY2(most.load() <= jobs, qPrintable(QString::number(most.load())));
        QCOMPARE(mostUnreported, jobs);
    }

    // A real encoder: frames whose names cannot be written fail, each under
    // its own name, and the others are written.
    void realFilesWithFailures()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("f_00002.png"))); // a folder in the way
        QStringList names;
        for (int i = 0; i < 5; ++i)
            names << (i == 4 ? dir.filePath(QStringLiteral("missing/f_00004.png"))
                             : dir.filePath(QStringLiteral("f_%1.png").arg(i, 5, 10, QLatin1Char('0'))));
        QList<Report> reports;
        CSequenceWriter writer(
            2, [](const QImage& image, const QString& path, QString&) { return CImage::SaveQImage(image, path); },
            [&](int index, const QString& path, int result, const QString&) {
                reports.append({index, path, result, QString()});
            });
        for (int i = 0; i < 5; ++i)
            writer.Add(i, Tagged(i), names[i]);
        writer.Finish();
        QCOMPARE(reports.size(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(reports[i].index, i);
            QCOMPARE(reports[i].path, names[i]);
            const bool shouldFail = i == 2 || i == 4;
            QVERIFY2((reports[i].result < 0) == shouldFail, qPrintable(names[i]));
            if (!shouldFail)
                QVERIFY(!QImage(names[i]).isNull());
        }
    }

    // An encoder that throws: the exception comes out where the frame is
    // reported, and the writer can still be destroyed with frames in flight.
    void encoderThrows()
    {
        QList<int> reported;
        bool thrown = false;
        try {
            CSequenceWriter writer(
                2,
                [](const QImage& image, const QString&, QString&) {
                    if (image.text(QStringLiteral("index")) == QLatin1String("1"))
                        throw std::runtime_error("encoder broke");
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    return 0;
                },
                [&](int index, const QString&, int, const QString&) { reported.append(index); });
            for (int i = 0; i < 6; ++i)
                writer.Add(i, Tagged(i), QStringLiteral("frame%1").arg(i));
            writer.Finish();
        } catch (const std::runtime_error&) {
            thrown = true;
        }
        QVERIFY(thrown);
        QCOMPARE(reported, QList<int>{0});
    }

    // Destroyed without Finish: waits for the workers, reports nothing more.
    void destroyedEarly()
    {
        std::atomic<int> encoded{0};
        int reported = 0;
        {
            CSequenceWriter writer(
                3,
                [&](const QImage&, const QString&, QString&) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    ++encoded;
                    return 0;
                },
                [&](int, const QString&, int, const QString&) { ++reported; });
            for (int i = 0; i < 3; ++i)
                writer.Add(i, Tagged(i), QStringLiteral("frame%1").arg(i));
        }
        QCOMPARE(encoded.load(), 3);
        QCOMPARE(reported, 0);
    }
};

QTEST_GUILESS_MAIN(TestSequenceWriter)
#include "tst_sequence_writer.moc"
