#include "DataTable.h"
#include "document/CPairsFile.h"
#include "document/CPairsWriter.h"
#include "FailingStep.h"
#include "HandlePairs.h"
#include "platform/CAtomicFile.h"
#include "TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <limits>

class TestPairsWriter : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // What is written reads back as the same pairs, names with line breaks included.
    void readsBack_data()
    {
        Columns<QString, QString>({"source", "target"});
        QTest::newRow("plain names") << "/pictures/a.png" << "/pictures/b.png";
        QTest::newRow("line breaks in the names") << "/x/a\n1 2 3 4.png" << "/x/b\r\n5 6 7 8.png";
        QTest::newRow("Japanese names") << QStringLiteral("/写真/元.jpg") << QStringLiteral("/写真/後.jpg");
    }
    void readsBack()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        const int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
        const CMorphHandleArray pairs = HandleArray({Pair(1, 2, 3, 4), Pair(lo, hi, -1, 0), Pair(1, 2, 3, 4)});
        const QString path = m_dir.filePath("pairs.txt");
        QVERIFY(CPairsWriter::Save(path, pairs, source, target));
        const QByteArray text = ReadAll(path);
        QCOMPARE(text.count('\n'), 4);
        QVERIFY(text.startsWith("# "));
        QVERIFY(text.endsWith("\n1 2 3 4\n-2147483648 2147483647 -1 0\n1 2 3 4\n"));
        CMorphHandleArray read;
        CReadError error;
        QVERIFY2(CPairsFile::Load(path, read, error), qPrintable(error.English()));
        QCOMPARE(read.GetSize(), pairs.GetSize());
        for (int32_t i = 0; i < pairs.GetSize(); ++i)
            QCOMPARE(read[i], pairs[i]);
    }

    // Saving over an existing file replaces it whole.
    void replaces()
    {
        const QString path = m_dir.filePath("old.txt");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(1000, 'x'));
        }
        QVERIFY(CPairsWriter::Save(path, HandleArray({Pair(5, 6, 7, 8)}), "a", "b"));
        QCOMPARE(ReadAll(path), CPairsWriter::Text(HandleArray({Pair(5, 6, 7, 8)}), "a", "b"));
    }

    // Saving goes through the atomic file: a failed write or flush leaves the old file.
    void writeFails_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("write") << int(CAtomicFile::EStep::Write);
        QTest::newRow("flush") << int(CAtomicFile::EStep::Sync);
    }
    void writeFails()
    {
        QFETCH(int, step);
        const QString path = m_dir.filePath("kept.txt");
        QVERIFY(CPairsWriter::Save(path, HandleArray({}), "a", "b"));
        bool saved;
        {
            FailingStep failing(CAtomicFile::EStep(step), ENOSPC);
            saved = CPairsWriter::Save(path, HandleArray({Pair(1, 2, 3, 4)}), "a", "b");
        }
        QVERIFY(!saved);
        QCOMPARE(ReadAll(path), CPairsWriter::Text(HandleArray({}), "a", "b"));
    }
    void saveFails_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("parent is a file") << "file/pairs.txt";
        QTest::newRow("a folder in its place") << "folder";
        QTest::newRow("empty name") << "";
    }
    void saveFails()
    {
        QFETCH(QString, path);
        QVERIFY(CPairsWriter::Save(m_dir.filePath("file"), HandleArray({}), "a", "b"));
        QVERIFY(QDir(m_dir.path()).mkpath("folder"));
        QVERIFY(!CPairsWriter::Save(path.isEmpty() ? path : m_dir.filePath(path), HandleArray({Pair(1, 2, 3, 4)}), "a",
                                    "b"));
        QVERIFY(QFileInfo(m_dir.filePath("folder")).isDir());
        QCOMPARE(ReadAll(m_dir.filePath("file")), CPairsWriter::Text(HandleArray({}), "a", "b"));
    }
};

QTEST_GUILESS_MAIN(TestPairsWriter)
#include "tst_pairs_writer.moc"
