#pragma once

#include "platform/CImage.h"
#include "platform/CReadError.h"

#include <QString>

// The one table of the Japanese wordings of failures that every page of the
// wizard shows (the command-line tool prints the English reasons instead):
// the load-failure and write-failure messages with the reason on the line
// under the file's name, and the reasons of system errors, picture loads and
// points-file and project-file reads.
class CFailureReason
{
public:
    // "書き出しに失敗しました。", a blank line, the path, and the reason on the
    // next line when there is one.
    static QString WriteFailed(const QString& path, const QString& reason);
    // "画像の読み込みに失敗しました。", a blank line, the path, the reason.
    static QString LoadFailed(const QString& path, const QString& reason);

    // The wording of an errno value for a file being written (or read); empty
    // for one without a short wording.
    static QString OfErrno(int errnum, bool writing = true);
    // The same, never empty: an error without a wording gives its number.
    static QString OfWrite(int errnum);
    // The same for a system failure of a write (or read): an error without a
    // wording gives its number and the system's English text.
    static QString OfSystem(int errnum, bool writing = true);
    // Why a project file was not saved: OfWrite for an error number, for 0 a
    // picture path the file cannot hold.
    static QString OfProjectSave(int errnum);
    // Where a points file or project file failed (FILE:LINE, or FILE) and, on
    // the next line, why.
    static QString OfRead(const CReadError& error);
    // Why CImage::Load failed, from its result and CImage::LastErrno().
    static QString OfImageLoad(CImage::EResult result, int errnum);
};
