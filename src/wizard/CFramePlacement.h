#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QTimer>

class QWidget;

// Keeps a top-level window's whole frame, title bar included, inside its
// screen's available area when it is shown. Qt places a new window before
// the window manager has framed it, as if it had no frame, so the title bar
// can end up above the screen; the frame's size is known only some moments
// later, so the place is checked a few times a second until the frame is
// known (for at most kSettleMs). Moves after that are the user's.
class CFramePlacement : public QObject
{
public:
    // Watches window for as long as it lives.
    static void Install(QWidget* window);
    // The top-left corner that puts frame inside area, moving it as little as
    // possible; a frame larger than area keeps area's top-left corner on screen.
    static QPoint Inside(const QRect& frame, const QRect& area);

    // How long after a show the frame is waited for, and how often looked at.
    static constexpr int kSettleMs = 2000;
    static constexpr int kCheckMs = 50;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit CFramePlacement(QWidget* window);
    // Moves the window inside; true once its frame is known.
    bool Keep();
    void Check();

    QWidget* m_pWindow;
    QElapsedTimer m_shown;
    QTimer* m_pTimer;
};
