#pragma once

#include <QPushButton>

// A push button of a dialog template. With the focus it answers Enter as
// well as Space, whether or not it is the default button, as dialog push
// buttons do on Windows.
class CButton : public QPushButton
{
    Q_OBJECT

public:
    CButton(const QString& text, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
