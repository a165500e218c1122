// quillarend-render: renders morph frames without a window, with the same
// document, engine, file naming and encoders as the wizard.

#include "CExportPath.h"
#include "CImage.h"
#include "CMessageBox.h"
#include "CMorphCore.h"
#include "CMorphData.h"
#include "CPairsFile.h"
#include "CSequenceWriter.h"
#include "CVideoWriter.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <new>
#include <optional>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitOutputFailed = 1;
constexpr int kExitBadInput = 2;

const char* const kUsage =
    "usage: quillarend-render --source SRC --target DST [--pairs FILE]\n"
    "                         (--t T | --position P | --frames N) --out PATH [--mesh]\n"
    "                         [--jobs J] [--quality Q] [--fps F]\n";

struct Options
{
    QString strSource;
    QString strTarget;
    QString strPairs;
    QString strOut;
    std::optional<float> t; // one frame at t
    int nFrames = 0;        // or a numbered sequence of this many frames
    bool bMesh = false;
    int nJobs = CSequenceWriter::DefaultJobs(); // frames encoding at once
    int nQuality = CImage::kAutoQuality;
    double dFps = 25; // video and GIF frame rate
};

void PrintError(const QString& text)
{
    std::fprintf(stderr, "quillarend-render: %s\n", text.toLocal8Bit().constData());
}

// Parses the command line; on error prints why and returns nothing.
std::optional<Options> ParseArguments(const QStringList& args)
{
    Options o;
    int modes = 0;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& name = args[i];
        if (name == QLatin1String("--mesh")) {
            o.bMesh = true;
            continue;
        }
        static const QStringList withValue = {"--source", "--target", "--pairs", "--out", "--t", "--position",
                                              "--frames", "--jobs", "--quality", "--fps"};
        if (!withValue.contains(name)) {
            PrintError(QStringLiteral("unknown argument %1").arg(name));
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            PrintError(QStringLiteral("%1 needs a value").arg(name));
            return std::nullopt;
        }
        const QString value = args[++i];
        bool ok = false;
        if (name == QLatin1String("--source")) {
            o.strSource = value;
        } else if (name == QLatin1String("--target")) {
            o.strTarget = value;
        } else if (name == QLatin1String("--pairs")) {
            o.strPairs = value;
        } else if (name == QLatin1String("--out")) {
            o.strOut = value;
        } else if (name == QLatin1String("--t")) {
            const double t = value.toDouble(&ok);
            if (!ok || std::isnan(t)) {
                PrintError(QStringLiteral("--t needs a number, not %1").arg(value));
                return std::nullopt;
            }
            o.t = float(std::clamp(t, 0.0, 1.0));
            ++modes;
        } else if (name == QLatin1String("--position")) {
            const int p = value.toInt(&ok);
            if (!ok || p < 0 || p > 1000) {
                PrintError(QStringLiteral("--position needs a whole number from 0 to 1000, not %1").arg(value));
                return std::nullopt;
            }
            o.t = float(p / 1000.0);
            ++modes;
        } else if (name == QLatin1String("--jobs")) {
            o.nJobs = value.toInt(&ok);
            if (!ok || o.nJobs < 1 || o.nJobs > 64) {
                PrintError(QStringLiteral("--jobs needs a whole number from 1 to 64, not %1").arg(value));
                return std::nullopt;
            }
        } else if (name == QLatin1String("--quality")) {
            o.nQuality = value.toInt(&ok);
            if (!ok || o.nQuality < 0 || o.nQuality > 100) {
                PrintError(QStringLiteral("--quality needs a whole number from 0 to 100, not %1").arg(value));
                return std::nullopt;
            }
        } else if (name == QLatin1String("--fps")) {
            o.dFps = value.toDouble(&ok);
            if (!ok || !(o.dFps > 0.0 && o.dFps <= 1000.0)) {
                PrintError(QStringLiteral("--fps needs a number above 0 and at most 1000, not %1").arg(value));
                return std::nullopt;
            }
        } else {
            o.nFrames = value.toInt(&ok);
            if (!ok || o.nFrames < 2 || o.nFrames > 99999) {
                PrintError(QStringLiteral("--frames needs a whole number from 2 to 99999, not %1").arg(value));
                return std::nullopt;
            }
            ++modes;
        }
    }
    if (o.strSource.isEmpty() || o.strTarget.isEmpty() || o.strOut.isEmpty()) {
        PrintError(QStringLiteral("--source, --target and --out are required"));
        return std::nullopt;
    }
    if (modes != 1) {
        PrintError(QStringLiteral("give exactly one of --t, --position and --frames"));
        return std::nullopt;
    }
    if (CVideoWriter::IsVideoPath(o.strOut) && o.nFrames == 0) {
        PrintError(QStringLiteral("%1 is a video: give its number of frames with --frames").arg(o.strOut));
        return std::nullopt;
    }
    return o;
}

