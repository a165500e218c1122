#include "wizard/CMorphHandleWnd.h"

#include "document/CBmpDC.h"
#include "document/CMorphData.h"
#include "platform/Colors.h"
#include "wizard/CMorphDlg.h"
#include "wizard/CSheet_Handle.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>

#include <algorithm>
#include <limits>

int32_t g_nSelHandle = -1;

// The resources live in a static library, so they are registered by hand.
static void InitCursorResources()
{
    Q_INIT_RESOURCE(cursors);
}

namespace {

// Marks the places where a left press adds a pair; hot spot at the arrow's tip.
const QCursor& AddCursor()
{
    static const QCursor cursor(QPixmap(QStringLiteral(":/quillarend/cursors/add.png")), 0, 0);
    return cursor;
}

int32_t Saturate(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

struct SSquareColors
{
    COLORREF light;
    COLORREF dark;
    COLORREF fill;
};
constexpr SSquareColors kSelected{RGB(255, 200, 200), RGB(128, 0, 0), RGB(255, 0, 0)};
constexpr SSquareColors kNormal{RGB(200, 255, 200), RGB(0, 128, 0), RGB(0, 255, 0)};

} // namespace

CMorphHandleWnd::CMorphHandleWnd(bool bSource) : m_bSource(bSource)
{
    InitCursorResources();
    setMouseTracking(true);
    setCursor(AddCursor());
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(CCommandKeys::ToolTip(CCommandKeys::kEditor));
}

CMorphData* CMorphHandleWnd::GetDocument()
{
    CMorphDlg* frame = CMorphDlg::GetMainWnd();
    return frame ? frame->m_pMorphData.get() : nullptr;
}

CPoint& CMorphHandleWnd::ViewPoint(CMorphHandle& handle) const
{
    return m_bSource ? handle.m_ptSource : handle.m_ptTarget;
}

const CPoint& CMorphHandleWnd::ViewPoint(const CMorphHandle& handle) const
{
    return m_bSource ? handle.m_ptSource : handle.m_ptTarget;
}

void CMorphHandleWnd::AttachImage()
{
    CMorphData* doc = GetDocument();
    if (!doc)
        return;
    m_pImage = m_bSource ? doc->m_pSourceImage.get() : doc->m_pTargetImage.get();
    UpdateScrollBars();
    Redraw(false);
    InvalidateAll();
}

CMorphHandleWnd::SImagePoint CMorphHandleWnd::ClientToImage(const QPoint& ptClient) const
{
    const CRect rc = GetImageRect();
    return {Zoom().ClientToPicture(ptClient.x(), rc.left), Zoom().ClientToPicture(ptClient.y(), rc.top)};
}

int32_t CMorphHandleWnd::HitTestHandle(const QPoint& ptClient) const
{
    const CMorphData* doc = GetDocument();
    if (!doc)
        return -1;
    // The squares keep their screen size at every zoom, so the test is in
    // client pixels around each point's place on the screen.
    const CRect rc = GetImageRect();
    const CMorphHandleArray& handles = doc->m_aHandles;
    for (int32_t i = handles.GetSize() - 1; i >= 0; --i) {
        const CPoint& pt = ViewPoint(handles[i]);
        const int64_t cx = Zoom().PixelCentreToClient(pt.x, rc.left), cy = Zoom().PixelCentreToClient(pt.y, rc.top);
        if (ptClient.x() >= cx - kHalfSquare && ptClient.x() <= cx + kHalfSquare && ptClient.y() >= cy - kHalfSquare
            && ptClient.y() <= cy + kHalfSquare)
            return i;
    }
    return -1;
}

void CMorphHandleWnd::RedrawBothViews()
{
    if (auto* page = qobject_cast<CSheet_Handle*>(parentWidget())) {
        page->m_wndSrcView.Redraw(true);
        page->m_wndDstView.Redraw(true);
    } else {
        Redraw(true);
    }
}

void CMorphHandleWnd::Redraw(bool bToScreen)
{
    DrawImage();
    if (const CMorphData* doc = GetDocument()) {
        const CRect rc = GetImageRect();
        CBmpDC dc(m_imgBuffer);
        const int64_t side = 2 * kHalfSquare + 1;
        const CMorphHandleArray& handles = doc->m_aHandles;
        // Later pairs cover earlier ones, as the hit test expects.
        for (int32_t i = 0; i < handles.GetSize(); ++i) {
            const CPoint& pt = ViewPoint(handles[i]);
            const int64_t x = Zoom().PixelCentreToClient(pt.x, rc.left) - kHalfSquare;
            const int64_t y = Zoom().PixelCentreToClient(pt.y, rc.top) - kHalfSquare;
            if (x + side <= 0 || y + side <= 0 || x >= m_imgBuffer.GetWidth() || y >= m_imgBuffer.GetHeight())
                continue;
            const SSquareColors& c = i == g_nSelHandle ? kSelected : kNormal;
            dc.Draw3dRect(int32_t(x), int32_t(y), int32_t(side), int32_t(side), c.light, c.dark);
            dc.FillSolidRect(int32_t(x) + 1, int32_t(y) + 1, int32_t(side) - 2, int32_t(side) - 2, c.fill);
        }
    }
    Present(bToScreen);
}

QPoint CMorphHandleWnd::ClientPos(const QMouseEvent* event) const
{
    return event->position().toPoint() - GetClientOrigin();
}

bool CMorphHandleWnd::InClient(const QPoint& ptClient) const
{
    return ptClient.x() >= 0 && ptClient.y() >= 0 && ptClient.x() < m_rcClient.Width()
        && ptClient.y() < m_rcClient.Height();
}

bool CMorphHandleWnd::IsDragging() const
{
    return mouseGrabber() == this;
}

void CMorphHandleWnd::UpdateCursor(const QPoint& ptClient)
{
    const int32_t hit = InClient(ptClient) ? HitTestHandle(ptClient) : -1;
    if (!InClient(ptClient))
        setCursor(Qt::ArrowCursor);
    else if (hit >= 0)
        setCursor(Qt::PointingHandCursor);
    else
        setCursor(AddCursor());
    if (auto* page = qobject_cast<CSheet_Handle*>(parentWidget()))
        page->m_assist.SetHover(this, hit);
}

void CMorphHandleWnd::leaveEvent(QEvent* event)
{
    if (auto* page = qobject_cast<CSheet_Handle*>(parentWidget()))
        page->m_assist.SetHover(this, -1);
    CImageScrollWnd::leaveEvent(event);
}

void CMorphHandleWnd::DrawOverlay(QImage& screen)
{
    if (auto* page = qobject_cast<CSheet_Handle*>(parentWidget()))
        page->m_assist.PaintOverlay(*this, screen);
}

void CMorphHandleWnd::mousePressEvent(QMouseEvent* event)
{
    const QPoint c = ClientPos(event);
    if (!IsDragging())
        UpdateCursor(c);
    // Presses on the edge are not the client's, except to cancel a drag.
    if (event->button() == Qt::LeftButton && InClient(c))
        OnLButtonDown(c);
    else if (event->button() == Qt::RightButton && (IsDragging() || InClient(c)))
        OnRButtonDown(c);
    event->accept();
}

void CMorphHandleWnd::mouseReleaseEvent(QMouseEvent* event)
{
    if (!IsDragging())
        UpdateCursor(ClientPos(event));
    else if (event->button() == Qt::LeftButton)
        FinishDrag(); // the point stays where the last move put it
    event->accept();
}

void CMorphHandleWnd::mouseMoveEvent(QMouseEvent* event)
{
    if (IsDragging())
        OnDragMove(ClientPos(event));
    else
        UpdateCursor(ClientPos(event));
    event->accept();
}

void CMorphHandleWnd::hideEvent(QHideEvent* event)
{
    // A hidden view loses the mouse; a running drag ends where it stands.
    if (IsDragging())
        FinishDrag();
    CImageScrollWnd::hideEvent(event);
}

void CMorphHandleWnd::OnLButtonDown(const QPoint& ptClient)
{
    CMorphData* doc = GetDocument();
    if (!doc || !m_pImage)
        return;
    const SImagePoint p = ClientToImage(ptClient);
    const int32_t i = HitTestHandle(ptClient);
    if (i < 0) {
        // Off every square: a new pair on the nearest pixel of the picture.
        const CPoint pt(int32_t(std::clamp<int64_t>(p.x, 0, m_pImage->GetWidth() - 1)),
                        int32_t(std::clamp<int64_t>(p.y, 0, m_pImage->GetHeight() - 1)));
        auto* page = qobject_cast<CSheet_Handle*>(parentWidget());
        if (!page || !page->m_assist.AddMatchedPair(pt, m_bSource))
            doc->AddHandle(pt);
        g_nSelHandle = doc->m_aHandles.GetSize() - 1;
        RedrawBothViews();
        return;
    }
    if (i != g_nSelHandle) {
        g_nSelHandle = i;
        RedrawBothViews();
    }
    const CPoint& pt = ViewPoint(doc->m_aHandles[i]);
    // The hit keeps the cursor within the square, so the offset is small.
    m_ptGrab = CPoint(int32_t(p.x - pt.x), int32_t(p.y - pt.y));
    m_ptDragStart = pt;
    grabMouse();
}

void CMorphHandleWnd::FinishDrag()
{
    releaseMouse();
    CMorphData* doc = GetDocument();
    if (!HasSelection(doc))
        return;
    // The whole drag is one step of the history.
    CMorphHandle before = doc->m_aHandles[g_nSelHandle];
    ViewPoint(before) = m_ptDragStart;
    doc->m_history.Changed(doc->m_aHandles, g_nSelHandle, before, false);
}

void CMorphHandleWnd::OnDragMove(const QPoint& ptClient)
{
    CMorphData* doc = GetDocument();
    if (!doc || g_nSelHandle < 0 || g_nSelHandle >= doc->m_aHandles.GetSize())
        return;
    // Not limited to the picture: a point may be dragged past its edges.
    const SImagePoint p = ClientToImage(ptClient);
    ViewPoint(doc->m_aHandles[g_nSelHandle]) = CPoint(Saturate(p.x - m_ptGrab.x), Saturate(p.y - m_ptGrab.y));
    Redraw(true);
}

void CMorphHandleWnd::OnRButtonDown(const QPoint& ptClient)
{
    CMorphData* doc = GetDocument();
    if (!doc)
        return;
    if (IsDragging()) {
        // Cancels the drag: the point goes back to where it started.
        releaseMouse();
        if (g_nSelHandle >= 0 && g_nSelHandle < doc->m_aHandles.GetSize())
            ViewPoint(doc->m_aHandles[g_nSelHandle]) = m_ptDragStart;
        Redraw(true);
        return;
    }
    const int32_t i = HitTestHandle(ptClient);
    if (i < 0)
        return;
    RemovePair(doc, i);
}

void CMorphHandleWnd::keyPressEvent(QKeyEvent* event)
{
    CCommandKeys::ECommand command;
    if (!CCommandKeys::Find(event, CCommandKeys::kEditor, command)) {
        CImageScrollWnd::keyPressEvent(event);
        return;
    }
    const int step = event->modifiers() & Qt::ShiftModifier ? 10 : 1;
    switch (command) {
    case CCommandKeys::Nudge:
        MoveSelected(event->key() == Qt::Key_Left ? -step : event->key() == Qt::Key_Right ? step : 0,
                     event->key() == Qt::Key_Up ? -step : event->key() == Qt::Key_Down ? step : 0);
        break;
    case CCommandKeys::DeletePair:
        DeleteSelected();
        break;
    default:
        SelectNext(command == CCommandKeys::SelectNext);
        break;
    }
    event->accept();
}

bool CMorphHandleWnd::HasSelection(const CMorphData* doc)
{
    return doc && g_nSelHandle >= 0 && g_nSelHandle < doc->m_aHandles.GetSize();
}

void CMorphHandleWnd::MoveSelected(int32_t dx, int32_t dy)
{
    CMorphData* doc = GetDocument();
    // A running drag owns the point until it ends.
    if (!HasSelection(doc) || IsDragging())
        return;
    // Like a drag, not limited to the picture.
    const CMorphHandle before = doc->m_aHandles[g_nSelHandle];
    CPoint& pt = ViewPoint(doc->m_aHandles[g_nSelHandle]);
    pt = CPoint(Saturate(int64_t(pt.x) + dx), Saturate(int64_t(pt.y) + dy));
    doc->m_history.Changed(doc->m_aHandles, g_nSelHandle, before, true);
    Redraw(true);
}

void CMorphHandleWnd::DeleteSelected()
{
    CMorphData* doc = GetDocument();
    if (!HasSelection(doc) || IsDragging())
        return;
    RemovePair(doc, g_nSelHandle);
}

void CMorphHandleWnd::RemovePair(CMorphData* doc, int32_t i)
{
    doc->RemoveHandle(i);
    // With no selection before, the first pair left is selected.
    g_nSelHandle = std::min(std::max(g_nSelHandle, 0), doc->m_aHandles.GetSize() - 1);
    RedrawBothViews();
}

void CMorphHandleWnd::SelectNext(bool bForward)
{
    CMorphData* doc = GetDocument();
    if (!doc || doc->m_aHandles.IsEmpty() || IsDragging())
        return;
    const int32_t last = doc->m_aHandles.GetSize() - 1;
    int32_t next;
    if (!HasSelection(doc))
        next = bForward ? 0 : last;
    else
        next = std::clamp(g_nSelHandle + (bForward ? 1 : -1), 0, last);
    if (next == g_nSelHandle)
        return;
    g_nSelHandle = next;
    RedrawBothViews();
}
