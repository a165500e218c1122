#include "CExportJob.h"

#include "CMemoryBudget.h"
#include "CMorphCore.h"
#include "CSequenceWriter.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <new>
#include <vector>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#endif

namespace {

// The largest width and height the encoders of these formats write: libpng's
// limit of rows and columns, libjpeg's JPEG_MAX_DIMENSION, WebP's 14 bits,
// the icon formats' one byte.
struct SFormatLimit
{
    const char* pszExtension;
    int64_t nLimit;
};
const SFormatLimit s_aFormatLimits[] = {
    {"png", 1000000}, {"jpg", 65500}, {"jpeg", 65500}, {"webp", 16383}, {"ico", 256}, {"cur", 256},
};

// The identity of an existing file after following links.
struct SFileId
{
    bool bExists = false;
#if defined(Q_OS_UNIX)
    dev_t device = 0;
    ino_t inode = 0;
#else
    QString strCanonical;
#endif
    bool operator==(const SFileId& other) const
    {
#if defined(Q_OS_UNIX)
        return bExists && other.bExists && device == other.device && inode == other.inode;
#else
        return bExists && other.bExists && strCanonical == other.strCanonical;
#endif
    }
};

SFileId IdOf(const QString& path)
{
    SFileId id;
#if defined(Q_OS_UNIX)
    struct stat st;
    if (!path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0) {
        id.bExists = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
    }
#else
    id.strCanonical = QFileInfo(path).canonicalFilePath().toCaseFolded();
    id.bExists = !id.strCanonical.isEmpty();
#endif
    return id;
}

} // namespace

CExportJob::CExportJob(EKind kind, const QString& path)
    : m_nJobs(CSequenceWriter::DefaultJobs()), m_eKind(kind), m_strPath(path)
{
    if (kind == EKind::Sequence)
        m_parts = CExportPath::Split(path);
}

void CExportJob::SetRange(int64_t first, int64_t last)
{
    m_nFirst = first;
    m_nLast = last;
}

int64_t CExportJob::Last() const
{
    return m_nLast < 0 ? m_timing.TotalFrames() - 1 : m_nLast;
}

int64_t CExportJob::Count() const
{
    return m_eKind == EKind::Still ? 1 : Last() - First() + 1;
}

QString CExportJob::FrameName(int64_t index) const
{
    if (m_eKind != EKind::Sequence)
        return m_strPath;
    if (m_parts)
        return m_parts->NumberedName(int(index));
    // Too long to split: the name as it would be, for the message only.
    const QString fileName = QFileInfo(m_strPath).fileName();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const qsizetype extLength = dot < 0 ? 0 : fileName.size() - dot;
    return m_strPath.left(m_strPath.size() - extLength) + QString::asprintf("_%05d", int(index))
           + m_strPath.right(extLength);
}

bool CExportJob::IsSameFile(const QString& a, const QString& b)
{
    return IdOf(a) == IdOf(b);
}

std::optional<int64_t> CExportJob::FormatLimit(const QString& path)
{
    const QString fileName = QFileInfo(path).fileName();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return std::nullopt;
    const QString extension = fileName.mid(dot + 1).toLower();
    for (const SFormatLimit& limit : s_aFormatLimits)
        if (extension == QLatin1String(limit.pszExtension))
            return limit.nLimit;
    return std::nullopt;
}

bool CExportJob::Fail(EError error, const QString& path, const QString& reason)
{
    m_failure = SFailure();
    m_failure.eError = error;
    m_failure.strPath = path;
    m_failure.strReason = reason;
    return false;
}

bool CExportJob::Check(int32_t width, int32_t height)
{
    m_failure = SFailure();
    m_nWritten = 0;
    if (m_eKind != EKind::Still && (First() < 0 || First() > Last() || Last() >= m_timing.TotalFrames()))
        return Fail(EError::BadRange, m_strPath, QStringLiteral("the range is not within the sequence"));
    // The longest numbered name is the last one: the number only grows.
    const QString longest = FrameName(m_eKind == EKind::Still ? 0 : Last());
    if (m_eKind == EKind::Sequence && !m_parts)
        return Fail(EError::NameTooLong, longest,
                    QStringLiteral("a part of the path is longer than %1 characters").arg(CExportPath::kMaxPart));
    if (QFile::encodeName(QFileInfo(longest).fileName()).size() > kMaxNameBytes)
        return Fail(EError::NameTooLong, longest,
                    QStringLiteral("the file name is longer than %1 bytes").arg(kMaxNameBytes));
    if (m_eKind == EKind::Video) {
        QString reason;
        if (!CVideoWriter::FpsFits(m_strPath, m_timing.m_dFps, reason))
            return Fail(EError::BadFps, m_strPath, reason);
    } else if (const std::optional<int64_t> limit = FormatLimit(m_strPath); limit && (width > *limit || height > *limit)) {
        Fail(EError::FormatLimit, longest,
             QStringLiteral("the %1 format holds pictures of at most %2 x %2 pixels, not %3 x %4")
                 .arg(QFileInfo(m_strPath).suffix().toLower())
                 .arg(*limit)
                 .arg(width)
                 .arg(height));
        m_failure.nLimit = *limit;
        return false;
    }
    std::vector<SFileId> inputs;
    for (const QString& input : m_aInputs)
        inputs.push_back(IdOf(input));
    for (int64_t i = m_eKind == EKind::Sequence ? First() : 0; i <= (m_eKind == EKind::Sequence ? Last() : 0); ++i) {
        const QString name = FrameName(i);
        const SFileId id = IdOf(name);
        for (size_t k = 0; id.bExists && k < inputs.size(); ++k)
            if (id == inputs[k]) {
                Fail(EError::SameFile, name, QStringLiteral("it is the input file %1").arg(m_aInputs[qsizetype(k)]));
                m_failure.strInput = m_aInputs[qsizetype(k)];
                return false;
            }
    }
    // Frames waiting for the encoders cost memory too: no more at once than fit.
    m_nJobsUsed = CSequenceWriter::JobsThatFit(m_nJobs, int64_t(width) * height, CMemoryBudget::AvailableBytes());
    return true;
}

