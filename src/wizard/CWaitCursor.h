#pragma once

#include <QString>

// The hourglass for the length of one operation, also when an exception
// passes. Message boxes shown meanwhile get the arrow back while they are up.
class CWaitCursor
{
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

    // Shows a message box with the arrow cursor and returns the button pressed.
    static int Message(const QString& text, unsigned type);
};
