#pragma once

#include <QPushButton>

// A push button of a dialog template. With the focus it answers Enter as
// well as Space, whether or not it is the default button, as dialog push
// buttons do on Windows. Space clicks it even where Space is a shortcut.
class CButton : public QPushButton
{
    Q_OBJECT

public:
    CButton(const QString& text, QWidget* parent);

protected:
    // With the focus it keeps Space from a page-wide shortcut on Space.
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
