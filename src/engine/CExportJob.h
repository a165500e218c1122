#pragma once

#include "CExportPath.h"
#include "CImage.h"
#include "CMorphTiming.h"
#include "CVideoWriter.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

class CMorphCore;

// One export of morph frames, the same for the wizard and the command line:
// one picture, a numbered sequence or one video, chosen by the path and the
// kind. Before anything renders it refuses outputs that are an input file,
// names that cannot be made, pictures the format cannot hold and frame rates
// the format cannot store. Frames are placed by a CMorphTiming, optionally
// only a range of them; a sequence encodes on worker threads, no more at once
// than fit in memory, and stops at its first frame that cannot be written,
// keeping no frame after it. Failures come back as data, worded by the caller.
class CExportJob
{
public:
    enum class EKind
    {
        Still,    // one picture at m_still
        Sequence, // numbered files, one per frame
        Video,    // one video or GIF file of all the frames
    };

    enum class EError
    {
        None,
        BadRange,    // the range holds frames the timing has not
        SameFile,    // an output is an input file: strPath the output, strInput the input
        NameTooLong, // strPath cannot be split or a numbered name passes kMaxNameBytes
        FormatLimit, // the format of strPath holds at most nLimit × nLimit pixels
        BadFps,      // the video format cannot store the frame rate; strReason says why
        NoMemory,    // memory ran out at frame nIndex; it and those after were not written
        WriteFailed, // frame nIndex could not be written to strPath: nResult, strReason
        Video,       // the video writer failed: eVideo, nErrno, strReason
        Stopped,     // stopped by the progress callback
    };

    struct SFailure
    {
        EError eError = EError::None;
        QString strPath;
        QString strInput;
        QString strReason; // in English
        int64_t nIndex = -1;
        int nResult = 0; // CImage::EResult of a WriteFailed
        int64_t nLimit = 0;
        CVideoWriter::EError eVideo = CVideoWriter::EError::None;
        int nErrno = 0;
    };

    // Longest file name (the last part of a path) the file systems take, in bytes.
    static constexpr qsizetype kMaxNameBytes = 255;

    CExportJob(EKind kind, const QString& path);

    // Which frames of m_timing.TotalFrames() are written: first … last,
    // both included. Without a call, all of them.
    void SetRange(int64_t first, int64_t last);
    EKind Kind() const { return m_eKind; }
    int64_t First() const { return m_nFirst; }
    int64_t Last() const;
    // Frames the job writes (1 for a still).
    int64_t Count() const;
    // The file of frame index of the whole sequence (the path itself for a still or a video).
    QString FrameName(int64_t index) const;

    // The checks that need no rendering, for pictures of width × height.
    // False with Failure() set when the job cannot be done. Also fixes the
    // encoding jobs to those that fit in memory (Jobs()).
    bool Check(int32_t width, int32_t height);
    // Checks, then renders every frame with core into a picture of its own
    // and writes it. True when every frame was written.
    bool Run(CMorphCore& core, int32_t width, int32_t height);
    // Checks, then writes picture as the still (not rendered again).
    bool Write(const CImage& picture);

    const SFailure& Failure() const { return m_failure; }
    // Frames written and kept, from the first of the range on without a gap.
    int64_t Written() const { return m_nWritten; }
    // Frames encoding at once, after the memory rule of the last Check.
    int Jobs() const { return m_nJobsUsed; }

    // Whether two names are one file (same device and inode after following
    // links); false when either does not exist.
    static bool IsSameFile(const QString& a, const QString& b);
    // The largest width and height the format of path can hold, or nothing
    // when it sets no limit of its own.
    static std::optional<int64_t> FormatLimit(const QString& path);

    CMorphTiming m_timing;
    CMorphTiming::SPosition m_still{0.0f, 0.0f};
    int m_nJobs;                 // frames of a sequence encoding at once, asked for
    int m_nQuality = CImage::kAutoQuality;
    QStringList m_aInputs;       // files no output may be
    // Before each frame, with its place in the job (0 … Count() − 1); false stops.
    std::function<bool(int64_t done)> m_progress;
    // After a video's last frame, while the file is completed.
    std::function<void()> m_finishing;

private:
    bool Fail(EError error, const QString& path, const QString& reason = QString());
    bool RunSequence(CMorphCore& core, CImage& frame);
    bool RunVideo(CMorphCore& core, CImage& frame);
    bool Progress(int64_t done);

    EKind m_eKind;
    QString m_strPath;
    std::optional<CExportPath> m_parts;
    int64_t m_nFirst = 0;
    int64_t m_nLast = -1; // -1: the last frame of the timing
    int m_nJobsUsed = 1;
    int64_t m_nWritten = 0;
    SFailure m_failure;
};
