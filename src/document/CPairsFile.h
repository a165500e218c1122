#pragma once

#include "CMorphHandleArray.h"

#include <QString>

// Reads point pairs from a text file: one pair per line, four integers
// "sx sy tx ty" separated by white space and/or commas; blank lines and lines
// starting with '#' are skipped. Values are taken as given, in file order.
class CPairsFile
{
public:
    // Appends the pairs to handles. On failure returns false, leaves handles
    // unchanged and sets error to "FILE:LINE: reason" (or "FILE: reason").
    static bool Load(const QString& path, CMorphHandleArray& handles, QString& error);

    // Parses one line; returns false for anything but four 32-bit integers.
    static bool ParseLine(const QString& line, CMorphHandle& handle);
};
