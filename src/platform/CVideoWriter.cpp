#include "platform/CVideoWriter.h"

#include "platform/CImage.h"
#include "platform/CSignalCleanup.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <new>

#if defined(Q_OS_LINUX)
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace {

// How long ffmpeg may go without taking frame data before it counts as hung.
constexpr int kStallMs = 120000;
// Time allowed after the last frame, on top of a second per frame.
constexpr int kFinishBaseMs = 60000;
// How much of ffmpeg's error output is kept: its last words are what matter.
constexpr qsizetype kMaxErrorChars = 65536;

QString Extension(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

// The last line of a program's error output that gives a reason
// ("…: No space left on device"), else its last line, cut to a sane length.
QString LastWords(const QString& said)
{
    const QStringList lines = said.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = lines.size() - 1; i >= 0; --i)
        if (lines[i].contains(QLatin1String(": ")))
            return lines[i].trimmed().left(300);
    return lines.isEmpty() ? QString() : lines.last().trimmed().left(300);
}

// The errno whose system text ffmpeg's error output holds (it words
// file-system failures with strerror), or 0.
int ErrnoNamedIn(const QString& said)
{
    constexpr int kLastErrno = 200;
    for (int e = 1; e <= kLastErrno; ++e) {
        const QString text = QString::fromStdString(std::generic_category().message(e));
        if (!text.startsWith(QLatin1String("Unknown error")) && said.contains(text))
            return e;
    }
    return 0;
}

// A helper program must not outlive this process: killed outright (the
// out-of-memory killer sends SIGKILL), this process cannot end it, and it
// would go on writing into a temporary nobody removes. On Linux the child
// asks for SIGKILL when its parent dies. The kernel counts the starting
// thread as the parent, so the program is started from the thread that
// waits for it.
void EndWithParent(QProcess& process)
{
#if defined(Q_OS_LINUX)
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
            ::_exit(127);
    });
#else
    Q_UNUSED(process);
#endif
}

} // namespace

QString CVideoWriter::FindProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
}

bool CVideoWriter::IsVideoPath(const QString& path)
{
    const QString ext = Extension(path);
    return ext == QLatin1String("mp4") || ext == QLatin1String("webm") || ext == QLatin1String("mkv")
           || ext == QLatin1String("gif");
}

bool CVideoWriter::FpsFits(const QString& path, double fps, QString& reason)
{
    const bool gif = Extension(path) == QLatin1String("gif");
    const double low = gif ? kMinGifFps : kMinFps, high = gif ? kMaxGifFps : kMaxFps;
    if (fps >= low && fps <= high)
        return true;
    reason = QStringLiteral("%1 frames per second: %2 holds from %3 to %4")
                 .arg(fps, 0, 'g', 9)
                 .arg(gif ? QStringLiteral("a GIF") : QStringLiteral("a video"))
                 .arg(low, 0, 'g', 6)
                 .arg(high, 0, 'g', 6);
    return false;
}

QStringList CVideoWriter::Arguments(const QString& extension, int32_t width, int32_t height, double fps,
                                    const QString& output)
{
    QStringList args{"-hide_banner", "-nostdin", "-loglevel", "error",
                     "-f", "rawvideo", "-pix_fmt", "bgr24",
                     "-video_size", QStringLiteral("%1x%2").arg(width).arg(height),
                     "-framerate", QString::number(fps, 'g', 12),
                     "-i", "pipe:0"};
    // 4:2:0 chroma needs even sides: an odd one gets one black row or column.
    // Players take HD as BT.709 and smaller as BT.601: convert by that matrix
    // and say so in the stream.
    const bool hd = width >= kHdWidth || height >= kHdHeight;
    const QString evenSides = QStringLiteral("pad=ceil(iw/2)*2:ceil(ih/2)*2,scale=out_color_matrix=%1:out_range=tv,"
                                             "format=yuv420p")
                                  .arg(hd ? "bt709" : "bt601");
    const QString tag = hd ? QStringLiteral("bt709") : QStringLiteral("smpte170m");
    const QStringList colourTags{"-colorspace", tag, "-color_primaries", tag, "-color_trc", tag, "-color_range", "tv"};
    const QString ext = extension.toLower();
    if (ext == QLatin1String("gif")) {
        args << "-filter_complex" << "split[a][b];[a]palettegen[p];[b][p]paletteuse" << "-f" << "gif";
    } else if (ext == QLatin1String("webm")) {
        args << "-vf" << evenSides << "-c:v" << "libvpx-vp9" << "-crf" << "30" << "-b:v" << "0" << "-row-mt" << "1"
             << "-deadline" << "good" << "-cpu-used" << "4" << "-pix_fmt" << "yuv420p" << colourTags << "-f"
             << "webm";
    } else {
        args << "-vf" << evenSides << "-c:v" << "libx264" << "-preset" << "medium" << "-crf" << "18" << "-pix_fmt"
             << "yuv420p" << colourTags;
        if (ext == QLatin1String("mp4"))
            args << "-movflags" << "+faststart" << "-f" << "mp4";
        else
            args << "-f" << "matroska";
    }
    // "file:" keeps ffmpeg from reading a protocol into the name; -y writes
    // over the empty temporary file made for it.
    args << "-y" << QStringLiteral("file:") + output;
    return args;
}

