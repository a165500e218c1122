#include "CMorphApp.h"

#include "CErrorReporter.h"
#include "CMessageBox.h"
#include "CMorphDlg.h"
#include "CSheet_Handle.h"
#include "CSheet_Morph.h"
#include "CSheet_Path.h"
#include "ControlIds.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

#include <memory>

CMorphApp::CMorphApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Quillarend"));
    setApplicationVersion(QStringLiteral(QUILLAREND_VERSION));
    setOrganizationName(QStringLiteral("Lumenhollow"));
    // The interface is Japanese; the file dialogs follow when Qt's own
    // Japanese texts are installed.
    auto* translator = new QTranslator(this);
    if (translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(translator);
    CMessageBox::SetHandler(&CMorphApp::DialogMessageBox);
}

CMorphApp::~CMorphApp()
{
    CMessageBox::SetHandler({});
}

bool CMorphApp::InitInstance()
{
    CMorphDlg dlg;
    CreateSheets(dlg);
    dlg.exec();
    return false;
}

void CMorphApp::CreateSheets(CMorphDlg& frame)
{
    frame.AddSheet(std::make_unique<CSheet_Path>(&frame));
    frame.AddSheet(std::make_unique<CSheet_Handle>(&frame));
    frame.AddSheet(std::make_unique<CSheet_Morph>(&frame));
    frame.ShowPage(IDD_SHEET_PATH);
}

bool CMorphApp::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        CErrorReporter::Report(std::current_exception());
        return false;
    }
}

QWidget* CMorphApp::MessageOwner()
{
    // The top modal window (the wizard, the count dialog or an export's
    // progress window, which sits over the wizard) even while the window
    // system has not yet made it active; else the active window.
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

int CMorphApp::DialogMessageBox(const QString& text, const QString& caption, unsigned type)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND: icon = QMessageBox::Critical; break;
    case MB_ICONQUESTION: icon = QMessageBox::Question; break;
    case MB_ICONEXCLAMATION: icon = QMessageBox::Warning; break;
    case MB_ICONASTERISK: icon = QMessageBox::Information; break;
    default: break;
    }
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, MessageOwner());
    box.setWindowModality(Qt::ApplicationModal);
    struct Choice
    {
        QMessageBox::StandardButton button;
        const char16_t* label;
        int result;
    };
    QList<Choice> choices;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        choices = {{QMessageBox::Ok, u"OK", IDOK}, {QMessageBox::Cancel, u"キャンセル", IDCANCEL}};
        break;
    case MB_YESNO:
        choices = {{QMessageBox::Yes, u"はい(&Y)", IDYES}, {QMessageBox::No, u"いいえ(&N)", IDNO}};
        break;
    case MB_YESNOCANCEL:
        choices = {{QMessageBox::Yes, u"はい(&Y)", IDYES},
                   {QMessageBox::No, u"いいえ(&N)", IDNO},
                   {QMessageBox::Cancel, u"キャンセル", IDCANCEL}};
        break;
    default:
        choices = {{QMessageBox::Ok, u"OK", IDOK}};
        break;
    }
    for (const Choice& choice : choices) {
        box.addButton(choice.button);
        box.button(choice.button)->setText(QString::fromUtf16(choice.label));
    }
    box.setDefaultButton((type & MB_DEFMASK) == MB_DEFBUTTON2 && choices.size() > 1 ? choices[1].button
                                                                                     : choices.first().button);
    const int clicked = box.exec();
    for (const Choice& choice : choices)
        if (clicked == choice.button)
            return choice.result;
    // Closed with Esc or the close box: Cancel where there is one, else No or OK.
    switch (type & MB_TYPEMASK) {
    case MB_YESNO: return IDNO;
    case MB_OK: return IDOK;
    default: return IDCANCEL;
    }
}
