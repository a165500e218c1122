#include "DataTable.h"
#include "document/CMorphData.h"
#include "document/CPairsFile.h"
#include "FolderTest.h"
#include "MessageRecorder.h"
#include "TestImages.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <stdexcept>
#include <thread>

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

Q_DECLARE_METATYPE(CMorphHandle)

namespace {
const QString kNoSource = QStringLiteral("元画像が読み込まれていません。");
const QString kNoTarget = QStringLiteral("変更後の画像が読み込まれていません。");
const QString kSizes = QStringLiteral("元画像と変更後の画像サイズが異なります。");
} // namespace

class TestDocument : public FolderTest
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(TestImages::WritePattern(file("a100x50.png"), 100, 50));
        QVERIFY(TestImages::WritePattern(file("b100x50.png"), 100, 50));
        QVERIFY(TestImages::WritePattern(file("c100x60.png"), 100, 60));
        QVERIFY(TestImages::WritePattern(file("d90x50.png"), 90, 50));
        QFile text(file("text.png"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("this is not a picture\n");
    }

    void handleArray()
    {
        CMorphHandleArray a;
        const CMorphHandle A{{1, 2}, {3, 4}}, B{{5, 6}, {7, 8}}, C{{9, 10}, {11, 12}};
        QCOMPARE(a.Add(A), 0);
        QCOMPARE(a.Add(B), 1);
        QCOMPARE(a.Add(C), 2);
        a.RemoveAt(1);
        QCOMPARE(a.GetSize(), 2);
        QCOMPARE(a[0], A);
        QCOMPARE(a[1], C);
        a.ElementAt(1).m_ptTarget = CPoint(-20, 400);
        QCOMPARE(a[1].m_ptTarget, CPoint(-20, 400));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, a.GetAt(2));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, a.GetAt(-1));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, a.RemoveAt(5));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, a.InsertAt(3, A));
        a.RemoveAll();
        QCOMPARE(a.GetSize(), 0);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, a.ElementAt(0));
    }

    // Which message AddHandle gives, in which state; only the first failing check speaks.
    void addHandleMessages_data()
    {
        Columns<QString, QString, QString>({"source", "target", "message"});
        QTest::newRow("no images") << QString() << QString() << kNoSource;
        QTest::newRow("target only") << QString() << "b100x50.png" << kNoSource;
        QTest::newRow("source only") << "a100x50.png" << QString() << kNoTarget;
        QTest::newRow("heights differ") << "a100x50.png" << "c100x60.png" << kSizes;
        QTest::newRow("widths differ") << "a100x50.png" << "d90x50.png" << kSizes;
        QTest::newRow("same size") << "a100x50.png" << "b100x50.png" << QString();
    }
    void addHandleMessages()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QString, message);
        CMorphData doc;
        MessageRecorder rec;
        if (!source.isEmpty())
            QVERIFY(doc.LoadSource(file(source)));
        if (!target.isEmpty())
            QVERIFY(doc.LoadTarget(file(target)));
        doc.AddHandle(CPoint(10, 10));
        if (message.isEmpty()) {
            QVERIFY(rec.boxes.isEmpty());
            QCOMPARE(doc.m_aHandles.GetSize(), 1);
        } else {
            QCOMPARE(rec.texts(), QStringList{message});
            QCOMPARE(rec.boxes[0].caption, QStringLiteral("Quillarend"));
            QCOMPARE(rec.boxes[0].type, unsigned(MB_OK | MB_ICONEXCLAMATION));
            QCOMPARE(doc.m_aHandles.GetSize(), 0);
        }
    }

    // The half-open rectangle [0, w) × [0, h) of a 100 × 50 picture.
    void addHandlePoints_data()
    {
        Columns<int, int, bool>({"x", "y", "added"});
        QTest::newRow("origin") << 0 << 0 << true;
        QTest::newRow("last pixel") << 99 << 49 << true;
        QTest::newRow("x = width") << 100 << 10 << false;
        QTest::newRow("y = height") << 10 << 50 << false;
        QTest::newRow("x = -1") << -1 << 0 << false;
        QTest::newRow("y = -1") << 0 << -1 << false;
        QTest::newRow("far away") << int(INT32_MIN) << int(INT32_MAX) << false;
    }
    void addHandlePoints()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(bool, added);
        CMorphData doc;
        MessageRecorder rec;
        QVERIFY(doc.LoadSource(file("a100x50.png")));
        QVERIFY(doc.LoadTarget(file("b100x50.png")));
        doc.AddHandle(CPoint(x, y));
        QVERIFY(rec.boxes.isEmpty());
        QCOMPARE(doc.m_aHandles.GetSize(), added ? 1 : 0);
        if (added)
            QCOMPARE(doc.m_aHandles[0], (CMorphHandle{{x, y}, {x, y}}));
    }

    // A new file of either side empties the pairs and their history once the
    // caller agreed; the same file again keeps them, and a failed load
    // changes nothing and asks nothing.
    void loadsEmptyPairs_data()
    {
        Columns<bool, QString>({"source", "name"});
        QTest::addColumn<int>("answer"); // the caller's when asked: 1 yes, 0 no; -1 not asked
        Columns<bool, bool>({"ok", "kept"});
        QTest::newRow("new target") << false << "a100x50.png" << 1 << true << false;
        QTest::newRow("new target, declined") << false << "a100x50.png" << 0 << false << true;
        QTest::newRow("same target file") << false << "b100x50.png" << -1 << true << true;
        QTest::newRow("same source file") << true << "a100x50.png" << -1 << true << true;
        QTest::newRow("failed source") << true << "text.png" << -1 << false << true;
        QTest::newRow("missing target") << false << "nope.png" << -1 << false << true;
    }
    void loadsEmptyPairs()
    {
        QFETCH(bool, source);
        QFETCH(QString, name);
        QFETCH(int, answer);
        QFETCH(bool, ok);
        QFETCH(bool, kept);
        CMorphData doc;
        MessageRecorder rec;
        QVERIFY(doc.LoadSource(file("a100x50.png")));
        QVERIFY(doc.LoadTarget(file("b100x50.png")));
        for (int i = 0; i < 3; ++i)
            doc.AddHandle(CPoint(i, i));
        const QString before = source ? doc.GetSourcePath() : doc.GetTargetPath();
        int asked = 0;
        const auto ask = [&] { return ++asked, answer == 1; };
        const bool loaded = source ? doc.LoadSource(file(name), ask) : doc.LoadTarget(file(name), ask);
        QCOMPARE(loaded, ok);
        QCOMPARE(asked, answer < 0 ? 0 : 1);
        QCOMPARE(doc.m_aHandles.GetSize(), kept ? 3 : 0);
        QCOMPARE(doc.m_history.CanUndo(), kept);
        const auto& image = source ? doc.m_pSourceImage : doc.m_pTargetImage;
        QVERIFY(image);
        QCOMPARE(source ? doc.GetSourcePath() : doc.GetTargetPath(), ok ? file(name) : before);
        if (ok || answer >= 0) {
            QVERIFY(rec.boxes.isEmpty());
        } else {
            QCOMPARE(rec.texts(), QStringList{LoadFailedMessage(file(name), name == "text.png" ? kNotAPicture : kNoSuchFile)});
        }
    }

    // Edits through the history and back: "a5" adds pair 5, "r1" removes
    // pair 1, "m0=7" moves pair 0 to 7, "n0=7" nudges it there, "p" replaces
    // all with 8 9, "u" undoes, "y" redoes, "c" clears. Pair x has x in all
    // four coordinates. selected: what the last undo or redo returned.
    void handleHistory_data()
    {
        Columns<QString, QString, int>({"edits", "pairs", "selected"});
        QTest::addColumn<QString>("can"); // u: can undo, y: can redo
        QTest::newRow("three adds, two undone") << "a1 a2 a3 u u" << "1" << -1 << "uy";
        QTest::newRow("one redone") << "a1 a2 a3 u u y" << "1 2" << 1 << "uy";
        QTest::newRow("a new edit drops the undone") << "a1 a2 u a3 y" << "1 3" << -1 << "u";
        QTest::newRow("removal undone in place") << "a1 a2 a3 r1 u" << "1 2 3" << 1 << "uy";
        QTest::newRow("move undone") << "a1 a2 m0=5 u" << "1 2" << 0 << "uy";
        QTest::newRow("a run of nudges is one step") << "a1 n0=2 n0=3 n0=4 u" << "1" << 0 << "uy";
        QTest::newRow("nudges of two pairs") << "a1 a2 n0=5 n1=6 n0=7 u" << "5 6" << 0 << "uy";
        QTest::newRow("an undo ends the run") << "a1 n0=2 u n0=3 n0=4 u" << "1" << 0 << "uy";
        QTest::newRow("no move, no step") << "a1 m0=1 u" << "" << -1 << "y";
        QTest::newRow("replacement undone") << "a1 a2 p u" << "1 2" << -1 << "uy";
        QTest::newRow("replacement redone") << "a1 p u y" << "8 9" << -1 << "u";
        QTest::newRow("a failed edit is no step") << "a1 a2 r5 u" << "1" << -1 << "uy";
        QTest::newRow("cleared") << "a1 a2 u c" << "1" << -1 << "";
    }
    void handleHistory()
    {
        QFETCH(QString, edits);
        QFETCH(QString, pairs);
        QFETCH(int, selected);
        QFETCH(QString, can);
        const auto pair = [](int x) { return CMorphHandle{{x, x}, {x, x}}; };
        CMorphHandleArray a, replacement;
        replacement.Add(pair(8));
        replacement.Add(pair(9));
        CHandleHistory history;
        int32_t returned = -2;
        for (const QString& edit : edits.split(' ')) {
            const QStringList args = edit.mid(1).split('=');
            const int i = args[0].toInt();
            switch (edit[0].toLatin1()) {
            case 'a': history.Add(a, pair(i)); break;
            case 'r': try { history.Remove(a, i); } catch (const std::invalid_argument&) {} break;
            case 'm':
            case 'n': {
                const CMorphHandle before = a[i];
                a[i] = pair(args[1].toInt());
                history.Changed(a, i, before, edit[0] == 'n');
                break;
            }
            case 'p': history.Replace(a, CMorphHandleArray(replacement)); break;
            case 'u': returned = history.Undo(a); break;
            case 'y': returned = history.Redo(a); break;
            default: history.Clear(); break;
            }
        }
        QStringList got;
        for (int32_t i = 0; i < a.GetSize(); ++i)
            got << QString::number(a[i].m_ptSource.x);
        QCOMPARE(got.join(' '), pairs);
        QCOMPARE(returned, selected);
        QCOMPARE(history.CanUndo(), can.contains('u'));
        QCOMPARE(history.CanRedo(), can.contains('y'));
    }

    // Against the plain way, a whole copy of the pairs for every step, on
    // random edits with many equal values.
    void handleHistoryMatchesCopies()
    {
        QRandomGenerator random(15);
        for (int run = 0; run < 300; ++run) {
            CMorphHandleArray a;
            CHandleHistory history;
            QList<CMorphHandleArray> copies{a};
            qsizetype done = 0;
            int32_t nudging = -1; // the pair whose nudges the next one joins
            for (int step = 0; step < 40; ++step) {
                const int op = int(random.bounded(7)), v = int(random.bounded(-2, 3));
                const int32_t i = a.IsEmpty() ? -1 : int32_t(random.bounded(a.GetSize()));
                const CMorphHandle before = i < 0 ? CMorphHandle{} : a[i];
                if (op == 5 || op == 6) {
                    const bool undo = op == 5;
                    if (undo ? done > 0 : done + 1 < copies.size()) {
                        done += undo ? -1 : 1;
                        nudging = -1;
                    }
                    undo ? history.Undo(a) : history.Redo(a);
                } else if (op == 0 || op == 4 || i >= 0) {
                    if (op == 0)
                        history.Add(a, CMorphHandle{{v, v}, {v, -v}});
                    else if (op == 1)
                        history.Remove(a, i);
                    else if (op == 4)
                        history.Replace(a, CMorphHandleArray(copies[random.bounded(copies.size())]));
                    else
                        a[i].m_ptTarget.y += v, history.Changed(a, i, before, op == 3);
                    if ((op == 2 || op == 3) && a[i] == before)
                        continue; // no step
                    if (op == 3 && nudging == i)
                        copies[done] = a;
                    else
                        copies.resize(++done), copies.append(a);
                    nudging = op == 3 ? i : -1;
                }
                QVERIFY(a == copies[done]);
                QCOMPARE(history.CanUndo(), done > 0);
                QCOMPARE(history.CanRedo(), done + 1 < copies.size());
            }
        }
    }

    void removeHandleKeepsOrder()
    {
        CMorphData doc;
        MessageRecorder rec;
        QVERIFY(doc.LoadSource(file("a100x50.png")));
        QVERIFY(doc.LoadTarget(file("b100x50.png")));
        doc.AddHandle(CPoint(1, 1));
        doc.AddHandle(CPoint(2, 2));
        doc.AddHandle(CPoint(3, 3));
        doc.RemoveHandle(1);
        QCOMPARE(doc.m_aHandles.GetSize(), 2);
        QCOMPARE(doc.m_aHandles[0].m_ptSource, CPoint(1, 1));
        QCOMPARE(doc.m_aHandles[1].m_ptSource, CPoint(3, 3));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, doc.RemoveHandle(2));
    }

    void pairsLines_data()
    {
        Columns<QString, bool, CMorphHandle>({"line", "ok", "pair"});
        QTest::newRow("spaces") << "1 2 3 4" << true << CMorphHandle{{1, 2}, {3, 4}};
        QTest::newRow("commas") << "1,2,3,4" << true << CMorphHandle{{1, 2}, {3, 4}};
        QTest::newRow("mixed, tabs") << " -1 ,\t2, 3 ,4 " << true << CMorphHandle{{-1, 2}, {3, 4}};
        QTest::newRow("extremes") << "-2147483648 2147483647 0 0" << true
                                  << CMorphHandle{{INT32_MIN, INT32_MAX}, {0, 0}};
        QTest::newRow("too large") << "2147483648 0 0 0" << false << CMorphHandle{};
        QTest::newRow("three values") << "1 2 3" << false << CMorphHandle{};
        QTest::newRow("five values") << "1 2 3 4 5" << false << CMorphHandle{};
        QTest::newRow("not a number") << "1 2 x 4" << false << CMorphHandle{};
        QTest::newRow("fraction") << "1 2 3.5 4" << false << CMorphHandle{};
    }
    void pairsLines()
    {
        QFETCH(QString, line);
        QFETCH(bool, ok);
        QFETCH(CMorphHandle, pair);
        CMorphHandle h;
        QCOMPARE(CPairsFile::ParseLine(line, h), ok);
        if (ok)
            QCOMPARE(h, pair);
    }

    void pairsFile()
    {
        const QString path = file("pairs.txt");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("# header\n\n10 20 30 40\n  # indented comment\n5,6,7,8\n");
        f.close();
        CMorphHandleArray handles;
        QString error;
        QVERIFY(CPairsFile::Load(path, handles, error));
        QCOMPARE(handles.GetSize(), 2);
        QCOMPARE(handles[1], (CMorphHandle{{5, 6}, {7, 8}}));

        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("1 2 3 4\n\nbad line\n");
        f.close();
        CMorphHandleArray untouched;
        QVERIFY(!CPairsFile::Load(path, untouched, error));
        QCOMPARE(error, path + ":3: expected four integers \"sx sy tx ty\"");
        QCOMPARE(untouched.GetSize(), 0);
        QVERIFY(!CPairsFile::Load(file("none.txt"), untouched, error));
        QCOMPARE(error, file("none.txt") + ": cannot be read: No such file or directory");
    }

    // Lines are bounded, pairs and bytes in all too; each error names FILE:LINE.
    void pairsFileBounds_data()
    {
        Columns<QByteArray, bool, int, QString>({"content", "ok", "pairs", "error"});
        const QByteArray longest = "1 2 3 4" + QByteArray(CPairsFile::kMaxLineBytes - 7, ' ');
        QTest::newRow("last line without a break") << QByteArray("1 2 3 4\n5 6 7 8") << true << 2 << "";
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF" "1 2 3 4\n") << true << 1 << "";
        QTest::newRow("CRLF lines") << QByteArray("# c\r\n1 2 3 4\r\n\r\n5,6,7,8\r\n") << true << 2 << "";
        QTest::newRow("longest line") << longest + "\n" << true << 1 << "";
        QTest::newRow("line one byte longer") << QByteArray("1 2 3 4\n# fine\n") + longest + " \n" << false << 0
                                              << ":3: line longer than 4096 bytes";
        QTest::newRow("100 MB line") << QByteArray(100 * 1024 * 1024, '7') << false << 0
                                     << ":1: line longer than 4096 bytes";
        QByteArray many;
        many.reserve(8 * (CPairsFile::kMaxPairs + 1));
        for (int i = 0; i <= CPairsFile::kMaxPairs; ++i)
            many.append("0 0 0 0\n");
        QTest::newRow("one pair too many") << many << false << 0 << ":1000001: more than 1000000 pairs";
        QTest::newRow("NUL bytes") << QByteArray(10, '\0') << false << 0 << ":1: expected four integers \"sx sy tx ty\"";
    }
    void pairsFileBounds()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, ok);
        QFETCH(int, pairs);
        QFETCH(QString, error);
        const QString path = file("bounds.txt");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(content), content.size());
        f.close();
        CMorphHandleArray handles;
        QString message;
        QCOMPARE(CPairsFile::Load(path, handles, message), ok);
        QCOMPARE(handles.GetSize(), pairs);
        if (!ok)
            QCOMPARE(message, path + error);
    }

