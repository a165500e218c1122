#include "ChooserAnswers.h"
#include "DataTable.h"
#include "document/CProjectFile.h"
#include "DropFiles.h"
#include "FailingStep.h"
#include "HandlePage.h"
#include "platform/CAtomicFile.h"
#include "TestFiles.h"
#include "TestImages.h"
#include "wizard/CDialogTemplate.h"
#include "wizard/CProjectCommands.h"
#include "wizard/CSheet_Path.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cerrno>

namespace {

const QString kOpenFailed = QStringLiteral("プロジェクトファイルを開けませんでした。\n\n");

} // namespace

class TestProject : public QObject, public HandlePage
{
    Q_OBJECT

    QString File(const QString& name) const { return m_dir.filePath(name); }
    CSheet_Path& PathPage() { return *static_cast<CSheet_Path*>(m_pDlg->GetSheet(IDD_SHEET_PATH)); }
    CProjectCommands& Commands() { return *m_pDlg->findChild<CProjectCommands*>(); }
    QString PathBox(int nId) { return CDialogTemplate::Find<QLineEdit>(&PathPage(), nId)->text(); }

    static const Pairs& Sample()
    {
        static const Pairs pairs{Pair(10, 12, 14, 16), Pair(30, 5, 28, 9), Pair(-20, 45, 130, -3)};
        return pairs;
    }

    static CMorphTiming Eased()
    {
        CMorphTiming timing;
        timing.m_shape = *CTimingCurve::Parse(QStringLiteral("in-out"));
        timing.m_color = *CTimingCurve::Parse(QStringLiteral("bezier:0.2,0,0.8,1"));
        timing.m_nHoldStart = 2;
        timing.m_nHoldEnd = 3;
        timing.m_nCount = 12;
        timing.m_dFps = 30;
        return timing;
    }

    // A project file of a.png and b.png with the sample pairs and the eased timing.
    void WriteProject(const QString& name)
    {
        CProjectFile project;
        project.m_strSourcePath = File("a.png");
        project.m_strTargetPath = File("b.png");
        project.m_aHandles = HandleArray(Sample());
        project.m_timing = Eased();
        QString error;
        int errnum = 0;
        QVERIFY2(project.Save(File(name), error, errnum), qPrintable(error));
    }

    // The wizard on page nPage with c.png twice and one unsaved pair.
    bool OtherMorphOn(int nPage)
    {
        if (!NewWizard(true) || !LoadOnPage(File("c.png"), File("c.png")))
            return false;
        SetPairs({Pair(1, 1)});
        m_pDlg->ShowPage(nPage);
        return m_pDlg->GetCurSheet() == m_pDlg->GetSheet(nPage);
    }

