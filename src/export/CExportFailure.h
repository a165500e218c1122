#pragma once

#include "CExportJob.h"
#include "CVideoWriter.h"

#include <QString>

// The failure message of an export with a short Japanese reason on the line
// under the file's name, so that the user knows what to change. The wordings
// are CFailureReason's, shared with the other pages.
class CExportFailure
{
public:
    // "書き出しに失敗しました。", a blank line, the path, and the reason on the
    // next line when there is one.
    static QString Message(const QString& path, const QString& reason);

    // The reason for an errno value; empty for one without a short wording.
    static QString ReasonOfErrno(int errnum);
    // Why the writer's last call failed.
    static QString ReasonOfVideo(const CVideoWriter& writer);
    static QString ReasonOfVideo(CVideoWriter::EError kind, int errnum);
    // Why a picture could not be saved, from CImage's result and English reason.
    static QString ReasonOfSave(int result, const QString& reason);
    // Why an export job failed or was refused.
    static QString ReasonOfJob(const CExportJob::SFailure& failure);
    // The reason given when ffmpeg is not installed.
    static QString NoFfmpeg();
};
