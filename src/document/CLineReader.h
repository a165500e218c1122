#pragma once

#include "platform/CReadError.h"

#include <QString>

#include <functional>

// Reads a text file, pipe or device line by line to its end, in blocks, with
// a bound on the length of a line and on the bytes in all, so an endless or
// huge input stops with an error instead of filling memory. "-" reads
// standard input. A UTF-8 byte-order mark at the start is dropped.
class CLineReader
{
public:
    // Called for each line without its '\n', numbered from 1; returns false
    // (having set the error's kind, line and values) to stop the reading.
    using LineHandler = std::function<bool(const char* begin, const char* end, int lineNumber)>;

    // False when the input cannot be read or passes a bound (CannotOpen,
    // CannotRead, TooManyBytes, LineTooLong), or when line stopped it. The
    // error is reset first and always names the input.
    static bool Read(const QString& path, qint64 maxLineBytes, qint64 maxBytes, const LineHandler& line,
                     CReadError& error);

    // How errors name path: "standard input" for "-".
    static QString DisplayName(const QString& path);
};
