#include "document/CProjectFile.h"

#include "document/CLineReader.h"
#include "document/CPairsFile.h"
#include "platform/CAtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cmath>
#include <optional>

namespace {

constexpr const char* kMagic = "quillarend-project";

#if defined(Q_OS_WIN)
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// A whole number in [lo, hi], nothing else.
std::optional<int64_t> WholeNumber(const QString& text, int64_t lo, int64_t hi)
{
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < lo || v > hi)
        return std::nullopt;
    return v;
}

// The parts of a clean absolute path, and how many of them only name its
// root (a drive letter).
QStringList PathParts(const QString& path, int& rootParts)
{
    const QStringList parts = QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    rootParts = !parts.isEmpty() && parts.front().endsWith(QLatin1Char(':')) ? 1 : 0;
    return parts;
}

} // namespace

QString CProjectFile::StoredPath(const QString& projectPath, const QString& picture)
{
    const QString folder = QFileInfo(projectPath).absolutePath();
    const QString absolute = QDir::cleanPath(QFileInfo(picture).absoluteFilePath());
    int folderRoot = 0, pictureRoot = 0;
    const QStringList a = PathParts(folder, folderRoot), b = PathParts(absolute, pictureRoot);
    // A folder shared only at the root (or another drive) stays absolute: the
    // project may move with its own folders, never with the whole disk.
    const int shared = folderRoot + 1;
    if (folderRoot != pictureRoot || a.size() < shared || b.size() <= shared)
        return absolute;
    for (int i = 0; i < shared; ++i)
        if (a[i].compare(b[i], kPathCase) != 0)
            return absolute;
    return QDir(folder).relativeFilePath(absolute);
}

bool CProjectFile::Text(const QString& path, QByteArray& text, QString& error) const
{
    const struct
    {
        const char* pszKey;
        const QString& strPath;
    } pictures[] = {{"source", m_strSourcePath}, {"target", m_strTargetPath}};
    QByteArray out = QByteArray(kMagic) + ' ' + QByteArray::number(kVersion) + '\n';
    for (const auto& picture : pictures) {
        const QString stored = StoredPath(path, picture.strPath);
        if (stored.contains(QLatin1Char('\n')) || stored.contains(QLatin1Char('\r'))) {
            error = QStringLiteral("the %1 picture's path holds a line break, which a project file cannot store: %2")
                        .arg(QLatin1String(picture.pszKey), picture.strPath);
            return false;
        }
        out += QByteArray(picture.pszKey) + ' ' + stored.toUtf8() + '\n';
    }
    out += "shape " + m_timing.m_shape.ToString().toUtf8() + '\n';
    out += "color " + m_timing.m_color.ToString().toUtf8() + '\n';
    out += "hold-start " + QByteArray::number(m_timing.m_nHoldStart) + '\n';
    out += "hold-end " + QByteArray::number(m_timing.m_nHoldEnd) + '\n';
    out += "frames " + QByteArray::number(m_timing.m_nCount) + '\n';
    out += "fps " + QByteArray::number(m_timing.m_dFps, 'g', 17) + '\n';
    out += "pairs " + QByteArray::number(m_aHandles.GetSize()) + '\n';
    for (int32_t i = 0; i < m_aHandles.GetSize(); ++i) {
        const CMorphHandle& h = m_aHandles[i];
        out += QByteArray::number(h.m_ptSource.x) + ' ' + QByteArray::number(h.m_ptSource.y) + ' '
            + QByteArray::number(h.m_ptTarget.x) + ' ' + QByteArray::number(h.m_ptTarget.y) + '\n';
    }
    text = std::move(out);
    return true;
}

bool CProjectFile::Save(const QString& path, QString& error, int& errnum) const
{
    errnum = 0;
    QByteArray text;
    if (!Text(path, text, error))
        return false;
    CAtomicFile file;
    if (file.Begin(path) && file.Write(text) && file.Commit())
        return true;
    error = file.ErrorString();
    errnum = file.Errno();
    return false;
}