bool CExportJob::Progress(int64_t done)
{
    if (!m_progress || m_progress(done))
        return true;
    Fail(EError::Stopped, FrameName(First() + done));
    m_failure.nIndex = First() + done;
    return false;
}

bool CExportJob::Write(const CImage& picture)
{
    if (!Check(picture.GetWidth(), picture.GetHeight()))
        return false;
    const CImage::EResult result = picture.Save(m_strPath, m_nQuality);
    if (result < 0) {
        Fail(EError::WriteFailed, m_strPath, CImage::LastError());
        m_failure.nResult = result;
        m_failure.nIndex = 0;
        return false;
    }
    m_nWritten = 1;
    return true;
}

bool CExportJob::Run(CMorphCore& core, int32_t width, int32_t height)
{
    if (!Check(width, height))
        return false;
    CImage frame;
    try {
        if (!frame.Create(width, height))
            throw std::bad_alloc();
        switch (m_eKind) {
        case EKind::Still:
            core.RenderFrame(frame, m_still.fShape, m_still.fColor);
            return Write(frame);
        case EKind::Sequence:
            return RunSequence(core, frame);
        case EKind::Video:
            return RunVideo(core, frame);
        }
    } catch (const std::bad_alloc&) {
        if (m_failure.eError == EError::None) {
            Fail(EError::NoMemory, FrameName(First()), QStringLiteral("not enough memory"));
            m_failure.nIndex = First();
        }
    }
    return false;
}

bool CExportJob::RunSequence(CMorphCore& core, CImage& frame)
{
    // Results come back in frame order. After the first frame that failed no
    // frame is kept, so the files written are always frames first … k − 1;
    // one that an encoder finished meanwhile is removed again.
    CSequenceWriter writer(
        m_nJobsUsed,
        [quality = m_nQuality](const QImage& image, const QString& path, QString& error) {
            const int result = CImage::SaveQImage(image, path, quality);
            if (result < 0)
                error = CImage::LastError();
            return result;
        },
        [this](int index, const QString& path, int result, const QString& error) {
            if (m_failure.eError == EError::WriteFailed) {
                if (result >= 0)
                    QFile::remove(path);
                return;
            }
            if (result >= 0) {
                ++m_nWritten;
                return;
            }
            Fail(EError::WriteFailed, path, error);
            m_failure.nResult = result;
            m_failure.nIndex = index;
        });
    for (int64_t i = First(); i <= Last() && m_failure.eError == EError::None; ++i) {
        try {
            if (!Progress(i - First()))
                break;
            const CMorphTiming::SPosition at = m_timing.Frame(i);
            core.RenderFrame(frame, at.fShape, at.fColor);
            const QImage image = frame.ToQImage();
            if (image.isNull())
                throw std::bad_alloc();
            writer.Add(int(i), image, FrameName(i));
        } catch (const std::bad_alloc&) {
            Fail(EError::NoMemory, FrameName(i), QStringLiteral("not enough memory"));
            m_failure.nIndex = i;
        }
    }
    // Frames already handed to the encoders are written whole, even after a stop.
    writer.Finish();
    return m_failure.eError == EError::None;
}

bool CExportJob::RunVideo(CMorphCore& core, CImage& frame)
{
    // The writer removes its temporary file on every failure and when it is
    // destroyed unfinished, as after a stop: no part of a video ever appears
    // under the chosen name.
    CVideoWriter video;
    bool ok = video.Open(m_strPath, frame.GetWidth(), frame.GetHeight(), m_timing.m_dFps, int(Count()));
    for (int64_t i = First(); ok && i <= Last(); ++i) {
        if (!Progress(i - First()))
            return false;
        const CMorphTiming::SPosition at = m_timing.Frame(i);
        core.RenderFrame(frame, at.fShape, at.fColor);
        ok = video.WriteFrame(frame);
    }
    // A stop asked for during the last frame still counts.
    if (ok && !Progress(Count()))
        return false;
    if (ok) {
        if (m_finishing)
            m_finishing();
        ok = video.Finish();
    }
    if (!ok) {
        Fail(EError::Video, m_strPath, video.ErrorString());
        m_failure.eVideo = video.ErrorKind();
        m_failure.nErrno = video.ErrorNumber();
        return false;
    }
    m_nWritten = Count();
    return true;
}
