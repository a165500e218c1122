// quillarend-render: renders morph frames without a window, with the same
// document, engine, file naming and encoders as the wizard.

#include "assist/CPairFinder.h"
#include "assist/CPartnerMatcher.h"
#include "document/CMorphData.h"
#include "document/CMorphTiming.h"
#include "document/CPairsFile.h"
#include "document/CPairsWriter.h"
#include "document/CProjectFile.h"
#include "document/CTimingCurve.h"
#include "engine/CExportJob.h"
#include "engine/CMorphCore.h"
#include "platform/CAtomicFile.h"
#include "platform/CImage.h"
#include "platform/CMessageBox.h"
#include "platform/CSequenceWriter.h"
#include "platform/CSignalCleanup.h"
#include "platform/CVideoWriter.h"

#include <QCoreApplication>
#include <QStringList>

#include <cerrno>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <utility>
#include <new>
#include <optional>

#if defined(_WIN32)
#include <io.h>
#define QUILLAREND_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define QUILLAREND_ISATTY(fd) isatty(fd)
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitOutputFailed = 1;
constexpr int kExitBadInput = 2;

struct SOptions
{
    QString strSource;
    QString strTarget;
    QString strPairs;
    QString strOut;
    std::optional<float> t; // one frame at t
    int nFrames = 0;        // or a numbered sequence of this many frames
    int nModes = 0;         // how many of --t, --position, --frames were given
    bool bMesh = false;
    bool bQuiet = false;
    bool bHelp = false;
    bool bVersion = false;
    int nJobs = CSequenceWriter::DefaultJobs(); // frames encoding at once
    int nQuality = CImage::kAutoQuality;
    double dFps = 25; // video and GIF frame rate
    std::optional<CPoint> ptSuggest; // print the suggested target point of this source point
    QString strAutoPairs;            // write the pairs found in the pictures here
    // From --project: its pairs (used without --pairs), its timing and its
    // frame count (used without --t, --position and --frames).
    CMorphHandleArray aProjectPairs;
    int nProjectFrames = 0;
    CTimingCurve shape;
    std::optional<CTimingCurve> color; // as shape unless given
    int nHoldStart = 0;
    int nHoldEnd = 0;
    std::optional<std::pair<int, int>> range; // first and last frame written
    bool bTiming = false;                     // a timing option was given
};

bool ParseCurve(const char* option, const QString& v, CTimingCurve& curve, QString& error)
{
    const std::optional<CTimingCurve> parsed = CTimingCurve::Parse(v);
    if (!parsed) {
        error = QStringLiteral("%1 needs linear, in, out, in-out or bezier:X1,Y1,X2,Y2 with each from 0 to 1, not %2")
                    .arg(QLatin1String(option), v);
        return false;
    }
    curve = *parsed;
    return true;
}

bool ParseHold(const char* option, const QString& v, int& hold, QString& error)
{
    bool ok = false;
    hold = v.toInt(&ok);
    if (!ok || hold < 0 || hold > CMorphTiming::kMaxHold) {
        error = QStringLiteral("%1 needs a whole number from 0 to %2, not %3")
                    .arg(QLatin1String(option))
                    .arg(CMorphTiming::kMaxHold)
                    .arg(v);
        return false;
    }
    return true;
}

// One command-line option: a flag when pszValue is null. apply stores the
// value, or sets error and returns false.
struct SOption
{
    const char* pszName;
    const char* pszValue;
    const char* pszHelp;
    bool (*apply)(SOptions& o, const QString& value, QString& error);
};

