#pragma once

#include "document/CMorphHandleArray.h"
#include "platform/CReadError.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// Reads point pairs from a text file: one pair per line, four integers
// "sx sy tx ty" separated by white space and/or commas; blank lines and lines
// starting with '#' are skipped, and so is a UTF-8 byte-order mark at the
// start. Values are taken as given, in file order.
class CPairsFile
{
public:
    // Longest line accepted, without its line break.
    static constexpr qint64 kMaxLineBytes = 4096;
    // Most pairs and most bytes one file may hold; a stream that goes on
    // past either is refused instead of filling memory.
    static constexpr int32_t kMaxPairs = 1000000;
    static constexpr qint64 kMaxBytes = qint64(256) * 1024 * 1024;

    // Appends the pairs to handles, reading the file, pipe or device to its end;
    // "-" reads standard input. On failure returns false, leaves handles
    // unchanged and sets error: CLineReader's kinds, NotFourIntegers or
    // TooManyPairs.
    static bool Load(const QString& path, CMorphHandleArray& handles, CReadError& error);

    // Parses one line; returns false for anything but four 32-bit integers.
    static bool ParseLine(const QString& line, CMorphHandle& handle);
    static bool ParseLine(const char* begin, const char* end, CMorphHandle& handle);
};
