#include "CButton.h"

#include <QKeyEvent>

CButton::CButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void CButton::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}