const SOption s_aOptions[] = {
    {"--source", "FILE", "the source picture (the frame at t = 0)",
     [](SOptions& o, const QString& v, QString&) { return o.strSource = v, true; }},
    {"--target", "FILE", "the target picture (the frame at t = 1), of the same size",
     [](SOptions& o, const QString& v, QString&) { return o.strTarget = v, true; }},
    {"--pairs", "FILE", "point pairs, read to the end of the file or pipe; - reads standard input",
     [](SOptions& o, const QString& v, QString&) { return o.strPairs = v, true; }},
    {"--t", "T", "one frame at t = T, 0 <= T <= 1",
     [](SOptions& o, const QString& v, QString& error) {
         bool ok = false;
         const double t = v.toDouble(&ok);
         if (!ok || !(t >= 0.0 && t <= 1.0)) {
             error = QStringLiteral("--t needs a number from 0 to 1, not %1").arg(v);
             return false;
         }
         o.t = float(t);
         return ++o.nModes, true;
     }},
    {"--position", "P", "one frame at the slider position P, 0 ... 1000 (t = P / 1000)",
     [](SOptions& o, const QString& v, QString& error) {
         static_assert(CMorphTiming::kSliderMax == 1000, "the help and the error name the slider's range");
         bool ok = false;
         const int p = v.toInt(&ok);
         if (!ok || p < 0 || p > CMorphTiming::kSliderMax) {
             error = QStringLiteral("--position needs a whole number from 0 to 1000, not %1").arg(v);
             return false;
         }
         o.t = float(CMorphTiming::SliderTime(p));
         return ++o.nModes, true;
     }},
    {"--frames", "N", "a numbered sequence of N frames (2 ... 99999): PATH's name + _00000 ... + extension",
     [](SOptions& o, const QString& v, QString& error) {
         bool ok = false;
         o.nFrames = v.toInt(&ok);
         if (!ok || o.nFrames < 2 || o.nFrames > 99999) {
             error = QStringLiteral("--frames needs a whole number from 2 to 99999, not %1").arg(v);
             return false;
         }
         return ++o.nModes, true;
     }},
    {"--out", "PATH",
     "where frames are written; the extension chooses the format (.png, .jpg, .bmp ...; "
     ".mp4, .webm, .mkv, .gif: one video through ffmpeg)",
     [](SOptions& o, const QString& v, QString&) { return o.strOut = v, true; }},
    {"--jobs", "J", "encode up to J frames of a sequence at once (1 ... 64; default: processors, at most 4)",
     [](SOptions& o, const QString& v, QString& error) {
         bool ok = false;
         o.nJobs = v.toInt(&ok);
         if (!ok || o.nJobs < 1 || o.nJobs > 64) {
             error = QStringLiteral("--jobs needs a whole number from 1 to 64, not %1").arg(v);
             return false;
         }
         return true;
     }},
    {"--quality", "Q", "encoder quality 0 ... 100: JPEG quality (default 90); PNG 0 smallest ... 100 fastest (default 50)",
     [](SOptions& o, const QString& v, QString& error) {
         bool ok = false;
         o.nQuality = v.toInt(&ok);
         if (!ok || o.nQuality < 0 || o.nQuality > 100) {
             error = QStringLiteral("--quality needs a whole number from 0 to 100, not %1").arg(v);
             return false;
         }
         return true;
     }},
    {"--fps", "F", "frames per second of a video (0.001 ... 1000) or GIF (0.00152591 ... 100); default 25",
     [](SOptions& o, const QString& v, QString& error) {
         bool ok = false;
         o.dFps = v.toDouble(&ok);
         if (!ok || !(o.dFps > 0.0) || !std::isfinite(o.dFps)) {
             error = QStringLiteral("--fps needs a number above 0, not %1").arg(v);
             return false;
         }
         return true;
     }},
    {"--suggest", "X,Y",
     "print the suggested target point \"TX TY\" of source point X,Y (the pairs file is the prior), "
     "or \"none\" when the pictures do not tell; renders nothing",
     [](SOptions& o, const QString& v, QString& error) {
         const QStringList parts = v.split(QLatin1Char(','));
         bool okX = false, okY = false;
         const int x = parts.size() == 2 ? parts[0].trimmed().toInt(&okX) : 0;
         const int y = parts.size() == 2 ? parts[1].trimmed().toInt(&okY) : 0;
         if (!okX || !okY) {
             error = QStringLiteral("--suggest needs two whole numbers X,Y, not %1").arg(v);
             return false;
         }
         return o.ptSuggest = CPoint(x, y), true;
     }},
    {"--auto-pairs", "OUT",
     "find pairs in the two pictures and write them after those of --pairs as a pairs file; renders nothing",
     [](SOptions& o, const QString& v, QString&) { return o.strAutoPairs = v, true; }},
    {"--project", "FILE",
     "pictures, pairs, frame count, rate and timing from a project file saved by the wizard; "
     "the options given beside it win",
     // Read by ApplyProject before the other options, so that they win wherever they stand.
     [](SOptions&, const QString&, QString&) { return true; }},
    {"--ease", "CURVE",
     "the shape's timing in a sequence or video: linear (default), in, out, in-out, or bezier:X1,Y1,X2,Y2 "
     "(CSS cubic-bezier, each 0 ... 1)",
     [](SOptions& o, const QString& v, QString& error) { return o.bTiming = true, ParseCurve("--ease", v, o.shape, error); }},
    {"--color-ease", "CURVE", "the cross-fade's timing, the same values; default: as --ease",
     [](SOptions& o, const QString& v, QString& error) {
         CTimingCurve curve;
         o.bTiming = true;
         return ParseCurve("--color-ease", v, curve, error) && (o.color = curve, true);
     }},
    {"--hold-start", "N", "N more frames of exactly the source before the transition (0 ... 99999; default 0)",
     [](SOptions& o, const QString& v, QString& error) {
         return o.bTiming = true, ParseHold("--hold-start", v, o.nHoldStart, error);
     }},
    {"--hold-end", "N", "N more frames of exactly the target after it (0 ... 99999; default 0)",
     [](SOptions& o, const QString& v, QString& error) {
         return o.bTiming = true, ParseHold("--hold-end", v, o.nHoldEnd, error);
     }},
    {"--range", "FIRST:LAST",
     "write only frames FIRST ... LAST (from 0, holds counted) of the numbered sequence, under the names and "
     "with the bytes of the whole run",
     [](SOptions& o, const QString& v, QString& error) {
         const QStringList parts = v.split(QLatin1Char(':'));
         bool ok1 = false, ok2 = false;
         const int first = parts.size() == 2 ? parts[0].toInt(&ok1) : 0;
         const int last = parts.size() == 2 ? parts[1].toInt(&ok2) : 0;
         if (!ok1 || !ok2 || first < 0 || last < first) {
             error = QStringLiteral("--range needs FIRST:LAST, whole numbers with 0 <= FIRST <= LAST, not %1").arg(v);
             return false;
         }
         o.range = std::make_pair(first, last);
         return o.bTiming = true, true;
     }},
    {"--mesh", nullptr, "print the mesh (vertices, edges, triangles) to standard output; needs no --out",
     [](SOptions& o, const QString&, QString&) { return o.bMesh = true, true; }},
    {"--quiet", nullptr, "no summary line and no progress",
     [](SOptions& o, const QString&, QString&) { return o.bQuiet = true, true; }},
    {"--help", nullptr, "print this help and exit",
     [](SOptions& o, const QString&, QString&) { return o.bHelp = true, true; }},
    {"--version", nullptr, "print the version and exit",
     [](SOptions& o, const QString&, QString&) { return o.bVersion = true, true; }},
};