bool CProjectFile::Load(const QString& path, CProjectFile& project, CReadError& error)
{
    using EKind = CReadError::EKind;
    const QDir folder = path == QLatin1String("-") ? QDir::current() : QFileInfo(path).absoluteDir();
    CProjectFile read;
    bool bHeader = false;
    QStringList seen;       // keys given so far
    int pictureLines[2] = {0, 0};
    int pairsLine = 0;      // the line of "pairs N"
    int64_t pairsLeft = 0;
    int64_t pairsAnnounced = 0;
    // A refused value: the entry, the text given and where.
    auto refuse = [&](EKind kind, int line, const QString& key, const QString& value, int64_t limit = 0) {
        error.m_strKey = key;
        error.m_strValue = value;
        return error.Fail(kind, line, limit);
    };
    auto outOfRange = [&](int line, const QString& key, const QString& value, int64_t low, int64_t high) {
        error.m_nLow = low;
        return refuse(EKind::BadWholeNumber, line, key, value, high);
    };
    const bool ok = CLineReader::Read(
        path, kMaxLineBytes, kMaxBytes,
        [&](const char* b, const char* e, int line) {
            while (b != e && IsBlank(*b))
                ++b;
            while (e != b && e[-1] == '\r')
                --e;
            if (b == e || *b == '#')
                return true;
            if (pairsLeft > 0) {
                CMorphHandle handle;
                if (!CPairsFile::ParseLine(b, e, handle)) {
                    error.m_nNumber = pairsAnnounced - pairsLeft + 1;
                    return error.Fail(EKind::BadPair, line, pairsAnnounced);
                }
                read.m_aHandles.Add(handle);
                --pairsLeft;
                return true;
            }
            const QByteArray bytes(b, e - b);
            qsizetype space = bytes.indexOf(' ');
            const qsizetype tab = bytes.indexOf('\t');
            if (tab >= 0 && (space < 0 || tab < space))
                space = tab;
            const QString key = QString::fromUtf8(space < 0 ? bytes : bytes.left(space));
            // Paths keep their spaces; other values are trimmed.
            const QString raw = space < 0 ? QString() : QString::fromUtf8(bytes.mid(space + 1));
            const QString value = raw.trimmed();
            if (!bHeader) {
                const std::optional<int64_t> version = WholeNumber(value, 1, INT32_MAX);
                if (key != QLatin1String(kMagic) || !version)
                    return refuse(EKind::NotProject, line, QLatin1String(kMagic), QString());
                if (*version > kVersion) {
                    error.m_nNumber = *version;
                    return error.Fail(EKind::NewerVersion, line, kVersion);
                }
                bHeader = true;
                return true;
            }
            if (seen.contains(key))
                return refuse(EKind::Repeated, line, key, QString());
            CMorphHandle stray;
            if (key == QLatin1String("source") || key == QLatin1String("target")) {
                if (raw.isEmpty())
                    return refuse(EKind::NoFileName, line, key, QString());
                const bool source = key == QLatin1String("source");
                (source ? read.m_strSourcePath : read.m_strTargetPath) = QDir::cleanPath(folder.absoluteFilePath(raw));
                pictureLines[source ? 0 : 1] = line;
            } else if (key == QLatin1String("shape") || key == QLatin1String("color")) {
                const std::optional<CTimingCurve> curve = CTimingCurve::Parse(value);
                if (!curve)
                    return refuse(EKind::BadCurve, line, key, value);
                (key == QLatin1String("shape") ? read.m_timing.m_shape : read.m_timing.m_color) = *curve;
            } else if (key == QLatin1String("hold-start") || key == QLatin1String("hold-end")) {
                const std::optional<int64_t> n = WholeNumber(value, 0, CMorphTiming::kMaxHold);
                if (!n)
                    return outOfRange(line, key, value, 0, CMorphTiming::kMaxHold);
                (key == QLatin1String("hold-start") ? read.m_timing.m_nHoldStart : read.m_timing.m_nHoldEnd) = int(*n);
            } else if (key == QLatin1String("frames")) {
                const std::optional<int64_t> n = WholeNumber(value, CMorphTiming::kMinCount, CMorphTiming::kMaxCount);
                if (!n)
                    return outOfRange(line, key, value, CMorphTiming::kMinCount, CMorphTiming::kMaxCount);
                read.m_timing.m_nCount = int(*n);
            } else if (key == QLatin1String("fps")) {
                bool number = false;
                const double fps = value.toDouble(&number);
                if (!number || !std::isfinite(fps) || fps < kMinFps || fps > kMaxFps) {
                    error.m_dLow = kMinFps;
                    error.m_dHigh = kMaxFps;
                    return refuse(EKind::BadNumber, line, key, value);
                }
                read.m_timing.m_dFps = fps;
            } else if (key == QLatin1String("pairs")) {
                const std::optional<int64_t> n = WholeNumber(value, 0, kMaxPairs);
                if (!n)
                    return outOfRange(line, key, value, 0, kMaxPairs);
                pairsLine = line;
                pairsLeft = pairsAnnounced = *n;
            } else if (pairsLine > 0 && CPairsFile::ParseLine(b, e, stray)) {
                error.m_nAtLine = pairsLine;
                return error.Fail(EKind::MorePairs, line, pairsAnnounced);
            } else {
                return refuse(EKind::UnknownEntry, line, key, QString());
            }
            seen << key;
            return true;
        },
        error);
    if (!ok)
        return false;
    if (!bHeader)
        return refuse(EKind::NotProject, 0, QLatin1String(kMagic), QString());
    if (pairsLeft > 0) {
        error.m_nNumber = pairsAnnounced - pairsLeft;
        error.m_nAtLine = pairsLine;
        return error.Fail(EKind::CutShort, 0, pairsAnnounced);
    }
    for (const char* required : {"source", "target", "pairs"})
        if (!seen.contains(QLatin1String(required)))
            return refuse(EKind::NoEntry, 0, QLatin1String(required), QString());
    const struct
    {
        const char* pszKey;
        const QString& strPath;
        int nLine;
    } pictures[] = {{"source", read.m_strSourcePath, pictureLines[0]},
                    {"target", read.m_strTargetPath, pictureLines[1]}};
    for (const auto& picture : pictures) {
        const QFileInfo info(picture.strPath);
        if (!info.exists() || info.isDir())
            return refuse(info.exists() ? EKind::PictureIsFolder : EKind::NoPicture, picture.nLine,
                          QLatin1String(picture.pszKey), QDir::toNativeSeparators(picture.strPath));
    }
    project = std::move(read);
    return true;
}
