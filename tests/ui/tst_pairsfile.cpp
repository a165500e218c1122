#include "ChooserAnswers.h"
#include "DataTable.h"
#include "DropFiles.h"
#include "engine/CMorphCore.h"
#include "HandlePage.h"
#include "SmallDisk.h"
#include "TestFiles.h"
#include "TestImages.h"
#include "wizard/CDialogTemplate.h"
#include "wizard/CFileChooser.h"
#include "wizard/CImagePreviewWnd.h"
#include "wizard/CSheet_Path.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <limits>
#include <memory>

namespace {

const QString kNotRead = QStringLiteral("ポイントファイルを読み込めませんでした。\n\n");

// The mesh in the renderer's --mesh lines.
QStringList MeshLines(CMorphData& doc)
{
    CMorphCore core;
    core.BuildMesh(&doc);
    QStringList lines;
    const CMorphHandleArray& points = core.GetPoints();
    for (int32_t k = 0; k < points.GetSize(); ++k)
        lines << QString::asprintf("vertex %d %d %d %d %d", int(k), int(points[k].m_ptSource.x),
                                   int(points[k].m_ptSource.y), int(points[k].m_ptTarget.x),
                                   int(points[k].m_ptTarget.y));
    for (const CMorphCore::SLine& line : core.GetLines())
        lines << QString::asprintf("edge %d %d %.17g", int(line.nStart), int(line.nEnd), line.dLength);
    for (const CMorphCore::SPolygon& poly : core.GetPolygons())
        lines << QString::asprintf("triangle %d %d %d", int(poly.nVertex1), int(poly.nVertex2), int(poly.nVertex3));
    return lines;
}

} // namespace

class TestPairsFile : public QObject, public HandlePage
{
    Q_OBJECT


    CSheet_Path& PathPage() { return *static_cast<CSheet_Path*>(m_pDlg->GetSheet(IDD_SHEET_PATH)); }
    QString File(const QString& name) const { return m_dir.filePath(name); }

    bool Open(bool toHandlePage = true)
    {
        return NewWizard(true) && (!toHandlePage || LoadOnPage(File("a.png"), File("b.png")));
    }

    void WriteText(const QString& name, const QByteArray& text)
    {
        QFile f(File(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(text), text.size());
    }

    static const Pairs& Sample()
    {
        static const Pairs pairs{Pair(10, 12, 14, 16), Pair(30, 5, 28, 9),      Pair(55, 40, 50, 45),
                                 Pair(10, 12, 70, 20), Pair(-20, 45, 130, -3), Pair(60, 60, 60, 60),
                                 Pair(5, 35, 8, 30),   Pair(45, 20, 41, 24)};
        return pairs;
    }

public:
    TestPairsFile() : HandlePage(IDYES) {}

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(TestImages::WritePattern(File("a.png"), 80, 60));
        QVERIFY(TestImages::WritePattern(File("b.png"), 80, 60));
        QVERIFY(TestImages::WritePattern(File("c.png"), 80, 60));
    }

    void init()
    {
        g_nSelHandle = -1;
        m_messages.clear();
    }

    void cleanup() { m_pDlg.reset(); }