void PrintError(const QString& text)
{
    std::fprintf(stderr, "quillarend-render: %s\n", text.toLocal8Bit().constData());
}

QString Usage()
{
    QString text = QStringLiteral(
        "usage: quillarend-render --source SRC --target DST [--pairs FILE]\n"
        "                         (--t T | --position P | --frames N) --out PATH [--mesh] [--quiet]\n"
        "                         [--jobs J] [--quality Q] [--fps F] [--ease CURVE] [--color-ease CURVE]\n"
        "                         [--hold-start N] [--hold-end N] [--range FIRST:LAST]\n"
        "       quillarend-render --source SRC --target DST [--pairs FILE] --mesh\n"
        "       quillarend-render --source SRC --target DST [--pairs FILE] [--suggest X,Y] [--auto-pairs OUT]\n"
        "       quillarend-render --project FILE --out PATH [any option above, which wins over the file]\n"
        "\n"
        "Renders the morph of SRC into DST along the point pairs, as the wizard does.\n"
        "\n"
        "options:\n");
    for (const SOption& option : s_aOptions) {
        QString left = QString::fromLatin1(option.pszName);
        if (option.pszValue)
            left += QLatin1Char(' ') + QString::fromLatin1(option.pszValue);
        text += QStringLiteral("  %1 %2\n").arg(left, -20).arg(QString::fromLatin1(option.pszHelp));
    }
    text += QStringLiteral(
        "\n"
        "pairs file:\n"
        "  one pair per line, four integers \"sx sy tx ty\" (a source point and its target point,\n"
        "  in pixels) separated by white space and/or commas; blank lines and lines starting\n"
        "  with # are skipped; values are used as given, in file order. At most %1 bytes a line,\n"
        "  %2 pairs and %3 bytes in all.\n"
        "\n"
        "exit codes:\n"
        "  0  everything was written\n"
        "  1  an output file could not be written (a message names it; a sequence ends there and\n"
        "     names the frames not written; those before it are kept)\n"
        "  2  bad arguments, pairs or pictures, not enough memory for them, or an output that\n"
        "     is one of the input files (also through links)\n")
                .arg(CPairsFile::kMaxLineBytes)
                .arg(CPairsFile::kMaxPairs)
                .arg(CPairsFile::kMaxBytes);
    return text;
}

