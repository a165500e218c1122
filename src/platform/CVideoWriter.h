#pragma once

#include "platform/CAtomicFile.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class CImage;

// Writes frames as one video or animated GIF through the ffmpeg program: raw
// 24-bit frames go down a pipe, no frame files are made. The format follows
// the extension: .mp4 and .mkv H.264 (yuv420p, so common players open it),
// .webm VP9, .gif with a palette made from all the frames; video streams are
// converted and tagged as BT.709 when HD, BT.601 otherwise. ffmpeg writes to
// CAtomicFile's temporary file, which replaces the final one only when ffmpeg
// ended well, said nothing, and the file holds every frame.
class CVideoWriter
{
public:
    // A GIF's palette is made from every frame, so ffmpeg holds all of them;
    // more frame bytes than this are refused.
    static constexpr int64_t kMaxGifBytes = int64_t(4) << 30;
    // Frame rates accepted. A GIF stores each frame's time in hundredths of a
    // second, at most 65535 of them: 100 / 65535 fps, rounded up to the six
    // digits the bounds are shown with, so the bound shown is one accepted.
    static constexpr double kMinFps = 0.001;
    static constexpr double kMaxFps = 1000;
    static constexpr double kMinGifFps = 0.00152591;
    static constexpr double kMaxGifFps = 100;
    // From this width or height on a video counts as HD (BT.709).
    static constexpr int32_t kHdWidth = 1280;
    static constexpr int32_t kHdHeight = 720;

    // True for a path ending in .mp4, .webm, .mkv or .gif, in any case.
    static bool IsVideoPath(const QString& path);
    // Whether the format of path holds fps frames per second; if not, why.
    static bool FpsFits(const QString& path, double fps, QString& reason);

    CVideoWriter();
    // An unfinished file is abandoned: ffmpeg is stopped, the temporary file removed.
    ~CVideoWriter();
    CVideoWriter(const CVideoWriter&) = delete;
    CVideoWriter& operator=(const CVideoWriter&) = delete;

    // The program to run; by default "ffmpeg" looked up on PATH.
    void SetProgram(const QString& program) { m_strProgram = program; }

    // Starts ffmpeg for frameCount frames of width × height at fps frames per second.
    bool Open(const QString& path, int32_t width, int32_t height, double fps, int frameCount);
    // Hands one frame (of the opened size) to ffmpeg.
    bool WriteFrame(const CImage& frame);
    // Ends the input, waits for ffmpeg, checks the file (with the ffprobe
    // beside the program, when there is one) and gives it its final name.
    bool Finish();

    // Why the last call failed, in English, naming the file.
    const QString& ErrorString() const { return m_strError; }
    const QString& GetPath() const { return m_strPath; }

    // What kind of failure the last one was, so that callers can word it in
    // their own language.
    enum class EError {
        None,
        NoProgram,  // ffmpeg is not installed
        CannotRun,  // ffmpeg is there but did not start
        Program,    // ffmpeg failed, hung, wrote nothing or a file short of frames
        GifTooLarge,
        System,     // a file-system or memory failure; see ErrorNumber()
        Other,      // a caller's mistake: a name that is no video, a bad size or rate
    };
    EError ErrorKind() const { return m_eError; }
    // The errno value of a System failure, or of a Program failure whose
    // error output names one (such as "No space left on device"); else 0.
    int ErrorNumber() const { return m_nErrno; }

    // The ffmpeg program on PATH, or an empty string when it is not installed.
    static QString FindProgram();

    // ffmpeg's arguments for writing width × height frames at fps into output.
    static QStringList Arguments(const QString& extension, int32_t width, int32_t height, double fps,
                                 const QString& output);

private:
    bool Fail(const QString& reason, EError kind = EError::Other, int errnum = 0);
    // Fails with CAtomicFile's reason and error number.
    bool FailFile();
    QString FfmpegFailure();
    // Fails with ffmpeg's reason, and the errno its error output names.
    bool FailProgram(const QString& reason);
    // Moves ffmpeg's error output into m_strSaid, keeping only its end, so a
    // program that writes without end costs bounded memory.
    void TakeErrorOutput();
    // Empty when the finished file holds every frame, else why not.
    QString CheckFrames();
    void Abandon();

    QString m_strProgram;
    QString m_strProbe; // ffprobe beside the program, or empty
    QString m_strPath;
    QString m_strError;
    CAtomicFile m_file;
    EError m_eError = EError::None;
    int m_nErrno = 0;
    QString m_strSaid; // the end of ffmpeg's error output
    int m_nCleanupSlot = -1;
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
    int m_nFrameCount = 0;
    int m_nWritten = 0;
    QByteArray m_aFrame; // one frame, top-down, rows unpadded
    std::unique_ptr<QProcess> m_pProcess;
};
