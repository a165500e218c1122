#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file with new contents so that a failure never costs the old
// file: the data goes to a short temporary name in the same folder (so names
// of any allowed length work), and each write, the flush to the disk, the
// close and the rename over the final name are checked. On any failure the
// temporary file is removed and the old file stays as it was. A symbolic link
// stays a link: the file it points to is replaced.
class CAtomicFile
{
public:
    // On failure returns false and sets error to the reason in English,
    // e.g. "No space left on device".
    static bool Write(const QString& path, const QByteArray& data, QString& error);

    // The system's text for an error number, in English whatever the locale.
    static QString ErrorText(int error);
};
