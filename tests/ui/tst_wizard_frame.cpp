#include "CAboutDlg.h"
#include "CDialogTemplate.h"
#include "CMessageBox.h"
#include "CMorphApp.h"
#include "CMorphDlg.h"
#include "CSheet.h"
#include "ControlIds.h"
#include "MessageRecorder.h"
#include "TestImages.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <stdexcept>

namespace {

// A page that notes what the frame did to it.
class ProbeSheet : public CSheet
{
public:
    ProbeSheet(int id, CMorphDlg* frame) : CSheet(id, frame) {}
    void OnEnter() override
    {
        visibleAtEnter = isVisible();
        cursorAtEnter = QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape() : -1;
        ++enters;
    }
    bool visibleAtEnter = true;
    int cursorAtEnter = -2;
    int enters = 0;
};

struct ButtonState
{
    QString text;
    bool enabled;
};

ButtonState State(const CMorphDlg& dlg, int id)
{
    const QPushButton* b = dlg.GetButton(id);
    return {b->text(), b->isEnabled()};
}

} // namespace

class TestFrame : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    void loadPictures(CMorphDlg& dlg)
    {
        QVERIFY(TestImages::WritePattern(m_dir.filePath("a.png"), 40, 30));
        QVERIFY(dlg.m_pMorphData->LoadSource(m_dir.filePath("a.png")));
        QVERIFY(dlg.m_pMorphData->LoadTarget(m_dir.filePath("a.png")));
    }

