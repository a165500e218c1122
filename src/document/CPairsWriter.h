#pragma once

#include "CMorphHandleArray.h"

#include <QString>

class QFileDevice;

// Writes point pairs in the format CPairsFile reads: a comment line naming
// the two pictures, then one "sx sy tx ty" line per pair in list order.
class CPairsWriter
{
public:
    // Replaces path atomically: the old file, if any, stays untouched unless
    // every step (open, write, flush, commit) succeeds. False on any failure.
    static bool Save(const QString& path, const CMorphHandleArray& handles, const QString& sourcePath,
                     const QString& targetPath);

    // Writes the whole text to an open file and flushes it; false when a
    // write or the flush fails.
    static bool Write(QFileDevice& file, const CMorphHandleArray& handles, const QString& sourcePath,
                      const QString& targetPath);

    // The file's text.
    static QByteArray Text(const CMorphHandleArray& handles, const QString& sourcePath, const QString& targetPath);
};