// --suggest and --auto-pairs read the pictures and render nothing.
bool IsAssistRun(const SOptions& o)
{
    return o.ptSuggest.has_value() || !o.strAutoPairs.isEmpty();
}

bool AssistOptionsFit(const SOptions& o)
{
    if (!o.strOut.isEmpty() || o.nModes != 0 || o.bMesh) {
        PrintError(QStringLiteral("--suggest and --auto-pairs render nothing: leave out --out, --t, --position, "
                                  "--frames and --mesh"));
        return false;
    }
    return true;
}

// Fills o from the project file of --project, if given; the options are
// applied over it afterwards. False after printing why it cannot be read.
bool ApplyProject(const QStringList& args, SOptions& o)
{
    QString path;
    for (qsizetype i = 1; i < args.size(); ++i) {
        for (const SOption& option : s_aOptions) {
            if (args[i] != QLatin1String(option.pszName) || !option.pszValue)
                continue;
            if (i + 1 < args.size() && args[i] == QLatin1String("--project")) {
                if (!path.isNull()) {
                    PrintError(QStringLiteral("--project is given twice"));
                    return false;
                }
                path = args[i + 1];
            }
            ++i; // its value is no option
            break;
        }
    }
    if (path.isNull())
        return true;
    CProjectFile project;
    CReadError error;
    if (!CProjectFile::Load(path, project, error)) {
        PrintError(error.English());
        return false;
    }
    o.strSource = project.m_strSourcePath;
    o.strTarget = project.m_strTargetPath;
    o.aProjectPairs = project.m_aHandles;
    o.shape = project.m_timing.m_shape;
    o.color = project.m_timing.m_color;
    o.nHoldStart = project.m_timing.m_nHoldStart;
    o.nHoldEnd = project.m_timing.m_nHoldEnd;
    o.dFps = project.m_timing.m_dFps;
    o.nProjectFrames = project.m_timing.m_nCount;
    return true;
}