CVideoWriter::CVideoWriter() = default;

CVideoWriter::~CVideoWriter()
{
    Abandon();
}

bool CVideoWriter::Fail(const QString& reason, EError kind, int errnum)
{
    m_strError = QStringLiteral("cannot write %1: %2").arg(m_strPath, reason);
    m_eError = kind;
    m_nErrno = errnum;
    Abandon();
    return false;
}

bool CVideoWriter::FailFile()
{
    return Fail(m_file.ErrorString(), EError::System, m_file.Errno());
}

bool CVideoWriter::FailProgram(const QString& reason)
{
    return Fail(reason, EError::Program, ErrnoNamedIn(m_strSaid));
}

void CVideoWriter::TakeErrorOutput()
{
    m_strSaid += QString::fromLocal8Bit(m_pProcess->readAllStandardError());
    if (m_strSaid.size() > kMaxErrorChars)
        m_strSaid.remove(0, m_strSaid.size() - kMaxErrorChars);
}

void CVideoWriter::Abandon()
{
    if (m_pProcess) {
        if (m_pProcess->state() != QProcess::NotRunning) {
            m_pProcess->kill();
            m_pProcess->waitForFinished(5000);
        }
        m_pProcess.reset();
    }
    CSignalCleanup::RemoveProcess(m_nCleanupSlot);
    m_nCleanupSlot = -1;
    m_file.Abandon();
    m_aFrame.clear();
}

QString CVideoWriter::FfmpegFailure()
{
    // A closed pipe is often seen before the exit: give ffmpeg a moment to end
    // so that its exit status and last words can be told.
    if (m_pProcess->state() != QProcess::NotRunning)
        m_pProcess->waitForFinished(3000);
    TakeErrorOutput();
    const QString said = LastWords(m_strSaid);
    if (m_pProcess->state() != QProcess::NotRunning)
        return said.isEmpty() ? QStringLiteral("ffmpeg stopped taking frames") : QStringLiteral("ffmpeg: ") + said;
    if (m_pProcess->exitStatus() != QProcess::NormalExit)
        return QStringLiteral("ffmpeg crashed") + (said.isEmpty() ? QString() : QStringLiteral(": ") + said);
    if (!said.isEmpty())
        return QStringLiteral("ffmpeg failed: ") + said;
    return QStringLiteral("ffmpeg ended with exit code %1").arg(m_pProcess->exitCode());
}

bool CVideoWriter::Open(const QString& path, int32_t width, int32_t height, double fps, int frameCount)
{
    Abandon();
    m_strPath = path;
    m_strError.clear();
    m_strSaid.clear();
    m_eError = EError::None;
    m_nErrno = 0;
    m_nWritten = 0;
    const QString ext = Extension(path);
    if (!IsVideoPath(path))
        return Fail(QStringLiteral("no video format for .%1").arg(ext));
    if (width <= 0 || height <= 0 || frameCount <= 0)
        return Fail(QStringLiteral("bad frame size or count"));
    QString reason;
    if (!FpsFits(path, fps, reason))
        return Fail(reason);
    const int64_t frameBytes = int64_t(width) * 3 * height;
    if (ext == QLatin1String("gif") && frameBytes * frameCount > kMaxGifBytes)
        return Fail(QStringLiteral("a GIF of %1 frames of %2x%3 would need more than %4 GiB in ffmpeg; "
                                   "use fewer frames or a video format")
                        .arg(frameCount)
                        .arg(width)
                        .arg(height)
                        .arg(kMaxGifBytes >> 30),
                    EError::GifTooLarge);

    QString program = m_strProgram;
    if (program.isEmpty()) {
        program = FindProgram();
        if (program.isEmpty())
            return Fail(QStringLiteral("the ffmpeg program is needed for video and GIF output and was not "
                                       "found on PATH; install ffmpeg"),
                        EError::NoProgram);
    }

    // The file's own check reads it back with the ffprobe of the same installation.
    const QFileInfo probe(QFileInfo(program).absolutePath() + QStringLiteral("/ffprobe")
#if defined(Q_OS_WIN)
                          + QStringLiteral(".exe")
#endif
    );
    m_strProbe = probe.isFile() && probe.isExecutable() ? probe.filePath() : QString();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir())
        return Fail(QStringLiteral("the folder %1 does not exist").arg(folder), EError::System, ENOENT);
    if (!m_file.Begin(path))
        return FailFile();

    try {
        m_aFrame.resize(qsizetype(frameBytes));
    } catch (const std::bad_alloc&) {
        return Fail(QStringLiteral("not enough memory for a frame"), EError::System, ENOMEM);
    }
    m_nWidth = width;
    m_nHeight = height;
    m_nFrameCount = frameCount;

    m_pProcess = std::make_unique<QProcess>();
    m_pProcess->setProgram(program);
    m_pProcess->setArguments(Arguments(ext, width, height, fps, m_file.TemporaryPath()));
    m_pProcess->setStandardOutputFile(QProcess::nullDevice());
    EndWithParent(*m_pProcess);
    m_pProcess->start();
    if (!m_pProcess->waitForStarted(30000))
        return Fail(QStringLiteral("cannot run %1: %2").arg(program, m_pProcess->errorString()), EError::CannotRun);
    m_nCleanupSlot = CSignalCleanup::AddProcess(m_pProcess->processId());
    return true;
}

