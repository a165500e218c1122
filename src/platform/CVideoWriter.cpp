#include "CVideoWriter.h"

#include "CImage.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#if defined(Q_OS_WIN)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// How long ffmpeg may go without taking frame data before it counts as hung.
constexpr int kStallMs = 120000;
// Time allowed after the last frame, on top of a second per frame.
constexpr int kFinishBaseMs = 60000;
// ffmpeg's error output looked at after it succeeded.
constexpr qint64 kMaxErrorBytes = 65536;

QString Extension(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

// Forces the finished file to the disk before it takes the final name.
bool SyncFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return false;
#if defined(Q_OS_WIN)
    return _commit(file.handle()) == 0;
#else
    return fsync(file.handle()) == 0;
#endif
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

QStringList CVideoWriter::Arguments(const QString& extension, int32_t width, int32_t height, double fps,
                                    const QString& output)
{
    QStringList args{"-hide_banner", "-nostdin", "-loglevel", "error",
                     "-f", "rawvideo", "-pix_fmt", "bgr24",
                     "-video_size", QStringLiteral("%1x%2").arg(width).arg(height),
                     "-framerate", QString::number(fps, 'g', 12),
                     "-i", "pipe:0"};
    // 4:2:0 chroma needs even sides: an odd one gets one black row or column.
    const QString evenSides = QStringLiteral("pad=ceil(iw/2)*2:ceil(ih/2)*2");
    const QString ext = extension.toLower();
    if (ext == QLatin1String("gif")) {
        args << "-filter_complex" << "split[a][b];[a]palettegen[p];[b][p]paletteuse" << "-f" << "gif";
    } else if (ext == QLatin1String("webm")) {
        args << "-vf" << evenSides << "-c:v" << "libvpx-vp9" << "-crf" << "30" << "-b:v" << "0" << "-row-mt" << "1"
             << "-deadline" << "good" << "-cpu-used" << "4" << "-pix_fmt" << "yuv420p" << "-f" << "webm";
    } else {
        args << "-vf" << evenSides << "-c:v" << "libx264" << "-preset" << "medium" << "-crf" << "18" << "-pix_fmt"
             << "yuv420p";
        if (ext == QLatin1String("mp4"))
            args << "-movflags" << "+faststart" << "-f" << "mp4";
        else
            args << "-f" << "matroska";
    }
    // "file:" keeps ffmpeg from reading a protocol into the name; -n never overwrites.
    args << "-n" << QStringLiteral("file:") + output;
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

void CVideoWriter::Abandon()
{
    if (m_pProcess) {
        if (m_pProcess->state() != QProcess::NotRunning) {
            m_pProcess->kill();
            m_pProcess->waitForFinished(5000);
        }
        m_pProcess.reset();
    }
    if (!m_strTemporary.isEmpty()) {
        QFile::remove(m_strTemporary);
        m_strTemporary.clear();
    }
    m_aFrame.clear();
}

bool CVideoWriter::FailProgram()
{
    const QString reason = FfmpegFailure();
    return Fail(reason, EError::Program, ErrnoNamedIn(m_strSaid));
}

QString CVideoWriter::FfmpegFailure()
{
    // A closed pipe is often seen before the exit: give ffmpeg a moment to end
    // so that its exit status and last words can be told.
    if (m_pProcess->state() != QProcess::NotRunning)
        m_pProcess->waitForFinished(3000);
    m_strSaid = QString::fromLocal8Bit(m_pProcess->readAllStandardError());
    const QStringList lines = m_strSaid.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QString said = lines.isEmpty() ? QString() : lines.last().trimmed().left(300);
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
    m_eError = EError::None;
    m_nErrno = 0;
    m_nWritten = 0;
    const QString ext = Extension(path);
    if (!IsVideoPath(path))
        return Fail(QStringLiteral("no video format for .%1").arg(ext));
    if (width <= 0 || height <= 0 || frameCount <= 0 || !(fps > 0))
        return Fail(QStringLiteral("bad frame size, count or rate"));
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

    const QFileInfo target(path);
    if (!QFileInfo(target.absolutePath()).isDir())
        return Fail(QStringLiteral("the folder %1 does not exist").arg(target.absolutePath()), EError::System,
                    ENOENT);
    if (target.isDir())
        return Fail(QStringLiteral("a folder has that name"), EError::System, EISDIR);
    for (int tries = 0; tries < 100 && m_strTemporary.isEmpty(); ++tries) {
        const QString name = QStringLiteral("%1/.%2.%3.part")
                                 .arg(target.absolutePath(), target.fileName())
                                 .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        if (!QFileInfo::exists(name))
            m_strTemporary = name;
    }
    if (m_strTemporary.isEmpty())
        return Fail(QStringLiteral("no free temporary name in the folder"));

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
    m_pProcess->setArguments(Arguments(ext, width, height, fps, m_strTemporary));
    m_pProcess->setStandardOutputFile(QProcess::nullDevice());
    m_pProcess->start();
    if (!m_pProcess->waitForStarted(30000))
        return Fail(QStringLiteral("cannot run %1: %2").arg(program, m_pProcess->errorString()), EError::CannotRun);
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
        return FailProgram();
    if (m_pProcess->write(m_aFrame) != m_aFrame.size())
        return FailProgram();
    // At most one frame waits in the pipe's buffer while the next one renders.
    while (m_pProcess->bytesToWrite() > m_aFrame.size()) {
        if (!m_pProcess->waitForBytesWritten(kStallMs))
            return FailProgram();
    }
    ++m_nWritten;
    return true;
}

bool CVideoWriter::Finish()
{
    if (!m_pProcess)
        return Fail(QStringLiteral("the video is not open"));
    while (m_pProcess->bytesToWrite() > 0) {
        if (!m_pProcess->waitForBytesWritten(kStallMs))
            return FailProgram();
    }
    m_pProcess->closeWriteChannel();
    // Already over when the exit was seen while waiting for the pipe.
    if (m_pProcess->state() != QProcess::NotRunning
        && !m_pProcess->waitForFinished(kFinishBaseMs + 1000 * m_nFrameCount))
        return FailProgram();
    if (m_pProcess->exitStatus() != QProcess::NormalExit || m_pProcess->exitCode() != 0)
        return FailProgram();
    // ffmpeg exits with 0 even when writing its output failed (on a full disk
    // among others), so an error output that names a system failure fails too.
    m_pProcess->setReadChannel(QProcess::StandardError);
    if (ErrnoNamedIn(QString::fromLocal8Bit(m_pProcess->peek(kMaxErrorBytes))) != 0)
        return FailProgram();
    if (QFileInfo(m_strTemporary).size() <= 0)
        return Fail(QStringLiteral("ffmpeg wrote no data"), EError::Program);
    if (!SyncFile(m_strTemporary)) {
        const int errnum = errno;
        return Fail(QStringLiteral("cannot flush the file to the disk"), EError::System, errnum);
    }
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(m_strTemporary.toStdU16String()),
                            std::filesystem::path(m_strPath.toStdU16String()), error);
    if (error)
        return Fail(QString::fromLocal8Bit(error.message()), EError::System, error.value());
    m_strTemporary.clear();
    m_pProcess.reset();
    m_aFrame.clear();
    return true;
}