// Parses the command line; on error prints why and returns nothing.
std::optional<SOptions> ParseArguments(const QStringList& args)
{
    SOptions o;
    if (!ApplyProject(args, o))
        return std::nullopt;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const SOption* found = nullptr;
        for (const SOption& option : s_aOptions)
            if (args[i] == QLatin1String(option.pszName))
                found = &option;
        if (!found) {
            PrintError(QStringLiteral("unknown argument %1").arg(args[i]));
            return std::nullopt;
        }
        QString value;
        if (found->pszValue) {
            if (i + 1 >= args.size()) {
                PrintError(QStringLiteral("%1 needs a value").arg(args[i]));
                return std::nullopt;
            }
            value = args[++i];
        }
        QString error;
        if (!found->apply(o, value, error)) {
            PrintError(error);
            return std::nullopt;
        }
    }
    if (o.bHelp || o.bVersion)
        return o;
    if (o.nModes == 0 && o.nProjectFrames > 0 && !o.strOut.isEmpty())
        o.nFrames = o.nProjectFrames, o.nModes = 1;
    if (o.strSource.isEmpty() || o.strTarget.isEmpty()) {
        PrintError(QStringLiteral("--source and --target are required"));
        return std::nullopt;
    }
    if (IsAssistRun(o))
        return AssistOptionsFit(o) ? std::optional<SOptions>(o) : std::nullopt;
    if (o.strOut.isEmpty() && !(o.bMesh && o.nModes == 0)) {
        PrintError(QStringLiteral("--out is required to render (only --mesh works without it)"));
        return std::nullopt;
    }
    if (!o.strOut.isEmpty() && o.nModes != 1) {
        PrintError(QStringLiteral("give exactly one of --t, --position and --frames"));
        return std::nullopt;
    }
    if (o.bTiming && o.nFrames == 0) {
        PrintError(QStringLiteral("--ease, --color-ease, --hold-start, --hold-end and --range need --frames"));
        return std::nullopt;
    }
    if (o.range && CVideoWriter::IsVideoPath(o.strOut)) {
        PrintError(QStringLiteral("--range writes numbered pictures, not part of a video"));
        return std::nullopt;
    }
    if (o.range && o.range->second >= int64_t(o.nHoldStart) + o.nFrames + o.nHoldEnd) {
        PrintError(QStringLiteral("--range %1:%2 passes the last frame, %3")
                       .arg(o.range->first)
                       .arg(o.range->second)
                       .arg(int64_t(o.nHoldStart) + o.nFrames + o.nHoldEnd - 1));
        return std::nullopt;
    }
    if (CVideoWriter::IsVideoPath(o.strOut) && o.nFrames == 0) {
        PrintError(QStringLiteral("%1 is a video: give its number of frames with --frames").arg(o.strOut));
        return std::nullopt;
    }
    QString reason;
    if (CVideoWriter::IsVideoPath(o.strOut) && !CVideoWriter::FpsFits(o.strOut, o.dFps, reason)) {
        PrintError(QStringLiteral("--fps: ") + reason);
        return std::nullopt;
    }
    return o;
}

// Names are taken as the system's text; one that is not would come back as
// another name (two names writing one file), so it is refused.
bool ArgumentsAreText(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray bytes(argv[i]);
        if (QString::fromLocal8Bit(bytes).toLocal8Bit() != bytes) {
            std::fprintf(stderr, "quillarend-render: argument %d is not valid text in the system's encoding "
                                 "(a file name that is not UTF-8?); rename the file\n", i);
            return false;
        }
    }
    return true;
}

// Whether everything printed to standard output got there; says why not.
bool StandardOutputWritten()
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    PrintError(QStringLiteral("cannot write to the standard output: %1")
                   .arg(errno ? CAtomicFile::ErrorText(errno) : QStringLiteral("write error")));
    return false;
}

