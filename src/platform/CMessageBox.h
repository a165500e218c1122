#pragma once

#include <QString>

#include <functional>

// Box types and results, with the values the rest of the program compares against.
enum : unsigned {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_TYPEMASK = 0x0F,
    MB_ICONHAND = 0x10,
    MB_ICONERROR = MB_ICONHAND,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONWARNING = MB_ICONEXCLAMATION,
    MB_ICONASTERISK = 0x40,
    MB_ICONINFORMATION = MB_ICONASTERISK,
    MB_ICONMASK = 0xF0,
    MB_DEFBUTTON2 = 0x100, // the second button is the default, not the first
    MB_DEFMASK = 0xF00,
};

enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// The application's one message-box operation. Every message of the program
// goes through Show, which fills in the icon and hands the box to the current
// handler: a real dialog in the wizard, a recorder in tests, stderr in tools.
class CMessageBox
{
public:
    // text, caption, type (buttons | icon) → the button pressed
    using Handler = std::function<int(const QString& text, const QString& caption, unsigned type)>;

    static int Show(const QString& text, unsigned type = MB_OK);

    // Installs a handler and returns the previous one; an empty handler
    // restores the default, which writes to stderr.
    static Handler SetHandler(Handler handler);

    // OK and OK/Cancel boxes get the exclamation icon, Yes/No and
    // Yes/No/Cancel boxes the question icon, unless the caller named one.
    static unsigned WithDefaultIcon(unsigned type);

    static QString Caption();

    // The default handler: prints "Caption: text" on stderr and answers with
    // OK for OK boxes, Cancel for OK/Cancel and Yes/No/Cancel, No for Yes/No.
    static int StderrHandler(const QString& text, const QString& caption, unsigned type);
};