#if defined(Q_OS_UNIX)
    // Pipes and devices report no size: they are read to their end, and an
    // endless one is cut off by the bounds instead of filling memory.
    void pairsFromStreams_data()
    {
        Columns<QByteArray, int, bool, int, QString>({"chunk", "repeat", "ok", "pairs", "error"});
        QTest::newRow("pipe, 3000 pairs") << QByteArray("1 2 3 4\n") << 3000 << true << 3000 << "";
        QTest::newRow("pipe, comment without end") << QByteArray(64 * 1024, '#') << -1 << false << 0
                                                   << ":1: line longer than 4096 bytes";
        QTest::newRow("pipe, comment lines without end") << QByteArray("# again and again\n").repeated(3000) << -1
                                                         << false << 0 << ": longer than 268435456 bytes";
    }
    void pairsFromStreams()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(int, repeat);
        QFETCH(bool, ok);
        QFETCH(int, pairs);
        QFETCH(QString, error);
        std::signal(SIGPIPE, SIG_IGN);
        const QString path = file("fifo");
        QFile::remove(path);
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        // The writer stops when the reader closes its end (EPIPE).
        std::thread writer([&] {
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
            for (int i = 0; fd >= 0 && (repeat < 0 || i < repeat); ++i)
                if (::write(fd, chunk.constData(), size_t(chunk.size())) != chunk.size())
                    break;
            if (fd >= 0)
                ::close(fd);
        });
        CMorphHandleArray handles;
        QString message;
        QElapsedTimer timer;
        timer.start();
        const bool loaded = CPairsFile::Load(path, handles, message);
        writer.join();
        QCOMPARE(loaded, ok);
        QCOMPARE(handles.GetSize(), pairs);
        if (!ok)
            QCOMPARE(message, path + error);
        QVERIFY(timer.elapsed() < 20000);
    }

    void pairsFromDevZero()
    {
        CMorphHandleArray handles;
        QString message;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!CPairsFile::Load(QStringLiteral("/dev/zero"), handles, message));
        QCOMPARE(message, QStringLiteral("/dev/zero:1: line longer than 4096 bytes"));
        QVERIFY(timer.elapsed() < 5000);
    }
#endif
};

QTEST_GUILESS_MAIN(TestDocument)
#include "tst_document.moc"
