#pragma once

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
// .webm VP9, .gif with a palette made from all the frames. ffmpeg writes to a
// temporary name in the target folder that is renamed to the final name only
// when everything succeeded, so a failure never leaves a half-written file
// under that name.
class CVideoWriter
{
public:
    // A GIF's palette is made from every frame, so ffmpeg holds all of them;
    // more frame bytes than this are refused.
    static constexpr int64_t kMaxGifBytes = int64_t(4) << 30;

    // True for a path ending in .mp4, .webm, .mkv or .gif, in any case.
    static bool IsVideoPath(const QString& path);

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
    // Ends the input, waits for ffmpeg and gives the file its final name.
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
        Program,    // ffmpeg failed, hung or wrote nothing
        GifTooLarge,
        System,     // a file-system or memory failure; see ErrorNumber()
        Other,      // a caller's mistake: a name that is no video, a bad size
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
    QString FfmpegFailure();
    // Fails with ffmpeg's reason, and the errno its error output names.
    bool FailProgram();
    void Abandon();

    QString m_strProgram;
    QString m_strPath;
    QString m_strTemporary;
    QString m_strError;
    EError m_eError = EError::None;
    int m_nErrno = 0;
    QString m_strSaid; // ffmpeg's error output of the last failure
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
    int m_nFrameCount = 0;
    int m_nWritten = 0;
    QByteArray m_aFrame; // one frame, top-down, rows unpadded
    std::unique_ptr<QProcess> m_pProcess;
};