bool CVideoWriter::WriteFrame(const CImage& frame)
{
    if (!m_pProcess)
        return Fail(QStringLiteral("the video is not open"));
    if (frame.IsNull() || frame.GetWidth() != m_nWidth || frame.GetHeight() != m_nHeight)
        return Fail(QStringLiteral("a frame of another size"));
    if (m_nWritten >= m_nFrameCount)
        return Fail(QStringLiteral("more frames than announced"));
    // The pipe takes rows top-down without padding.
    const size_t row = size_t(m_nWidth) * 3;
    char* out = m_aFrame.data();
    for (int32_t y = 0; y < m_nHeight; ++y, out += row)
        std::memcpy(out, frame.PixelAddress(0, y), row);

    if (m_pProcess->state() != QProcess::Running)
        return FailProgram(FfmpegFailure());
    if (m_pProcess->write(m_aFrame) != m_aFrame.size())
        return FailProgram(FfmpegFailure());
    // At most one frame waits in the pipe's buffer while the next one renders.
    while (m_pProcess->bytesToWrite() > m_aFrame.size()) {
        if (!m_pProcess->waitForBytesWritten(kStallMs))
            return FailProgram(FfmpegFailure());
    }
    TakeErrorOutput();
    ++m_nWritten;
    return true;
}

bool CVideoWriter::Finish()
{
    if (!m_pProcess)
        return Fail(QStringLiteral("the video is not open"));
    while (m_pProcess->bytesToWrite() > 0) {
        if (!m_pProcess->waitForBytesWritten(kStallMs))
            return FailProgram(FfmpegFailure());
    }
    m_pProcess->closeWriteChannel();
    // Already over when the exit was seen while waiting for the pipe.
    if (m_pProcess->state() != QProcess::NotRunning
        && !m_pProcess->waitForFinished(kFinishBaseMs + 1000 * m_nFrameCount))
        return FailProgram(FfmpegFailure());
    if (m_pProcess->exitStatus() != QProcess::NormalExit || m_pProcess->exitCode() != 0)
        return FailProgram(FfmpegFailure());
    // ffmpeg may end with 0 after a failed trailer (a full disk); at its log
    // level anything it says is an error.
    TakeErrorOutput();
    if (const QString said = LastWords(m_strSaid); !said.isEmpty())
        return FailProgram(QStringLiteral("ffmpeg failed: ") + said);
    m_pProcess.reset();
    CSignalCleanup::RemoveProcess(m_nCleanupSlot);
    m_nCleanupSlot = -1;
    if (QFileInfo(m_file.TemporaryPath()).size() <= 0)
        return Fail(QStringLiteral("ffmpeg wrote no data"), EError::Program);
    if (const QString problem = CheckFrames(); !problem.isEmpty())
        return Fail(problem, EError::Program);
    if (!m_file.Commit())
        return FailFile();
    m_aFrame.clear();
    return true;
}

QString CVideoWriter::CheckFrames()
{
    if (m_strProbe.isEmpty())
        return QString();
    QProcess probe;
    probe.setProgram(m_strProbe);
    probe.setArguments({"-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                        "stream=nb_read_packets", "-of", "csv=p=0", QStringLiteral("file:") + m_file.TemporaryPath()});
    EndWithParent(probe);
    probe.start();
    if (!probe.waitForFinished(kFinishBaseMs + 100 * m_nFrameCount)) {
        probe.kill();
        probe.waitForFinished(5000);
        return QStringLiteral("ffprobe could not read the file back");
    }
    if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0) {
        const QString said = LastWords(QString::fromLocal8Bit(probe.readAllStandardError().right(kMaxErrorChars)));
        return QStringLiteral("the file cannot be read back") + (said.isEmpty() ? QString() : QStringLiteral(": ") + said);
    }
    bool ok = false;
    const int frames = QString::fromLatin1(probe.readAllStandardOutput()).trimmed().toInt(&ok);
    if (!ok || frames != m_nFrameCount)
        return QStringLiteral("the file holds %1 of %2 frames").arg(ok ? frames : 0).arg(m_nFrameCount);
    return QString();
}