    void ExpectProjectShown()
    {
        QCOMPARE(m_pDlg->GetCurSheet(), &PathPage());
        QCOMPARE(Doc().GetSourcePath(), File("a.png"));
        QCOMPARE(Doc().GetTargetPath(), File("b.png"));
        QCOMPARE(PathBox(IDC_EDIT_SOURCE), File("a.png"));
        QCOMPARE(PathBox(IDC_EDIT_TARGET), File("b.png"));
        QCOMPARE(DocPairs(), Sample());
        QVERIFY(Doc().m_timing == Eased());
        QVERIFY(!Doc().HasUnsavedPairs());
    }

public:
    TestProject() : HandlePage(IDYES) {}

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(TestImages::WritePattern(File("a.png"), 80, 60));
        QVERIFY(TestImages::WritePattern(File("b.png"), 80, 60));
        QVERIFY(TestImages::WritePattern(File("c.png"), 80, 60));
        QVERIFY(TestImages::WritePattern(File("wide.png"), 81, 60));
        QVERIFY(WriteAll(File("text.png"), "not a picture"));
    }

    void init()
    {
        g_nSelHandle = -1;
        m_messages.clear();
    }

    void cleanup() { m_pDlg.reset(); }

    // Ctrl+Shift+S and Ctrl+Shift+O work on every page: what is saved opens
    // again whole, on page 129.
    void keysOnEveryPage_data()
    {
        QTest::addColumn<int>("page");
        QTest::newRow("129") << int(IDD_SHEET_PATH);
        QTest::newRow("130") << int(IDD_SHEET_HANDLE);
        QTest::newRow("131") << int(IDD_SHEET_MORPH);
    }
    void keysOnEveryPage()
    {
        QFETCH(int, page);
        QVERIFY(NewWizard(true) && LoadOnPage(File("a.png"), File("b.png")));
        SetPairs(Sample());
        Doc().m_timing = Eased();
        m_pDlg->ShowPage(page);
        ChooserAnswers chooser;
        chooser.paths << File("keys.quillarend");
        QTest::keyClick(m_pDlg->GetButton(IDC_NEXT), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(chooser.requests.size(), 1);
        QVERIFY(chooser.requests[0].bSave);
        QVERIFY(!Doc().HasUnsavedPairs());
        QVERIFY(ReadAll(File("keys.quillarend")).startsWith("quillarend-project 1\nsource a.png\ntarget b.png\n"));

        QVERIFY(OtherMorphOn(page));
        chooser.paths << File("keys.quillarend");
        QTest::keyClick(m_pDlg->GetButton(IDC_NEXT), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(chooser.requests.size(), 2);
        QVERIFY(!chooser.requests[1].bSave);
        QCOMPARE(m_messages.texts().size(), 1); // the question about the unsaved pair
        ExpectProjectShown();
    }

    // The project's pairs are one undo step; with other pictures there is nothing before it.
    void openIsOneUndoStep_data()
    {
        Columns<QString, Pairs>({"shown", "beforeOpen"});
        QTest::newRow("the project's pictures") << "a.png" << Pairs{Pair(1, 1), Pair(2, 2)};
        QTest::newRow("other pictures") << "c.png" << Pairs{};
    }
    void openIsOneUndoStep()
    {
        QFETCH(QString, shown);
        QFETCH(Pairs, beforeOpen);
        WriteProject("undo.quillarend");
        QVERIFY(NewWizard(true) && LoadOnPage(File(shown), File("b.png")));
        Doc().AddHandle(CPoint(1, 1));
        Doc().AddHandle(CPoint(2, 2));
        QVERIFY(Commands().OpenProjectFile(File("undo.quillarend")));
        QCOMPARE(DocPairs(), Sample());
        QVERIFY(Doc().m_history.CanUndo());
        Doc().m_history.Undo(Doc().m_aHandles);
        QCOMPARE(DocPairs(), beforeOpen);
        QCOMPARE(Doc().m_history.CanUndo(), !beforeOpen.isEmpty());
        Doc().m_history.Redo(Doc().m_aHandles);
        QCOMPARE(DocPairs(), Sample());
    }

    // A project that cannot be opened says why, with the file, and changes
    // nothing; what the reader refuses is tested with the reader.
    void refused_data()
    {
        Columns<QByteArray, int, QString>({"content", "answer", "message"});
        const QByteArray head = "quillarend-project 1\nsource a.png\n";
        QTest::newRow("newer version") << QByteArray("quillarend-project 2\n") << int(IDYES)
                                       << kOpenFailed + QDir::toNativeSeparators(File("refused.quillarend"))
                + ":1\nこのファイルの形式はバージョン 2 で、このプログラムが読めるバージョン 1 より新しいものです。"
                  "新しい Quillarend で開いてください。";
        QTest::newRow("not a picture") << head + "target text.png\npairs 0\n" << int(IDYES)
                                       << QString(); // the loader's message, with its reason
        QTest::newRow("sizes differ") << head + "target wide.png\npairs 0\n" << int(IDYES)
                                      << kOpenFailed + QDir::toNativeSeparators(File("refused.quillarend"))
                + "\n元画像と変更後の画像サイズが異なります。";
        QTest::newRow("unsaved pairs kept") << head + "target b.png\npairs 0\n" << int(IDNO)
                                            << "保存していないポイントがあります。プロジェクトを開くと、"
                                               "今のポイントは置き換えられます。開きますか？";
    }
    void refused()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QVERIFY(WriteAll(File("refused.quillarend"), content));
        QVERIFY(OtherMorphOn(IDD_SHEET_HANDLE));
        m_messages.answers << answer;
        QVERIFY(!Commands().OpenProjectFile(File("refused.quillarend")));
        QCOMPARE(m_messages.texts().last(), message.isEmpty() ? LoadFailedMessage(File("text.png"), kNotAPicture) : message);
        QCOMPARE(m_pDlg->GetCurSheet(), &Page());
        QCOMPARE(Doc().GetSourcePath(), File("c.png"));
        QCOMPARE(DocPairs(), Pairs{Pair(1, 1)});
        QVERIFY(Doc().m_timing == CMorphTiming());
    }

    // While a point is dragged its pair stays: no project replaces the pairs then.
    void notWhileDragging()
    {
        WriteProject("drag.quillarend");
        QVERIFY(OtherMorphOn(IDD_SHEET_HANDLE));
        View(true).grabMouse();
        QVERIFY(!Commands().OpenProjectFile(File("drag.quillarend")));
        View(true).releaseMouse();
        QCOMPARE(DocPairs(), Pairs{Pair(1, 1)});
        QVERIFY(Commands().OpenProjectFile(File("drag.quillarend")));
    }

    // A project file dropped anywhere on the window opens, also over pages that take drops of their own.
    void drop_data()
    {
        QTest::addColumn<int>("page");
        QTest::newRow("on page 129") << int(IDD_SHEET_PATH);
        QTest::newRow("on page 130") << int(IDD_SHEET_HANDLE);
        QTest::newRow("on the frame, page 131") << int(IDD_SHEET_MORPH);
    }
    void drop()
    {
        QFETCH(int, page);
        WriteProject("dropped.QUILLAREND");
        QVERIFY(OtherMorphOn(page));
        QWidget* target = page == IDD_SHEET_MORPH ? static_cast<QWidget*>(m_pDlg.get()) : m_pDlg->GetCurSheet();
        QVERIFY(Drop(target, QPoint(5, 5), {File("dropped.QUILLAREND")}));
        ExpectProjectShown();
        // Two files are no project: page 129 takes them as pictures, as before.
        if (page == IDD_SHEET_PATH)
            QVERIFY(Drop(target, QPoint(5, 5), {File("c.png"), File("dropped.QUILLAREND")}));
    }

    // Saving needs both pictures of one size; a failed write says why and keeps the pairs unsaved.
    void saveRefused()
    {
        QVERIFY(NewWizard(true));
        ChooserAnswers chooser;
        chooser.paths << File("never.quillarend");
        QVERIFY(!Commands().SaveProject());
        QCOMPARE(m_messages.texts(), QStringList{"元画像が読み込まれていません。"});
        QCOMPARE(chooser.requests.size(), 0);

        QVERIFY(LoadOnPage(File("a.png"), File("b.png")));
        SetPairs(Sample());
        m_messages.clear();
        {
            FailingStep failing(CAtomicFile::EStep::Write, ENOSPC);
            QVERIFY(!Commands().SaveProject());
        }
        QCOMPARE(m_messages.texts(), QStringList{"プロジェクトファイルを保存できませんでした。\n\n"
                                                 + QDir::toNativeSeparators(File("never.quillarend"))
                                                 + "\nディスクの空き容量が不足しています。"});
        QVERIFY(Doc().HasUnsavedPairs());
        QVERIFY(!QFileInfo::exists(File("never.quillarend")));
    }
};

QTEST_MAIN(TestProject)
#include "tst_project.moc"
