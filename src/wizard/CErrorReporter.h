#pragma once

#include <exception>

// The error box for an exception caught where an event handler ends, so that
// no exception crosses the event loop. The frame and the application both
// report through it.
class CErrorReporter
{
public:
    // Shows the message for error: the mesh limit, memory, a bad argument, or
    // an internal error for anything else.
    static void Report(std::exception_ptr error);
};