    // Ctrl+S writes the pairs; the headless renderer builds the same mesh from the file as the wizard does.
    void saveThenRender()
    {
        QVERIFY(Open());
        SetPairs(Sample());
        ChooserAnswers chooser;
        chooser.paths << File("points.txt");
        // The keys work wherever the focus is on the page's window, also on the frame's buttons.
        QWidget* next = m_pDlg->GetButton(IDC_NEXT);
        next->setFocus();
        QTest::keyClick(next, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(chooser.requests.size(), 1);
        QVERIFY(chooser.requests[0].bSave);
        QCOMPARE(chooser.requests[0].strDefaultExt, QStringLiteral("txt"));
        QCOMPARE(m_messages.boxes.size(), 0);
        const QList<QByteArray> lines = ReadAll(File("points.txt")).split('\n');
        QVERIFY(lines[0].startsWith('#'));
        QVERIFY(lines[0].contains(File("a.png").toUtf8()) && lines[0].contains(File("b.png").toUtf8()));
        QCOMPARE(lines[1], QByteArray("10 12 14 16"));
        QCOMPARE(lines.size(), Sample().size() + 2); // the comment, the pairs, the empty rest after the last break

        QProcess render;
        render.start(QStringLiteral(QUILLAREND_RENDER_PATH),
                     {"--source", File("a.png"), "--target", File("b.png"), "--pairs", File("points.txt"), "--t",
                      "0.5", "--out", File("frame.png"), "--mesh", "--quiet"});
        QVERIFY(render.waitForFinished(120000));
        QVERIFY2(render.exitCode() == 0, render.readAllStandardError().constData());
        const QStringList printed = QString::fromUtf8(render.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(printed, MeshLines(Doc()));
        QVERIFY(printed.size() > Sample().size() + 4);
    }

    // Saving and reading back gives the same pairs, extreme values included.
    void roundTrip()
    {
        QVERIFY(Open());
        const int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
        const Pairs pairs{Pair(1, 2, 3, 4), Pair(lo, hi, hi, lo), Pair(0, 0, 0, 0), Pair(1, 2, 3, 4)};
        SetPairs(pairs);
        ChooserAnswers chooser;
        chooser.paths << File("round.txt") << File("round.txt");
        Page().OnSavePairs();
        QVERIFY(!Doc().HasUnsavedPairs());
        SetPairs({});
        g_nSelHandle = 2;
        Page().OnLoadPairs();
        QCOMPARE(DocPairs(), pairs);
        QVERIFY(!Doc().HasUnsavedPairs()); // as in the file
        QCOMPARE(g_nSelHandle, -1);
        // No pairs before: nothing to ask; only the extreme pair lies outside.
        QCOMPARE(m_messages.texts(),
                 QStringList{"読み込んだ 4 組のポイントのうち 2 個が画像の外にあり、表示されません。"});
        QVERIFY(!chooser.requests[1].bSave);
    }

    // A failed write shows the write-failure message with the reason in
    // Japanese and leaves no file.
    void saveFailure_data()
    {
        Columns<QString, QString>({"path", "reason"});
        QTest::newRow("parent is a file") << "a.png/points.txt" << "フォルダが見つかりません。";
        QTest::newRow("a folder in its place") << "folder" << "同じ名前のフォルダがあります。";
        QTest::newRow("missing folder") << "no/such/points.txt" << "フォルダが見つかりません。";
        QTest::newRow("full disk") << "points.txt" << "ディスクの空き容量が不足しています。";
    }
    void saveFailure()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        QVERIFY(QDir(m_dir.path()).mkpath("folder"));
        SmallDisk disk(64 * 1024);
        const bool full = QTest::currentDataTag() == QByteArray("full disk");
        if (full && !(disk.IsMounted() && disk.LeaveFree(0)))
            QSKIP("a small disk cannot be mounted here");
        const QString dir = full ? disk.Path() : m_dir.path();
        path = dir + "/" + path;
        QVERIFY(Open());
        SetPairs(Sample());
        ChooserAnswers chooser;
        chooser.paths << path;
        const QStringList before = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden);
        Page().OnSavePairs();
        QCOMPARE(m_messages.texts(), QStringList{QStringLiteral("書き出しに失敗しました。\n\n") + path + "\n" + reason});
        QCOMPARE(m_messages.boxes[0].type, unsigned(MB_OK | MB_ICONWARNING));
        QVERIFY(!QFileInfo(path).isFile());
        QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden), before); // no temporary left
        QVERIFY(QFileInfo(File("a.png")).isFile());
        QCOMPARE(DocPairs(), Sample());
        QVERIFY(Doc().HasUnsavedPairs());
    }

    // Reading over existing pairs asks first; No keeps them.
    void replaceAsks_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("yes") << int(IDYES);
        QTest::newRow("no") << int(IDNO);
    }
    void replaceAsks()
    {
        QFETCH(int, answer);
        WriteText("two.txt", "# two pairs\n1 2 3 4\n\n5,6, 7 ,8\n");
        QVERIFY(Open());
        SetPairs(Sample());
        m_messages.answers << answer;
        QCOMPARE(Page().LoadPairsFile(File("two.txt")), answer == IDYES);
        QCOMPARE(m_messages.boxes.size(), 1);
        QCOMPARE(m_messages.boxes[0].type, unsigned(MB_YESNO | MB_ICONQUESTION));
        QCOMPARE(DocPairs(), answer == IDYES ? (Pairs{Pair(1, 2, 3, 4), Pair(5, 6, 7, 8)}) : Sample());
        Page().OnUndoRedo(true); // a read that replaced the pairs is one step
        QCOMPARE(DocPairs(), Sample());
    }

    // Points outside the pictures (80 x 60) are read and counted in a warning.
    void pointsOutside_data()
    {
        Columns<QByteArray, QString>({"text", "warning"});
        QTest::newRow("all inside, at the last pixel") << QByteArray("0 0 79 59\n79 59 0 0\n") << "";
        QTest::newRow("all outside both") << QByteArray("100 100 -1 -1\n80 0 0 60\n")
                                          << "読み込んだ 2 組のポイントのうち 4 個が画像の外にあり、表示されません。";
        QTest::newRow("one target point") << QByteArray("1 1 1 1\n5 5 5 60\n")
                                          << "読み込んだ 2 組のポイントのうち 1 個が画像の外にあり、表示されません。";
        QTest::newRow("extreme values") << QByteArray("-2147483648 2147483647 2147483647 -2147483648\n")
                                        << "読み込んだ 1 組のポイントのうち 2 個が画像の外にあり、表示されません。";
    }
    void pointsOutside()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, warning);
        WriteText("outside.txt", text);
        QVERIFY(Open());
        QVERIFY(Page().LoadPairsFile(File("outside.txt")));
        QCOMPARE(m_messages.texts(), warning.isEmpty() ? QStringList() : QStringList{warning});
        QCOMPARE(DocPairs().size(), qsizetype(text.count('\n')));
    }

    // A bad line is named by its number; nothing changes and nothing is asked.
    void malformedLine_data()
    {
        Columns<QByteArray, int>({"text", "line"});
        QTest::newRow("three numbers") << QByteArray("1 2 3 4\n# c\n1 2 3\n") << 3;
        QTest::newRow("a word") << QByteArray("x 2 3 4\n") << 1;
        QTest::newRow("past 32 bits") << QByteArray("\n\n\n1 2 3 4\n1 2 3 2147483648\n") << 5;
    }
    void malformedLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        WriteText("bad.txt", text);
        QVERIFY(Open());
        SetPairs(Sample());
        QVERIFY(!Page().LoadPairsFile(File("bad.txt")));
        QCOMPARE(m_messages.texts(), QStringList{kNotRead + File("bad.txt") + ":" + QString::number(line)
                                                 + "\n4 つの整数「sx sy tx ty」が必要です。"});
        QCOMPARE(m_messages.boxes[0].type, unsigned(MB_OK | MB_ICONWARNING));
        QCOMPARE(DocPairs(), Sample());
    }

    // On the other pages the keys do nothing.
    void keysOnlyOnHandlePage()
    {
        QVERIFY(Open());
        ChooserAnswers chooser;
        m_pDlg->ShowPage(IDD_SHEET_PATH);
        QTest::keyClick(m_pDlg->GetButton(IDC_NEXT), Qt::Key_S, Qt::ControlModifier);
        QTest::keyClick(m_pDlg->GetButton(IDC_NEXT), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(chooser.requests.size(), 0);
        m_pDlg->ShowPage(IDD_SHEET_HANDLE);
        QTest::keyClick(m_pDlg->GetButton(IDC_NEXT), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(chooser.requests.size(), 1);
        QVERIFY(!chooser.requests[0].bSave);
    }

    void missingFile()
    {
        QVERIFY(Open());
        SetPairs(Sample());
        QVERIFY(!Page().LoadPairsFile(File("none.txt")));
        QCOMPARE(m_messages.texts(), QStringList{kNotRead + File("none.txt") + "\nファイルが見つかりません。"});
        QCOMPARE(DocPairs(), Sample());
    }

    // A pairs file dropped on page 130, also over a view, is read.
    void dropOnHandlePage()
    {
        WriteText("drop.txt", "7 8 9 10\n");
        QVERIFY(Open());
        QVERIFY(Drop(&Page(), QPoint(5, 5), {File("drop.txt")}));
        QCOMPARE(DocPairs(), Pairs{Pair(7, 8, 9, 10)});
        QVERIFY(!Page().m_wndSrcView.acceptDrops()); // the view leaves drops to the page
        QVERIFY(!Drop(&Page(), QPoint(5, 5), {File("drop.txt"), File("a.png")}));
        QCOMPARE(m_messages.boxes.size(), 0);
    }

    // Two pictures dropped on page 129 are the source and the target; one goes to the box it was dropped on.
    void dropOnPathPage()
    {
        QVERIFY(Open(false));
        CSheet_Path& page = PathPage();
        auto* sourceBox = CDialogTemplate::Find<QLineEdit>(&page, IDC_EDIT_SOURCE);
        auto* targetBox = CDialogTemplate::Find<QLineEdit>(&page, IDC_EDIT_TARGET);
        QVERIFY(sourceBox && targetBox);
        QVERIFY(Drop(&page, sourceBox->geometry().center(), {File("a.png"), File("b.png")}));
        QCOMPARE(Doc().GetSourcePath(), File("a.png"));
        QCOMPARE(Doc().GetTargetPath(), File("b.png"));
        QCOMPARE(sourceBox->text(), File("a.png"));
        QCOMPARE(targetBox->text(), File("b.png"));
        QVERIFY(!page.m_wndDstPreview.grab().isNull());

        QVERIFY(Drop(&page, targetBox->geometry().center(), {File("c.png")}));
        QCOMPARE(Doc().GetSourcePath(), File("a.png"));
        QCOMPARE(Doc().GetTargetPath(), File("c.png"));
        QCOMPARE(targetBox->text(), File("c.png"));
        QVERIFY(Drop(&page, sourceBox->geometry().center(), {File("b.png")}));
        QCOMPARE(Doc().GetSourcePath(), File("b.png"));
        QCOMPARE(sourceBox->text(), File("b.png"));

        // A file that is no picture: the load-failure message, nothing replaced.
        WriteText("text.png", "not a picture");
        QVERIFY(Drop(&page, sourceBox->geometry().center(), {File("text.png")}));
        QCOMPARE(m_messages.texts(), QStringList{LoadFailedMessage(File("text.png"), kNotAPicture)});
        QCOMPARE(sourceBox->text(), File("b.png"));
        QVERIFY(!Drop(&page, sourceBox->geometry().center(), {File("a.png"), File("b.png"), File("c.png")}));
    }
};

QTEST_MAIN(TestPairsFile)
#include "tst_pairsfile.moc"