bool ReadPairs(const QString& path, CMorphHandleArray& pairs)
{
    QString error;
    if (CPairsFile::Load(path, pairs, error))
        return true;
    PrintError(error);
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
    std::fflush(stdout);
}

bool WriteFrame(CMorphCore& core, CImage& frame, float t, const QString& path, int quality)
{
    core.RenderFrame(frame, t);
    if (frame.Save(path, quality) < 0) {
        CMessageBox::Show(QStringLiteral("書き出しに失敗しました。\n\n") + path, MB_OK | MB_ICONWARNING);
        return false;
    }
    return true;
}

// Renders the sequence into one video or GIF file through ffmpeg.
int WriteVideo(const Options& o, CMorphCore& core, CImage& frame)
{
    CVideoWriter video;
    bool ok = video.Open(o.strOut, frame.GetWidth(), frame.GetHeight(), o.dFps, o.nFrames);
    for (int i = 0; ok && i < o.nFrames; ++i) {
        core.RenderFrame(frame, float(double(i) / (o.nFrames - 1)));
        ok = video.WriteFrame(frame);
    }
    if (ok && video.Finish())
        return kExitOk;
    PrintError(video.ErrorString());
    return kExitOutputFailed;
}

int Run(const Options& o)
{
    CMorphHandleArray pairs;
    if (!o.strPairs.isEmpty() && !ReadPairs(o.strPairs, pairs))
        return kExitBadInput;

    const bool video = CVideoWriter::IsVideoPath(o.strOut);
    std::optional<CExportPath> sequence;
    if (o.nFrames > 0 && !video) {
        sequence = CExportPath::Split(o.strOut);
        if (!sequence) {
            PrintError(QStringLiteral("%1: a part of the path is longer than %2 characters")
                           .arg(o.strOut)
                           .arg(CExportPath::kMaxPart));
            return kExitBadInput;
        }
    }

    CMorphData doc;
    if (!doc.LoadSource(o.strSource)) {
        PrintError(QStringLiteral("%1: cannot load the source picture").arg(o.strSource));
        return kExitBadInput;
    }
    if (!doc.LoadTarget(o.strTarget)) {
        PrintError(QStringLiteral("%1: cannot load the target picture").arg(o.strTarget));
        return kExitBadInput;
    }
    if (!doc.CheckImages())
        return kExitBadInput;
    for (int32_t i = 0; i < pairs.GetSize(); ++i)
        doc.m_aHandles.Add(pairs[i]);

    CMorphCore core;
    try {
        core.BuildMesh(&doc);
    } catch (const std::bad_alloc&) {
        PrintError(QStringLiteral("not enough memory to build the mesh of %1 pairs").arg(pairs.GetSize()));
        return kExitOutputFailed;
    }
    if (o.bMesh)
        PrintMesh(core);

    CImage frame;
    if (!frame.Create(doc.m_pSourceImage->GetWidth(), doc.m_pSourceImage->GetHeight())) {
        PrintError(QStringLiteral("not enough memory for a frame"));
        return kExitOutputFailed;
    }
    if (video)
        return WriteVideo(o, core, frame);
    if (!sequence)
        return WriteFrame(core, frame, *o.t, o.strOut, o.nQuality) ? kExitOk : kExitOutputFailed;

    // Frames encode on worker threads while the next ones render; failures
    // are still reported in frame order.
    bool allWritten = true;
    CSequenceWriter writer(
        o.nJobs,
        [quality = o.nQuality](const QImage& image, const QString& path, QString&) {
            return CImage::SaveQImage(image, path, quality);
        },
        [&](int, const QString& path, int result, const QString&) {
            if (result < 0) {
                CMessageBox::Show(QStringLiteral("書き出しに失敗しました。\n\n") + path, MB_OK | MB_ICONWARNING);
                allWritten = false;
            }
        });
    for (int i = 0; i < o.nFrames; ++i) {
        core.RenderFrame(frame, float(double(i) / (o.nFrames - 1)));
        const QImage image = frame.ToQImage();
        if (image.isNull()) {
            PrintError(QStringLiteral("not enough memory for a frame"));
            return kExitOutputFailed;
        }
        writer.Add(i, image, sequence->NumberedName(i));
    }
    writer.Finish();
    return allWritten ? kExitOk : kExitOutputFailed;
}

} // namespace

int main(int argc, char** argv)
{
    // Image codecs are plugins found through the application object; no GUI needed.
    QCoreApplication app(argc, argv);
    // The application object adopts the user's locale; numbers printed here use '.' always.
    std::setlocale(LC_NUMERIC, "C");
    CMessageBox::SetHandler(CMessageBox::StderrHandler);

    const std::optional<Options> options = ParseArguments(QCoreApplication::arguments());
    if (!options) {
        std::fputs(kUsage, stderr);
        return kExitBadInput;
    }
    return Run(*options);
}
