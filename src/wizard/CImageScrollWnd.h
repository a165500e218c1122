#pragma once

#include "platform/CImage.h"
#include "platform/CRect.h"
#include "wizard/CCommandKeys.h"
#include "wizard/CZoom.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

class QScrollBar;

// Shows one picture, at its own size (one screen pixel per picture pixel)
// until the user zooms, in a fixed window with a sunken edge and two scroll
// bars. A picture smaller than the window is centred on white, a larger one
// is scrolled. The view draws into a back buffer of the client size and
// painting only copies that buffer; the picture itself belongs to the owner.
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

    // Where the zoomed picture lies in client coordinates: centred along an
    // axis where it fits, else shifted by that axis's scroll position.
    CRect GetImageRect() const;

    // Zoom in percent; 100 shows one screen pixel per picture pixel.
    int GetZoom() const { return m_zoom.GetPercent(); }
    // The zoom with its conversions between picture and client coordinates.
    const CZoom& Zoom() const { return m_zoom; }
    // Sets the zoom (limited to CZoom::kMin … kMax) so that the picture
    // point under ptAnchor (client coordinates) stays where it is, then
    // redraws to the screen. Does not emit ZoomChanged.
    void SetZoom(int nZoom, const QPoint& ptAnchor);
    // A zoom key: one step in or out, 100 % or the fit, about ptAnchor;
    // tells the other views like the wheel does.
    void ZoomCommand(CCommandKeys::ECommand eCommand, const QPoint& ptAnchor);
    // The client centre, the anchor of the zoom keys away from the mouse.
    QPoint ClientCentre() const;
    // True with the mouse's client position when it is over the client area.
    bool MouseInClient(QPoint& ptClient) const;

    // A draft shown in place of the picture, not owned; null drops it. With
    // nZoom it is the whole picture at that zoom's scale, drawn only at that
    // zoom; with nZoom 0 it is the rectangle rcPart of the picture, drawn
    // over the picture at 100 % and above. Takes effect at the next Redraw.
    void SetDraft(CImage* pDraft, const CRect& rcPart, int nZoom);
    bool HasDraft() const { return m_pDraft != nullptr; }
    // The part of the picture that the client area shows, in picture pixels.
    CRect VisiblePictureRect() const;

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

Q_SIGNALS:
    // The user zoomed this view with the wheel or a key.
    void ZoomChanged(int nZoom, QPoint ptAnchor);
    // The zoom or a scroll position changed, by the user or the program.
    void ViewMoved();

protected:
    // White fill of the whole buffer, then the picture at GetImageRect.
    void DrawImage();
    // Takes the buffer over for painting; with bToScreen paints it at once.
    void Present(bool bToScreen);
    // Draws over the screen copy of the buffer, before it is painted; the
    // buffer itself stays as drawn. Nothing here.
    virtual void DrawOverlay(QImage& screen);

    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Taken here, so a right click in the view never reaches the frame's menu.
    void contextMenuEvent(QContextMenuEvent* event) override;

    // Ctrl+wheel and the zoom keys: zooms and tells the other views.
    void ZoomByUser(int nZoom, const QPoint& ptAnchor);

    CImage m_imgBuffer; // back buffer, size of m_rcClient

private:
    void OnScroll();

    QScrollBar* m_pHScroll;
    QScrollBar* m_pVScroll;
    QPoint m_ptClientOrigin;
    QImage m_imgScreen; // m_imgBuffer as of the last Redraw, ready to paint
    int m_nWheelDelta = 0;
    int m_nZoomWheelDelta = 0;
    CZoom m_zoom;
    CImage* m_pDraft = nullptr;
    CRect m_rcDraftPart;
    int m_nDraftZoom = 0;
};