void PrintMesh(const CMorphCore& core)
{
    const CMorphHandleArray& points = core.GetPoints();
    for (int32_t k = 0; k < points.GetSize(); ++k) {
        const CMorphHandle& v = points[k];
        std::printf("vertex %d %d %d %d %d\n", int(k), int(v.m_ptSource.x), int(v.m_ptSource.y),
                    int(v.m_ptTarget.x), int(v.m_ptTarget.y));
    }
    for (const CMorphCore::SLine& line : core.GetLines())
        std::printf("edge %d %d %.17g\n", int(line.nStart), int(line.nEnd), line.dLength);
    for (const CMorphCore::SPolygon& poly : core.GetPolygons())
        std::printf("triangle %d %d %d\n", int(poly.nVertex1), int(poly.nVertex2), int(poly.nVertex3));
}

bool LoadPicture(const QString& path, QString& strPath, std::unique_ptr<CImage>& pImage)
{
    auto image = std::make_unique<CImage>();
    if (image->Load(path) < 0) {
        PrintError(QStringLiteral("cannot load %1: %2").arg(path, CImage::LastError()));
        return false;
    }
    pImage = std::move(image);
    strPath = path;
    return true;
}

// Reads the pairs and both pictures into doc; false after saying why.
bool LoadDocument(const SOptions& o, CMorphData& doc)
{
    CReadError readError;
    if (o.strPairs.isEmpty())
        doc.m_aHandles = o.aProjectPairs;
    else if (!CPairsFile::Load(o.strPairs, doc.m_aHandles, readError)) {
        PrintError(readError.English());
        return false;
    }
    QString error;
    // Both headers first: a mismatch or a picture too large costs no decoding.
    QSize sourceSize, targetSize;
    if (!CImage::ReadSize(o.strSource, sourceSize, error) || !CImage::ReadSize(o.strTarget, targetSize, error)) {
        PrintError(QStringLiteral("cannot load %1: %2").arg(sourceSize.isValid() ? o.strTarget : o.strSource, error));
        return false;
    }
    if (sourceSize != targetSize) {
        PrintError(QStringLiteral("the pictures differ in size: %1 is %2 x %3, %4 is %5 x %6")
                       .arg(o.strSource)
                       .arg(sourceSize.width())
                       .arg(sourceSize.height())
                       .arg(o.strTarget)
                       .arg(targetSize.width())
                       .arg(targetSize.height()));
        return false;
    }
    if (!LoadPicture(o.strSource, doc.m_strSourcePath, doc.m_pSourceImage)
        || !LoadPicture(o.strTarget, doc.m_strTargetPath, doc.m_pTargetImage))
        return false;
    if (doc.m_pTargetImage->GetWidth() != doc.m_pSourceImage->GetWidth()
        || doc.m_pTargetImage->GetHeight() != doc.m_pSourceImage->GetHeight()) {
        PrintError(QStringLiteral("the pictures differ in size"));
        return false;
    }
    return true;
}

bool BuildMesh(CMorphCore& core, CMorphData& doc)
{
    const int32_t pairs = doc.m_aHandles.GetSize();
    try {
        core.BuildMesh(&doc);
        return true;
    } catch (const CMeshTooLargeError& error) {
        PrintError(QStringLiteral("cannot build the mesh of %1 pairs: %2").arg(pairs).arg(QString::fromStdString(error.what())));
    } catch (const std::bad_alloc&) {
        PrintError(QStringLiteral("too many pairs: not enough memory for the mesh of %1 pairs").arg(pairs));
    }
    return false;
}

// The export the options ask for, not yet run.
CExportJob MakeJob(const SOptions& o)
{
    const CExportJob::EKind kind = o.nFrames == 0 ? CExportJob::EKind::Still
                                   : CVideoWriter::IsVideoPath(o.strOut) ? CExportJob::EKind::Video
                                                                         : CExportJob::EKind::Sequence;
    CExportJob job(kind, o.strOut);
    job.m_timing.m_shape = o.shape;
    job.m_timing.m_color = o.color.value_or(o.shape);
    job.m_timing.m_nHoldStart = o.nHoldStart;
    job.m_timing.m_nHoldEnd = o.nHoldEnd;
    job.m_timing.m_nCount = std::max(o.nFrames, CMorphTiming::kMinCount);
    job.m_timing.m_dFps = o.dFps;
    if (o.range)
        job.SetRange(o.range->first, o.range->second);
    if (o.t)
        job.m_still = {*o.t, *o.t};
    job.m_nJobs = o.nJobs;
    job.m_nQuality = o.nQuality;
    job.m_aInputs = QStringList{o.strSource, o.strTarget};
    if (o.strPairs != QLatin1String("-"))
        job.m_aInputs << o.strPairs;
    return job;
}