private Q_SLOTS:
    void startsOnFirstPage()
    {
        CMorphDlg dlg;
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Quillarend - Presented by Lumenhollow"));
        QVERIFY(dlg.GetCurSheet());
        QCOMPARE(dlg.GetCurSheet()->GetId(), int(IDD_SHEET_PATH));
        QVERIFY(dlg.GetCurSheet()->isVisible());
        QCOMPARE(State(dlg, IDC_BACK).text, QStringLiteral("< 前へ(&B)"));
        QVERIFY(!State(dlg, IDC_BACK).enabled);
        QCOMPARE(State(dlg, IDC_NEXT).text, QStringLiteral("次へ(&N) >"));
        QVERIFY(State(dlg, IDC_NEXT).enabled);
        QCOMPARE(dlg.GetButton(IDC_CANCEL)->text(), QStringLiteral("キャンセル"));
        for (int id : {IDC_CANCEL, IDC_NEXT, IDC_BACK}) {
            QVERIFY(!dlg.GetButton(id)->isDefault());
            QVERIFY(!dlg.GetButton(id)->autoDefault());
        }
        QVERIFY(!(dlg.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(dlg.windowFlags() & Qt::WindowMinimizeButtonHint);
        // The three pages exist from the start, hidden but the one on show.
        for (int id : {IDD_SHEET_PATH, IDD_SHEET_HANDLE, IDD_SHEET_MORPH})
            QVERIFY(dlg.GetSheet(id));
        QVERIFY(!dlg.GetSheet(IDD_SHEET_HANDLE)->isVisible());
    }

    void layoutFollowsTemplate()
    {
        CMorphDlg dlg;
        CDialogTemplate units(&dlg);
        QCOMPARE(dlg.size(), units.Size(507, 386));
        QCOMPARE(dlg.GetButton(IDC_NEXT)->geometry(), units.Rect(450, 365, 50, 14));
        QCOMPARE(dlg.GetButton(IDC_BACK)->geometry(), units.Rect(400, 365, 50, 14));
        QCOMPARE(dlg.GetButton(IDC_CANCEL)->geometry(), units.Rect(315, 365, 50, 14));
        QCOMPARE(dlg.GetCurSheet()->geometry(), units.Rect(7, 7, 493, 347));
        const QWidget* place = CDialogTemplate::Find(&dlg, IDC_SHEET_PLACE);
        QVERIFY(place && !place->isVisibleTo(&dlg));
    }

    // A normal application window, not a dialog: no transient parent, not
    // modal, yet exec() runs until the frame ends and returns its result.
    void frameIsApplicationWindow()
    {
        CMorphDlg dlg;
        QCOMPARE(dlg.windowType(), Qt::Window);
        Qt::WindowModality modality = Qt::ApplicationModal;
        bool transient = true;
        bool visible = false;
        QTimer::singleShot(0, &dlg, [&] {
            modality = dlg.windowHandle()->modality();
            transient = dlg.windowHandle()->transientParent() != nullptr;
            visible = dlg.isVisible();
            dlg.EndDialog(IDOK);
        });
        QCOMPARE(dlg.exec(), int(IDOK));
        QCOMPARE(modality, Qt::NonModal);
        QVERIFY(!transient);
        QVERIFY(visible);
        QVERIFY(!dlg.isVisible());
    }

    // The button protocol across the three pages, walked with the real buttons.
    void buttonProtocol()
    {
        CMorphDlg dlg;
        dlg.show();
        loadPictures(dlg);
        MessageRecorder rec;
        QTest::mouseClick(dlg.GetButton(IDC_NEXT), Qt::LeftButton);
        QCOMPARE(dlg.GetCurSheet()->GetId(), int(IDD_SHEET_HANDLE));
        QVERIFY(State(dlg, IDC_BACK).enabled);
        QCOMPARE(State(dlg, IDC_NEXT).text, QStringLiteral("次へ(&N) >"));
        QVERIFY(!dlg.GetSheet(IDD_SHEET_PATH)->isVisible());

        QTest::mouseClick(dlg.GetButton(IDC_NEXT), Qt::LeftButton); // no pairs: still goes on
        QCOMPARE(dlg.GetCurSheet()->GetId(), int(IDD_SHEET_MORPH));
        QCOMPARE(State(dlg, IDC_NEXT).text, QStringLiteral("終了"));
        QVERIFY(State(dlg, IDC_NEXT).enabled);
        QVERIFY(State(dlg, IDC_BACK).enabled);

        QTest::mouseClick(dlg.GetButton(IDC_BACK), Qt::LeftButton);
        QCOMPARE(dlg.GetCurSheet()->GetId(), int(IDD_SHEET_HANDLE));
        QTest::mouseClick(dlg.GetButton(IDC_BACK), Qt::LeftButton);
        QCOMPARE(dlg.GetCurSheet()->GetId(), int(IDD_SHEET_PATH));
        QVERIFY(!State(dlg, IDC_BACK).enabled);
        QVERIFY(rec.boxes.isEmpty());
    }

    void endings_data()
    {
        QTest::addColumn<int>("way");
        QTest::addColumn<int>("result");
        QTest::newRow("cancel button") << 0 << int(IDCANCEL);
        QTest::newRow("close box") << 1 << int(IDCANCEL);
        QTest::newRow("escape") << 2 << int(IDCANCEL);
        QTest::newRow("finish on the last page") << 3 << int(IDOK);
    }
    void endings()
    {
        QFETCH(int, way);
        QFETCH(int, result);
        CMorphDlg dlg;
        loadPictures(dlg);
        MessageRecorder rec;
        QTimer::singleShot(0, &dlg, [&] {
            switch (way) {
            case 0: QTest::mouseClick(dlg.GetButton(IDC_CANCEL), Qt::LeftButton); break;
            case 1: dlg.close(); break;
            case 2: QTest::keyClick(&dlg, Qt::Key_Escape); break;
            default:
                dlg.ShowPage(IDD_SHEET_MORPH);
                QTest::mouseClick(dlg.GetButton(IDC_NEXT), Qt::LeftButton);
                break;
            }
        });
        QCOMPARE(dlg.exec(), result);
        QVERIFY(rec.boxes.isEmpty()); // no question on the way out
    }

    void switchRunsEnterHiddenUnderWaitCursor()
    {
        CMorphDlg dlg;
        dlg.show();
        auto* probe = new ProbeSheet(999, &dlg);
        dlg.m_mapSheets[999].reset(probe);
        dlg.ShowPage(999);
        QCOMPARE(probe->enters, 1);
        QVERIFY(!probe->visibleAtEnter);
        QCOMPARE(probe->cursorAtEnter, int(Qt::WaitCursor));
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(probe->isVisible());
        QVERIFY(!dlg.GetSheet(IDD_SHEET_PATH)->isVisible());

        dlg.ShowPage(12345); // unknown: the current page is hidden and none shown
        QVERIFY(!dlg.GetCurSheet());
        QVERIFY(!probe->isVisible());
        QTest::mouseClick(dlg.GetButton(IDC_NEXT), Qt::LeftButton); // nothing happens
        QTest::mouseClick(dlg.GetButton(IDC_BACK), Qt::LeftButton);
        QVERIFY(!dlg.GetCurSheet());
    }

    void waitCursorEndsWhenEnterThrows()
    {
        struct Throwing : CSheet
        {
            using CSheet::CSheet;
            void OnEnter() override { throw std::invalid_argument("bad"); }
        };
        CMorphDlg dlg;
        dlg.m_mapSheets[998] = std::make_unique<Throwing>(998, &dlg);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, dlg.ShowPage(998));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void aboutBox()
    {
        CAboutDlg about;
        QCOMPARE(about.windowTitle(), QStringLiteral("バージョン情報"));
        const auto* version = CDialogTemplate::Find<QLabel>(&about, IDC_ABOUT_VERSION);
        QVERIFY(version);
        QCOMPARE(version->text(), QStringLiteral("Quillarend Version 1.00"));
        QVERIFY(CDialogTemplate::Find<QLabel>(&about, IDC_ABOUT_COPYRIGHT));
        auto* ok = CDialogTemplate::Find<QPushButton>(&about, IDC_OK);
        QVERIFY(ok && ok->isDefault());

        // F1 on the frame opens it modally.
        CMorphDlg dlg;
        dlg.show();
        QString title;
        QTimer::singleShot(0, &dlg, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            title = modal ? modal->windowTitle() : QString();
            if (modal)
                static_cast<QDialog*>(modal)->accept();
        });
        QTest::keyClick(&dlg, Qt::Key_F1);
        QCOMPARE(title, QStringLiteral("バージョン情報"));
    }

    void exceptionsBecomeErrorBoxes_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("out of memory") << 0 << QStringLiteral("メモリが不足しているため、操作を完了できませんでした。");
        QTest::newRow("bad index") << 1 << QStringLiteral("無効な引数が指定されたため、操作を完了できませんでした。");
        QTest::newRow("other") << 2 << QStringLiteral("内部エラーが発生したため、操作を完了できませんでした。");
    }
    void exceptionsBecomeErrorBoxes()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        MessageRecorder rec;
        std::exception_ptr error;
        try {
            if (kind == 0)
                throw std::bad_alloc();
            if (kind == 1)
                throw std::invalid_argument("index");
            throw 42;
        } catch (...) {
            error = std::current_exception();
        }
        CMorphApp::ReportException(error);
        QCOMPARE(rec.texts(), QStringList{text});
        QCOMPARE(rec.boxes[0].type, unsigned(MB_OK | MB_ICONERROR));
    }
};

QTEST_MAIN(TestFrame)
#include "tst_wizard_frame.moc"
