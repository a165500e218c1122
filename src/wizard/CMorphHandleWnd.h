#pragma once

#include "platform/CPoint.h"
#include "wizard/CImageScrollWnd.h"

#include <cstdint>

class CMorphData;
struct CMorphHandle;
class QMouseEvent;

// Index of the selected pair in the document, shared by both point editors;
// −1 for none. An index past the end of the pair list selects nothing.
extern int32_t g_nSelHandle;

// The point editor: shows the source or the target picture with a square on
// this side's point of every pair. A left press off every square adds a pair
// there, a left press on a square selects its pair and drags the point, a
// right press deletes a pair or cancels a running drag. The same edits work
// from the keyboard while the view has the focus.
class CMorphHandleWnd : public CImageScrollWnd
{
    Q_OBJECT

public:
    // bSource: this view shows the source picture and edits the source points.
    explicit CMorphHandleWnd(bool bSource);

    // Takes the document's picture for this side and schedules a repaint.
    void AttachImage();

    // Index of the topmost pair whose square holds ptClient (client
    // coordinates), or −1.
    int32_t HitTestHandle(const QPoint& ptClient) const;

    // Redraws both views of the page to the screen, the source view first.
    void RedrawBothViews();

    void Redraw(bool bToScreen) override;

    // A pair's square reaches this far from its point on every side.
    static constexpr int32_t kHalfSquare = 4;

    const bool m_bSource;

protected:
    // A double click reaches mousePressEvent through QWidget's default
    // handling, so it counts as a second press.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void leaveEvent(QEvent* event) override;
    // The page's overlay switches (numbers, partner, selection, mesh, turned triangles).
    void DrawOverlay(QImage& screen) override;
    // The editor's own keys of CCommandKeys: arrows move the selected pair's
    // point in this view (Shift: 10 pixels), Delete removes the pair, Page Up
    // / Page Down select the previous / next.
    void keyPressEvent(QKeyEvent* event) override;

private:
    // A picture point from a client point; 64 bits, as the scroll offset may
    // carry it past the 32-bit range.
    struct SImagePoint
    {
        int64_t x;
        int64_t y;
    };

    SImagePoint ClientToImage(const QPoint& ptClient) const;
    QPoint ClientPos(const QMouseEvent* event) const;
    bool InClient(const QPoint& ptClient) const;
    bool IsDragging() const;
    CPoint& ViewPoint(CMorphHandle& handle) const;
    const CPoint& ViewPoint(const CMorphHandle& handle) const;
    void UpdateCursor(const QPoint& ptClient);

    void OnLButtonDown(const QPoint& ptClient);
    void OnRButtonDown(const QPoint& ptClient);
    void OnDragMove(const QPoint& ptClient);
    // Ends the drag where the point stands and records it for undo.
    void FinishDrag();
    void MoveSelected(int32_t dx, int32_t dy);
    void DeleteSelected();
    // Removes pair i; the selection keeps its index, limited to the pairs left.
    void RemovePair(CMorphData* doc, int32_t i);
    void SelectNext(bool bForward);

    static bool HasSelection(const CMorphData* doc);

    static CMorphData* GetDocument();

    CPoint m_ptGrab;      // cursor minus the dragged point when the drag began
    CPoint m_ptDragStart; // the dragged point when the drag began
};