// Says why the job failed; the exit code.
int ReportFailure(const CExportJob& job)
{
    const CExportJob::SFailure& f = job.Failure();
    switch (f.eError) {
    case CExportJob::EError::SameFile:
        PrintError(QStringLiteral("refusing to write %1: it is the same file as the input %2").arg(f.strPath, f.strInput));
        return kExitBadInput;
    case CExportJob::EError::NameTooLong:
    case CExportJob::EError::BadRange:
    case CExportJob::EError::BadFps:
        PrintError(QStringLiteral("cannot write %1: %2").arg(f.strPath, f.strReason));
        return kExitBadInput;
    case CExportJob::EError::Video:
        PrintError(f.strReason);
        return kExitOutputFailed;
    case CExportJob::EError::NoMemory:
    case CExportJob::EError::WriteFailed:
    case CExportJob::EError::FormatLimit:
    case CExportJob::EError::Stopped:
    case CExportJob::EError::None:
        break;
    }
    if (f.eError == CExportJob::EError::NoMemory)
        PrintError(QStringLiteral("not enough memory for frame %1").arg(f.nIndex));
    else
        PrintError(QStringLiteral("cannot write %1: %2").arg(f.strPath, f.strReason));
    // The frames after the one named, or from it on when memory ran out.
    const int64_t first = f.eError == CExportJob::EError::NoMemory ? f.nIndex : f.nIndex + 1;
    if (job.Kind() == CExportJob::EKind::Sequence && f.nIndex >= 0 && first <= job.Last())
        PrintError(first == job.Last()
                       ? QStringLiteral("%1 was not written").arg(job.FrameName(first))
                       : QStringLiteral("%1 ... %2 were not written").arg(job.FrameName(first), job.FrameName(job.Last())));
    return kExitOutputFailed;
}

int Run(const SOptions& o)
{
    CMorphData doc;
    CMorphCore core;
    if (!LoadDocument(o, doc) || !BuildMesh(core, doc))
        return kExitBadInput;
    if (o.bMesh) {
        PrintMesh(core);
        if (!StandardOutputWritten())
            return kExitOutputFailed;
    }
    if (o.strOut.isEmpty())
        return kExitOk;

    const int32_t width = doc.m_pSourceImage->GetWidth(), height = doc.m_pSourceImage->GetHeight();
    CExportJob job = MakeJob(o);
    if (!job.Check(width, height))
        return ReportFailure(job);
    if (job.Jobs() < o.nJobs && !o.bQuiet && o.nFrames > 0 && !CVideoWriter::IsVideoPath(o.strOut))
        PrintError(QStringLiteral("only %1 frames of %2 x %3 fit in memory at once; encoding %1 at a time, not %4")
                       .arg(job.Jobs())
                       .arg(width)
                       .arg(height)
                       .arg(o.nJobs));
    const bool progress = !o.bQuiet && QUILLAREND_ISATTY(2) && o.nFrames > 0;
    job.m_progress = [&job, progress](int64_t done) {
        if (progress && done < job.Count())
            std::fprintf(stderr, "\rframe %lld of %lld", (long long)done + 1, (long long)job.Count());
        return true;
    };
    const bool ok = job.Run(core, width, height);
    if (progress)
        std::fputc('\n', stderr);
    if (!ok)
        return ReportFailure(job);
    if (o.bQuiet)
        return kExitOk;
    const QByteArray out = o.strOut.toLocal8Bit();
    if (o.t)
        std::printf("wrote %s (%d x %d, t = %.9g)\n", out.constData(), int(width), int(height), double(*o.t));
    else if (CVideoWriter::IsVideoPath(o.strOut))
        std::printf("wrote %s (%lld frames, %d x %d, %.9g fps)\n", out.constData(), (long long)job.Count(),
                    int(width), int(height), o.dFps);
    else
        std::printf("wrote %lld frames %s ... %s (%d x %d)\n", (long long)job.Count(),
                    job.FrameName(job.First()).toLocal8Bit().constData(),
                    job.FrameName(job.Last()).toLocal8Bit().constData(), int(width), int(height));
    return kExitOk;
}

