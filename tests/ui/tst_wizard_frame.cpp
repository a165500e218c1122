#include "CAboutDlg.h"
#include "CConfigRenbanDlg.h"
#include "CDialogTemplate.h"
#include "CErrorReporter.h"
#include "CFileChooser.h"
#include "CMessageBox.h"
#include "CMorphDlg.h"
#include "CSheet.h"
#include "ControlIds.h"
#include "DataTable.h"
#include "MessageRecorder.h"
#include "TestImages.h"
#include "WizardFrame.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cmath>
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

// The texts on labels and buttons below root that do not fit their
// rectangle, laid out as the controls lay them out, and those not in the
// dialog font of their owner.
QStringList CutTexts(const QWidget* root)
{
    QStringList cut;
    for (const QLabel* label : root->findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue; // the About box's icon
        const QRect box = label->contentsRect();
        int flags = int(label->alignment());
        if (label->wordWrap())
            flags |= Qt::TextWordWrap;
        if (label->buddy())
            flags |= Qt::TextShowMnemonic;
        const QRect need = QFontMetrics(label->font()).boundingRect(box, flags, label->text());
        if (!box.contains(need))
            cut << QStringLiteral("%1: %2x%3 needs %4x%5")
                       .arg(label->text())
                       .arg(box.width())
                       .arg(box.height())
                       .arg(need.width())
                       .arg(need.height());
        if (label->font() != label->window()->font() && label->font() != label->parentWidget()->font())
            cut << label->text() + QStringLiteral(": own font");
    }
    for (const QPushButton* button : root->findChildren<QPushButton*>()) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        if (button->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        if (button->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
        const QRect box = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const QRect need =
            QFontMetrics(button->font()).boundingRect(box, Qt::AlignCenter | Qt::TextShowMnemonic, button->text());
        if (!box.contains(need))
            cut << QStringLiteral("%1: %2x%3 needs %4x%5")
                       .arg(button->text())
                       .arg(box.width())
                       .arg(box.height())
                       .arg(need.width())
                       .arg(need.height());
        if (button->font() != button->parentWidget()->font())
            cut << button->text() + QStringLiteral(": own font");
    }
    return cut;
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
        WizardFrame dlg;
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
        // The frame alone has none: the application adds them.
        for (int id : {IDD_SHEET_PATH, IDD_SHEET_HANDLE, IDD_SHEET_MORPH})
            QVERIFY(dlg.GetSheet(id));
        QVERIFY(!dlg.GetSheet(IDD_SHEET_HANDLE)->isVisible());
        const CMorphDlg bare;
        QVERIFY(bare.m_mapSheets.empty() && !bare.GetCurSheet());
    }

    void layoutFollowsTemplate()
    {
        WizardFrame dlg;
        CDialogTemplate units(&dlg);
        QCOMPARE(dlg.size(), units.Size(507, 386));
        QCOMPARE(dlg.GetButton(IDC_NEXT)->geometry(), units.Rect(450, 365, 50, 14));
        QCOMPARE(dlg.GetButton(IDC_BACK)->geometry(), units.Rect(400, 365, 50, 14));
        QCOMPARE(dlg.GetButton(IDC_CANCEL)->geometry(), units.Rect(315, 365, 50, 14));
        QCOMPARE(dlg.GetCurSheet()->geometry(), units.Rect(7, 7, 493, 347));
        const QWidget* place = CDialogTemplate::Find(&dlg, IDC_SHEET_PLACE);
        QVERIFY(place && !place->isVisibleTo(&dlg));
    }

    // At 96 DPI the frame keeps to 1014 x 627 px whatever the font, so with
    // a title bar it fits a 1366 x 768 screen (at most 698 px with a panel).
    void frameFitsScreen()
    {
        WizardFrame dlg;
        if (dlg.logicalDpiY() != 96)
            QSKIP("the size bound is for 96 DPI");
        QVERIFY(dlg.width() <= 1014);
        QVERIFY(dlg.height() <= 627);
    }

    // The dialog font is the largest size, at most 9 points, whose units stay
    // within 2/3 em x 13/12 em.
    void dialogFontFitsUnits_data()
    {
        QTest::addColumn<int>("em");
        for (int em : {12, 13, 15, 18, 24, 36})
            QTest::newRow(qPrintable(QStringLiteral("em %1").arg(em))) << em;
    }
    void dialogFontFitsUnits()
    {
        QFETCH(int, em);
        QFont font = CDialogTemplate::DialogFont(em);
        const int size = font.pixelSize();
        QVERIFY(size >= (em + 1) / 2 && size <= em);
        const QSize own = CDialogTemplate::BaseUnits(font);
        QVERIFY(3 * own.width() <= 2 * em && 12 * own.height() <= 13 * em);
        if (size < em) {
            font.setPixelSize(size + 1);
            const QSize larger = CDialogTemplate::BaseUnits(font);
            QVERIFY(3 * larger.width() > 2 * em || 12 * larger.height() > 13 * em);
        }
    }

    // The size rule on fonts described by their line height and average
    // letter width in em: a font up to 13/12 em high with letters up to 2/3 em
    // is used at the full em, 9 points at any DPI; taller or wider ones are
    // made smaller.
    void fittingPixelSize_data()
    {
        Columns<int, double, double, int>({"em", "line", "letter", "size"});
        QTest::newRow("one em, 96 DPI") << 12 << 1.0 << 0.5 << 12;
        QTest::newRow("one em, 128 DPI") << 16 << 1.0 << 0.5 << 16;
        QTest::newRow("one em, odd em") << 15 << 1.0 << 0.5 << 15;
        QTest::newRow("one em, 192 DPI") << 24 << 1.0 << 0.5 << 24;
        QTest::newRow("IPA P: 1.076 em, letters 0.59 em") << 12 << 2203 / 2048.0 << 0.59 << 12;
        QTest::newRow("line a pixel too tall") << 12 << 1.17 << 0.5 << 11;
        QTest::newRow("letters a pixel too wide") << 12 << 1.0 << 0.7 << 11;
        QTest::newRow("Noto: 1.45 em") << 12 << 1.448 << 0.58 << 9;
        QTest::newRow("Noto, 192 DPI") << 24 << 1.448 << 0.58 << 18;
        QTest::newRow("never fits") << 12 << 3.0 << 0.5 << 6;
        QTest::newRow("never fits, odd em") << 13 << 3.0 << 0.5 << 6;
        QTest::newRow("one pixel") << 1 << 3.0 << 0.5 << 1;
    }
    void fittingPixelSize()
    {
        QFETCH(int, em);
        QFETCH(double, line);
        QFETCH(double, letter);
        QFETCH(int, size);
        QList<int> asked;
        const int found = CDialogTemplate::FittingPixelSize(em, [&](int px) {
            asked << px;
            return QSize(int(std::ceil(letter * px)), qRound(line * px));
        });
        QCOMPARE(found, size);
        QCOMPARE(asked.first(), em);
        for (int i = 1; i < asked.size(); ++i)
            QCOMPARE(asked[i], asked[i - 1] - 1);
    }

    // With the fonts the setup installs the dialog text is 9 points, 12 px
    // at 96 DPI, in 8 x 13 px units.
    void setupFontMatchesDesign()
    {
        const QFont font = CDialogTemplate::DialogFont(12);
        const QString family = QFontInfo(font).family();
        if (family != QStringLiteral("MS UI Gothic") && family != QStringLiteral("IPAPGothic"))
            QFAIL(qPrintable(family + QStringLiteral(" found; fonts-ipafont-gothic is missing")));
        QCOMPARE(font.pixelSize(), 12);
        if (family == QStringLiteral("IPAPGothic"))
            QCOMPARE(CDialogTemplate::BaseUnits(font), QSize(8, 13));
    }

    // Every label and button text fits its rectangle, on every page with the
    // frame's button texts of that page, in the About box and the count
    // dialog; each window uses its one dialog font.
    void textsFit()
    {
        WizardFrame dlg;
        loadPictures(dlg);
        dlg.show();
        for (int id : {IDD_SHEET_PATH, IDD_SHEET_HANDLE, IDD_SHEET_MORPH}) {
            dlg.ShowPage(id);
            QCOMPARE(CutTexts(&dlg), QStringList());
        }
        CAboutDlg about(&dlg);
        QCOMPARE(CutTexts(&about), QStringList());
        CConfigRenbanDlg count(&dlg);
        QCOMPARE(CutTexts(&count), QStringList());
        for (const QWidget* w : {static_cast<QWidget*>(&dlg), static_cast<QWidget*>(&about),
                                 static_cast<QWidget*>(&count)})
            QCOMPARE(w->font(), CDialogTemplate::DialogFont(CDialogTemplate::EmPixels(w)));
    }

    // A chooser given no file name opens in the folder of the file chosen
    // last, one given a name in that file's folder. Each step is "initial
    // name|answer" (no answer: cancelled); the first sets a known folder.
    void chooserOpensInLastFolder_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("folders"); // where each later step opened
        QTest::newRow("after a choice") << QStringList{"|/a/s.png", "|"} << "/a";
        QTest::newRow("the last choice counts") << QStringList{"|/a/s.png", "|/b/o.jpg", "|"} << "/a /b";
        QTest::newRow("a name wins, cancel forgets it") << QStringList{"|/a/s.png", "/c/t.png|", "|"} << "/c /a";
    }
    void chooserOpensInLastFolder()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, folders);
        QStringList seen;
        QString answer;
        const CFileChooser::Handler previous = CFileChooser::SetHandler([&](const CFileChooser::Request& request) {
            seen << request.strInitialFolder;
            return answer;
        });
        for (const QString& step : steps) {
            answer = step.section(u'|', 1);
            CFileChooser::GetOpenFileName(nullptr, step.section(u'|', 0, 0), QString());
        }
        CFileChooser::SetHandler(previous);
        QCOMPARE(seen.mid(1).join(u' '), folders);
    }

    // A normal application window, not a dialog: no transient parent, not
    // modal, yet exec() runs until the frame ends and returns its result.
    void frameIsApplicationWindow()
    {
        WizardFrame dlg;
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

    // A focused push button answers Enter and Space, though none is the default.
    void focusedButtonTakesEnter_data()
    {
        Columns<int, int>({"key", "modifiers"});
        QTest::newRow("return") << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("keypad enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
        QTest::newRow("space") << int(Qt::Key_Space) << int(Qt::NoModifier);
    }
    void focusedButtonTakesEnter()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        const auto press = [&](QWidget* w) {
            w->setFocus();
            QTest::keyClick(w, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        };
        MessageRecorder rec;
        int chosen = 0;
        const CFileChooser::Handler previous = CFileChooser::SetHandler([&](const CFileChooser::Request&) {
            ++chosen;
            return QString();
        });
        {
            WizardFrame dlg;
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            press(dlg.GetButton(IDC_NEXT)); // page 129 refuses: nothing loaded
            QCOMPARE(rec.texts(), QStringList{QStringLiteral("元画像が読み込まれていません。")});
            press(CDialogTemplate::Find<QPushButton>(dlg.GetSheet(IDD_SHEET_PATH), IDC_BROWSE_TARGET));
            QCOMPARE(chosen, 1);
            for (int id : {IDC_CANCEL, IDC_NEXT, IDC_BACK})
                QVERIFY(!dlg.GetButton(id)->isDefault());
            QTimer::singleShot(0, &dlg, [&] { press(dlg.GetButton(IDC_CANCEL)); });
            QCOMPARE(dlg.exec(), int(IDCANCEL));
        }
        {
            // The count dialog's OK is its default, but a focused Cancel cancels.
            CConfigRenbanDlg count;
            QTimer::singleShot(0, &count, [&] { press(CDialogTemplate::Find<QPushButton>(&count, IDC_CANCEL)); });
            QCOMPARE(count.exec(), int(QDialog::Rejected));
        }
        CFileChooser::SetHandler(previous);
        QCOMPARE(rec.boxes.size(), 1);
    }

    // Enter in a path box reaches no button: the frame has no default one.
    void enterElsewhereClicksNothing()
    {
        MessageRecorder rec;
        WizardFrame dlg;
        dlg.show();
        QLineEdit* path = CDialogTemplate::Find<QLineEdit>(dlg.GetSheet(IDD_SHEET_PATH), IDC_EDIT_SOURCE);
        path->setFocus();
        QTest::keyClick(path, Qt::Key_Return);
        QVERIFY(rec.boxes.isEmpty());
        QCOMPARE(dlg.GetCurSheet()->GetId(), int(IDD_SHEET_PATH));
    }

    // The button protocol across the three pages, walked with the real
    // buttons. After each switch the page's first control has the focus, so
    // Enter and Space there end nothing.
    void buttonProtocol()
    {
        WizardFrame dlg;
        dlg.show();
        loadPictures(dlg);
        MessageRecorder rec;
        const auto keysStay = [&](const char* focused) {
            QVERIFY(dlg.focusWidget() && dlg.focusWidget()->inherits(focused));
            QVERIFY(dlg.GetCurSheet()->isAncestorOf(dlg.focusWidget()));
            const int page = dlg.GetCurSheet()->GetId();
            for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space})
                QTest::keyClick(dlg.focusWidget(), key);
            QVERIFY(dlg.isVisible());
            QCOMPARE(dlg.GetCurSheet()->GetId(), page);
        };
        keysStay("QLineEdit");
        QTest::mouseClick(dlg.GetButton(IDC_NEXT), Qt::LeftButton);
        QCOMPARE(dlg.GetCurSheet()->GetId(), int(IDD_SHEET_HANDLE));
        keysStay("CMorphHandleWnd");
        QVERIFY(State(dlg, IDC_BACK).enabled);
        QCOMPARE(State(dlg, IDC_NEXT).text, QStringLiteral("次へ(&N) >"));
        QVERIFY(!dlg.GetSheet(IDD_SHEET_PATH)->isVisible());

        QTest::mouseClick(dlg.GetButton(IDC_NEXT), Qt::LeftButton); // no pairs: still goes on
        QCOMPARE(dlg.GetCurSheet()->GetId(), int(IDD_SHEET_MORPH));
        keysStay("CSliderCtrl");
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

    // Pairs not saved are asked about once on the way out, finishing included.
    void endings_data()
    {
        QTest::addColumn<int>("way");
        QTest::addColumn<int>("pairs"); // 0 none, 1 unsaved, 2 saved
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("result"); // 0: the frame stays
        QTest::newRow("cancel button") << 0 << 0 << 0 << int(IDCANCEL);
        QTest::newRow("close box") << 1 << 0 << 0 << int(IDCANCEL);
        QTest::newRow("escape") << 2 << 0 << 0 << int(IDCANCEL);
        QTest::newRow("finish on the last page") << 3 << 0 << 0 << int(IDOK);
        QTest::newRow("cancel button, unsaved, no") << 0 << 1 << int(IDNO) << 0;
        QTest::newRow("close box, unsaved, yes") << 1 << 1 << int(IDYES) << int(IDCANCEL);
        QTest::newRow("escape, saved") << 2 << 2 << 0 << int(IDCANCEL);
        QTest::newRow("finish, unsaved, no") << 3 << 1 << int(IDNO) << 0;
        QTest::newRow("finish, unsaved, yes") << 3 << 1 << int(IDYES) << int(IDOK);
        QTest::newRow("finish, saved") << 3 << 2 << 0 << int(IDOK);
    }
    void endings()
    {
        QFETCH(int, way);
        QFETCH(int, pairs);
        QFETCH(int, answer);
        QFETCH(int, result);
        WizardFrame dlg;
        loadPictures(dlg);
        if (pairs)
            dlg.m_pMorphData->AddHandle(CPoint(1, 1));
        if (pairs == 2)
            dlg.m_pMorphData->MarkPairsSaved();
        MessageRecorder rec(answer);
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
            if (dlg.isVisible())
                dlg.EndDialog(0);
        });
        QCOMPARE(dlg.exec(), result);
        QCOMPARE(rec.texts(), answer ? QStringList{QStringLiteral("保存していないポイントがあります。保存せずに終了しますか？")}
                                     : QStringList());
        if (answer)
            QCOMPARE(rec.boxes[0].type, unsigned(MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION));
    }

    // Enter in a question whose second button is the default answers No.
    void messageBoxDefault()
    {
        QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
        QCOMPARE(CMorphApp::DialogMessageBox(QStringLiteral("?"), CMessageBox::Caption(), MB_YESNO | MB_DEFBUTTON2),
                 int(IDNO));
    }

    void switchRunsEnterHiddenUnderWaitCursor()
    {
        WizardFrame dlg;
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
        QCOMPARE(dlg.focusWidget(), dlg.GetButton(IDC_NEXT)); // the page has no control

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
        WizardFrame dlg;
        dlg.m_mapSheets[998] = std::make_unique<Throwing>(998, &dlg);
        MessageRecorder rec;
        dlg.ShowPage(998); // reports the error itself
        QVERIFY(!QGuiApplication::overrideCursor());
        // The message-box handler it put over the recorder is gone again.
        CMessageBox::Show(QStringLiteral("x"));
        QCOMPARE(rec.texts(), (QStringList{QStringLiteral("無効な引数が指定されたため、操作を完了できませんでした。"),
                                           QStringLiteral("x")}));
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
        WizardFrame dlg;
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
        Columns<int, QString>({"kind", "text"});
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
        CErrorReporter::Report(error);
        QCOMPARE(rec.texts(), QStringList{text});
        QCOMPARE(rec.boxes[0].type, unsigned(MB_OK | MB_ICONERROR));
    }
};

QTEST_MAIN(TestFrame)
#include "tst_wizard_frame.moc"
