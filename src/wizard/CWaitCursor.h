#pragma once

#include "platform/CMessageBox.h"

// The hourglass for the length of one operation, also when an exception
// passes. Message boxes shown meanwhile, by whichever layer, get the arrow
// back while they are up.
class CWaitCursor
{
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    static int ShowWithArrow(const CWaitCursor* self, const QString& text, const QString& caption, unsigned type);

    CMessageBox::Handler m_previous;
};
