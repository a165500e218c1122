#include "CPairOverlay.h"

#include "CGeometry.h"
#include "CMorphHandleWnd.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace {

// A client point of a picture point, limited far enough inside the 32-bit
// range that painting it cannot overflow.
QPoint ToClient(const CPairOverlay::SView& view, const CPoint& pt)
{
    const auto limit = [](int64_t v) { return int(std::clamp<int64_t>(v, -(1 << 24), 1 << 24)); };
    return QPoint(limit(view.zoom.PixelCentreToClient(pt.x, view.rcImage.left)),
                  limit(view.zoom.PixelCentreToClient(pt.y, view.rcImage.top)));
}

const CPoint& SideOf(const CPairOverlay::SView& view, const CMorphHandle& pair)
{
    return view.bSource ? pair.m_ptSource : pair.m_ptTarget;
}

} // namespace

bool CPairOverlay::IsTurned(const CMorphCore& mesh, const CMorphCore::SPolygon& polygon)
{
    const CMorphHandleArray& points = mesh.GetPoints();
    const CMorphHandle &a = points[polygon.nVertex1], &b = points[polygon.nVertex2], &c = points[polygon.nVertex3];
    const int source = CGeometry::SideOf(a.m_ptSource, b.m_ptSource, c.m_ptSource);
    const int target = CGeometry::SideOf(a.m_ptTarget, b.m_ptTarget, c.m_ptTarget);
    return target != source;
}

void CPairOverlay::Paint(QImage& screen, const SView& view, const CMorphHandleArray& pairs, const SShow& show,
                         int32_t nSelected, int32_t nHover, const CMorphCore* pMesh)
{
    if (!show.Any() || screen.isNull())
        return;
    QPainter painter(&screen);
    if (pMesh && (show.bTurned || show.bMesh)) {
        const CMorphHandleArray& points = pMesh->GetPoints();
        if (show.bTurned) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor::fromRgba(kTurnedFill));
            for (const CMorphCore::SPolygon& polygon : pMesh->GetPolygons())
                if (IsTurned(*pMesh, polygon)) {
                    const QPoint corners[3] = {ToClient(view, SideOf(view, points[polygon.nVertex1])),
                                               ToClient(view, SideOf(view, points[polygon.nVertex2])),
                                               ToClient(view, SideOf(view, points[polygon.nVertex3]))};
                    painter.drawPolygon(corners, 3);
                }
        }
        if (show.bMesh) {
            painter.setPen(QPen(QColor::fromRgba(kMeshEdge), 1));
            for (const CMorphCore::SLine& line : pMesh->GetLines())
                painter.drawLine(ToClient(view, SideOf(view, points[line.nStart])),
                                 ToClient(view, SideOf(view, points[line.nEnd])));
        }
    }
    const int h = CMorphHandleWnd::kHalfSquare;
    painter.setBrush(Qt::NoBrush);
    if (show.bSelection && nSelected >= 0 && nSelected < pairs.GetSize()) {
        // Dark inside, light outside: one of the two shows on any colour.
        const QPoint c = ToClient(view, SideOf(view, pairs[nSelected]));
        painter.setPen(QPen(Qt::black, 2));
        painter.drawRect(QRect(c.x() - h - 2, c.y() - h - 2, 2 * h + 5, 2 * h + 5));
        painter.setPen(QPen(Qt::white, 1));
        painter.drawRect(QRect(c.x() - h - 4, c.y() - h - 4, 2 * h + 8, 2 * h + 8));
    }
    if (show.bPartner && nHover >= 0 && nHover < pairs.GetSize()) {
        const QPoint c = ToClient(view, SideOf(view, pairs[nHover]));
        painter.setPen(QPen(Qt::black, 3));
        painter.drawEllipse(c, 3 * h, 3 * h);
        painter.setPen(QPen(QColor(255, 0, 255), 1));
        painter.drawEllipse(c, 3 * h, 3 * h);
    }
    if (show.bNumbers) {
        QFont font = painter.font();
        font.setPixelSize(11);
        painter.setFont(font);
        const QFontMetrics metrics(font);
        for (int32_t i = 0; i < pairs.GetSize(); ++i) {
            const QPoint c = ToClient(view, SideOf(view, pairs[i]));
            if (c.x() < -50 || c.y() < -50 || c.x() > screen.width() + 50 || c.y() > screen.height() + 50)
                continue;
            const QString text = QString::number(i + 1);
            const QRect box(c.x() + h + 2, c.y() - h - metrics.height(), metrics.horizontalAdvance(text) + 4,
                            metrics.height());
            painter.fillRect(box, QColor(255, 255, 255, 200));
            painter.setPen(Qt::black);
            painter.drawText(box, Qt::AlignCenter, text);
        }
    }
}
