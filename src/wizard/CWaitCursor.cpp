#include "CWaitCursor.h"

#include "CMessageBox.h"

#include <QCursor>
#include <QGuiApplication>

CWaitCursor::CWaitCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

CWaitCursor::~CWaitCursor()
{
    QGuiApplication::restoreOverrideCursor();
}

int CWaitCursor::Message(const QString& text, unsigned type)
{
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = CMessageBox::Show(text, type);
    QGuiApplication::restoreOverrideCursor();
    return result;
}
