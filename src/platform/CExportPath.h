#pragma once

#include <QString>

#include <optional>

// A save path split into drive, directory, base name and extension, from which
// the numbered file names of a frame sequence are built:
// drive + directory + base + "_" + five-digit number + extension.
class CExportPath
{
public:
    // Longest directory, base name or extension accepted, in UTF-16 units.
    static constexpr qsizetype kMaxPart = 255;

    // Splits a full path. Returns nothing when a part is longer than kMaxPart,
    // so that no file is ever written under a cut name.
    static std::optional<CExportPath> Split(const QString& path);

    // The name of frame index: "%s%s%s_%05d%s" of drive, directory, base, index, extension.
    QString NumberedName(int index) const;

    QString m_strDrive; // "C:" on Windows, else empty
    QString m_strDir;   // up to and including the last separator
    QString m_strBase;  // the file name without its extension
    QString m_strExt;   // from the file name's last dot on, dot included; may be empty
};
