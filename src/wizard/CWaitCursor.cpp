#include "wizard/CWaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

#include <utility>

namespace {

struct ArrowCursor
{
    ArrowCursor() { QGuiApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~ArrowCursor() { QGuiApplication::restoreOverrideCursor(); }
    ArrowCursor(const ArrowCursor&) = delete;
    ArrowCursor& operator=(const ArrowCursor&) = delete;
};

} // namespace

CWaitCursor::CWaitCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_previous = CMessageBox::SetHandler([self = this](const QString& text, const QString& caption, unsigned type) {
        return ShowWithArrow(self, text, caption, type);
    });
}

CWaitCursor::~CWaitCursor()
{
    CMessageBox::SetHandler(std::move(m_previous));
    QGuiApplication::restoreOverrideCursor();
}

// Reached with a copy of the lambda's capture: a nested wait cursor in the
// box's event loop moves the lambda while the box is up.
int CWaitCursor::ShowWithArrow(const CWaitCursor* self, const QString& text, const QString& caption, unsigned type)
{
    const ArrowCursor arrow;
    return self->m_previous ? self->m_previous(text, caption, type)
                            : CMessageBox::StderrHandler(text, caption, type);
}
