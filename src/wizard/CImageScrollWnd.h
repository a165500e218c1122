#pragma once

#include "CImage.h"
#include "CRect.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

class QScrollBar;

// Shows one picture at its own size (one screen pixel per picture pixel) in a
// fixed window with a sunken edge and two scroll bars. A picture smaller than
// the window is centred on white, a larger one is scrolled. The view draws
// into a back buffer of the client size and painting only copies that buffer;
// the picture itself belongs to the owner.
class CImageScrollWnd : public QWidget
{
    Q_OBJECT

public:
    CImageScrollWnd();
    ~CImageScrollWnd() override;
    CImageScrollWnd(const CImageScrollWnd&) = delete;
    CImageScrollWnd& operator=(const CImageScrollWnd&) = delete;

    // Places the view on rect of pParent and shows it, then measures the
    // client area and makes the back buffer of that size. False only when
    // there is no parent or the view was created already.
    bool Create(const QRect& rect, QWidget* pParent);

    // Range and page of both bars from the picture's size; the positions stay,
    // limited to the new ranges. Does nothing without a picture.
    void UpdateScrollBars();

    // Where the picture lies in client coordinates: centred along an axis where
    // it fits, else shifted by that axis's scroll position.
    CRect GetImageRect() const;

    // Rebuilds the back buffer; with bToScreen also shows it at once.
    virtual void Redraw(bool bToScreen);

    // Schedules a full repaint from the back buffer.
    void InvalidateAll();

    QScrollBar* GetScrollBar(Qt::Orientation o) const;

    // Top left corner of the client area in the view's own coordinates.
    QPoint GetClientOrigin() const { return m_ptClientOrigin; }

    // Pixels scrolled by one arrow click or one wheel notch.
    static constexpr int kLineStep = 16;

    CImage* m_pImage = nullptr; // not owned
    CRect m_rcClient;           // measured at Create, never changed afterwards

protected:
    // White fill of the whole buffer, then the picture at GetImageRect.
    void DrawImage();
    // Takes the buffer over for painting; with bToScreen paints it at once.
    void Present(bool bToScreen);

    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // Taken here, so a right click in the view never reaches the frame's menu.
    void contextMenuEvent(QContextMenuEvent* event) override;

    CImage m_imgBuffer; // back buffer, size of m_rcClient

private:
    void OnScroll();

    QScrollBar* m_pHScroll;
    QScrollBar* m_pVScroll;
    QPoint m_ptClientOrigin;
    QImage m_imgScreen; // m_imgBuffer as of the last Redraw, ready to paint
    int m_nWheelDelta = 0;
};
