#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// An up-down control: a pair of arrow buttons at the right edge of a buddy
// edit box. Each click (held down, it repeats) or Up / Down key in the buddy
// steps the whole number in the buddy by one within the range and writes it
// back in plain decimal. Text that is not a whole number steps from the last
// number written.
class CSpinButtonCtrl : public QWidget
{
    Q_OBJECT

public:
    explicit CSpinButtonCtrl(QWidget* parent);
    ~CSpinButtonCtrl() override;

    // Moves the control to the buddy's right edge at the buddy's height; the
    // buddy narrows to make room.
    void SetBuddy(QLineEdit* buddy);
    void SetRange32(int lower, int upper);

    QToolButton* GetUpButton() const { return m_pUp; }
    QToolButton* GetDownButton() const { return m_pDown; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Step(int delta);

    QLineEdit* m_pBuddy = nullptr;
    QToolButton* m_pUp;
    QToolButton* m_pDown;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;
};
