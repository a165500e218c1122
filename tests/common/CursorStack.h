#pragma once

#include <QCursor>
#include <QGuiApplication>
#include <QList>

// The shapes of the override cursors in force, the one on show first; the
// stack is left as it was.
inline QList<int> CursorStack()
{
    QList<int> shapes;
    QList<QCursor> taken;
    while (const QCursor* cursor = QGuiApplication::overrideCursor()) {
        shapes << int(cursor->shape());
        taken.prepend(*cursor);
        QGuiApplication::restoreOverrideCursor();
    }
    for (const QCursor& cursor : taken)
        QGuiApplication::setOverrideCursor(cursor);
    return shapes;
}
