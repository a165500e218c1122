#include "platform/CMessageBox.h"

#include <cstdio>
#include <utility>

namespace {

CMessageBox::Handler& CurrentHandler()
{
    static CMessageBox::Handler s_handler;
    return s_handler;
}

} // namespace

QString CMessageBox::Caption()
{
    return QStringLiteral("Quillarend");
}

unsigned CMessageBox::WithDefaultIcon(unsigned type)
{
    if (type & MB_ICONMASK)
        return type;
    switch (type & MB_TYPEMASK) {
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return type | MB_ICONQUESTION;
    default:
        return type | MB_ICONEXCLAMATION;
    }
}

int CMessageBox::Show(const QString& text, unsigned type)
{
    const unsigned full = WithDefaultIcon(type);
    const Handler& handler = CurrentHandler();
    return handler ? handler(text, Caption(), full) : StderrHandler(text, Caption(), full);
}

CMessageBox::Handler CMessageBox::SetHandler(Handler handler)
{
    return std::exchange(CurrentHandler(), std::move(handler));
}

int CMessageBox::StderrHandler(const QString& text, const QString& caption, unsigned type)
{
    std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(), text.toLocal8Bit().constData());
    switch (type & MB_TYPEMASK) {
    case MB_OK:
        return IDOK;
    case MB_YESNO:
        return IDNO;
    default:
        return IDCANCEL;
    }
}