// --suggest and --auto-pairs: the partner of one point, the pairs found in
// the pictures. A suggestion that declines prints "none" and still succeeds.
int RunAssist(const SOptions& o)
{
    CMorphHandleArray pairs;
    CReadError readError;
    if (!o.strPairs.isEmpty() && !CPairsFile::Load(o.strPairs, pairs, readError)) {
        PrintError(readError.English());
        return kExitBadInput;
    }
    QString error;
    QString sourcePath, targetPath;
    std::unique_ptr<CImage> source, target;
    if (!LoadPicture(o.strSource, sourcePath, source) || !LoadPicture(o.strTarget, targetPath, target))
        return kExitBadInput;
    if (source->GetWidth() != target->GetWidth() || source->GetHeight() != target->GetHeight()) {
        PrintError(QStringLiteral("the pictures differ in size"));
        return kExitBadInput;
    }
    if (o.ptSuggest) {
        CPartnerMatcher matcher;
        matcher.SetPictures(source.get(), target.get());
        const CPartnerMatcher::SSuggestion s = matcher.Suggest(pairs, -1, *o.ptSuggest, true);
        if (s.eResult == CPartnerMatcher::kMatched)
            std::printf("%d %d\n", int(s.ptPartner.x), int(s.ptPartner.y));
        else
            std::printf("none\n");
    }
    if (!o.strAutoPairs.isEmpty()) {
        const CPairFinder::SResult found = CPairFinder::Find(*source, *target, pairs);
        for (const CMorphHandle& pair : found.aPairs)
            pairs.Add(pair);
        if (!CAtomicFile::Replace(o.strAutoPairs, CPairsWriter::Text(pairs, sourcePath, targetPath), error)) {
            PrintError(QStringLiteral("cannot write %1: %2").arg(o.strAutoPairs, error));
            return kExitOutputFailed;
        }
        if (!o.bQuiet)
            std::printf("found %d pairs\n", int(found.aPairs.size()));
    }
    return kExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    if (!ArgumentsAreText(argc, argv))
        return kExitBadInput;
    // An interrupted write leaves no temporary file and no encoder behind.
    CSignalCleanup::Install();
    // Image codecs are plugins found through the application object; no GUI needed.
    QCoreApplication app(argc, argv);
    // The application object adopts the user's locale; numbers printed here use '.' always.
    std::setlocale(LC_NUMERIC, "C");
    CMessageBox::SetHandler(CMessageBox::StderrHandler);

    const std::optional<SOptions> options = ParseArguments(QCoreApplication::arguments());
    if (!options) {
        std::fputs("try quillarend-render --help\n", stderr);
        return kExitBadInput;
    }
    if (options->bHelp) {
        std::fputs(Usage().toLocal8Bit().constData(), stdout);
        return kExitOk;
    }
    if (options->bVersion) {
        std::printf("quillarend-render %s\n", QUILLAREND_VERSION);
        return kExitOk;
    }
    int result = kExitBadInput;
    try {
        result = IsAssistRun(*options) ? RunAssist(*options) : Run(*options);
    } catch (const std::bad_alloc&) {
        PrintError(QStringLiteral("not enough memory"));
    }
    // The summary line may not have reached a full disk either.
    if (result == kExitOk && !StandardOutputWritten())
        result = kExitOutputFailed;
    return result;
}
