#pragma once

#include "document/CMorphHandleArray.h"
#include "document/CMorphTiming.h"
#include "document/CPairsFile.h"
#include "platform/CReadError.h"
#include "platform/CVideoWriter.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// The whole morph in one text file: the two pictures, the point pairs and
// the timing, under a format version:
//
//   quillarend-project 1
//   source pictures/a.png      (relative to the project file's folder)
//   target /elsewhere/b.png    (absolute where only the root is shared)
//   shape in-out               (linear, in, out, in-out, bezier:X1,Y1,X2,Y2)
//   color linear
//   hold-start 0
//   hold-end 0
//   frames 30
//   fps 25
//   pairs 2                    (then exactly that many "sx sy tx ty" lines)
//   10 20 12 24
//   30 40 31 44
//
// Blank lines and lines starting with '#' are skipped. source, target and
// pairs are required; the timing entries default to a linear 30 frames at 25
// fps without holds.
class CProjectFile
{
public:
    static constexpr int kVersion = 1;
    // Longest line accepted, without its line break; long enough for paths.
    static constexpr qint64 kMaxLineBytes = 64 * 1024;
    static constexpr int32_t kMaxPairs = CPairsFile::kMaxPairs;
    static constexpr qint64 kMaxBytes = CPairsFile::kMaxBytes;
    // The frame rates a video can be written at.
    static constexpr double kMinFps = CVideoWriter::kMinFps;
    static constexpr double kMaxFps = CVideoWriter::kMaxFps;

    // Reads a project from a file, pipe or device to its end ("-": standard
    // input; its relative paths then start at the current folder). The
    // picture paths come back absolute. Refuses a newer version, a bad value,
    // a missing picture; then returns false, leaves project unchanged and
    // sets error (CLineReader's kinds and the project's own).
    static bool Load(const QString& path, CProjectFile& project, CReadError& error);

    // Replaces path through CAtomicFile; false on any failure with the
    // reason in English and CAtomicFile's error number (0 when a picture
    // path cannot be stored).
    bool Save(const QString& path, QString& error, int& errnum) const;
    // The text of a project file at path; false when a picture path cannot
    // be stored (a line break in it).
    bool Text(const QString& path, QByteArray& text, QString& error) const;

    // How a project file at projectPath names picture: relative to its
    // folder when both share a folder below the root, else absolute.
    static QString StoredPath(const QString& projectPath, const QString& picture);

    QString m_strSourcePath;
    QString m_strTargetPath;
    CMorphHandleArray m_aHandles;
    CMorphTiming m_timing;
};
