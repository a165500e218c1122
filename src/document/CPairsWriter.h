#pragma once

#include "document/CMorphHandleArray.h"

#include <QString>

// Writes point pairs in the format CPairsFile reads: a comment line naming
// the two pictures, then one "sx sy tx ty" line per pair in list order.
class CPairsWriter
{
public:
    // Replaces path through CAtomicFile: the old file, if any, stays
    // untouched unless every step succeeds. False on any failure, with the
    // reason in English and the error number (0 when the system gave none).
    static bool Save(const QString& path, const CMorphHandleArray& handles, const QString& sourcePath,
                     const QString& targetPath, QString& reason, int& errnum);
    static bool Save(const QString& path, const CMorphHandleArray& handles, const QString& sourcePath,
                     const QString& targetPath);

    // The file's text.
    static QByteArray Text(const CMorphHandleArray& handles, const QString& sourcePath, const QString& targetPath);
};
