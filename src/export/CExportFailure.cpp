#include "export/CExportFailure.h"

#include "platform/CAtomicFile.h"
#include "platform/CFailureReason.h"
#include "platform/CImage.h"
#include "platform/CVideoWriter.h"

QString CExportFailure::Message(const QString& path, const QString& reason)
{
    return CFailureReason::WriteFailed(path, reason);
}

QString CExportFailure::ReasonOfErrno(int errnum)
{
    return CFailureReason::OfErrno(errnum);
}

QString CExportFailure::NoFfmpeg()
{
    return QStringLiteral("動画と GIF アニメーションの書き出しには ffmpeg が必要ですが、見つかりません。"
                          "ffmpeg をインストールしてください。");
}

QString CExportFailure::ReasonOfVideo(const CVideoWriter& writer)
{
    return ReasonOfVideo(writer.ErrorKind(), writer.ErrorNumber());
}

QString CExportFailure::ReasonOfSave(int result, const QString& reason)
{
    switch (result) {
    case CImage::kNoEncoder:
        return QStringLiteral("この拡張子の形式では書き出せません。");
    case CImage::kCannotHold:
        return QStringLiteral("この形式ではこの大きさの画像を保存できません。");
    case CImage::kNoMemory:
        return ReasonOfErrno(ENOMEM);
    default:
        break;
    }
    // A failed write gives the system's English text of its error number.
    for (int errnum = 1; errnum < 256; ++errnum)
        if (reason == CAtomicFile::ErrorText(errnum))
            return CFailureReason::OfSystem(errnum);
    if (reason == QLatin1String("a folder has that name"))
        return ReasonOfErrno(EISDIR);
    return QStringLiteral("ファイルを書き込めません（%1）。").arg(reason);
}

QString CExportFailure::ReasonOfJob(const CExportJob::SFailure& failure)
{
    switch (failure.eError) {
    case CExportJob::EError::SameFile:
        return QStringLiteral("読み込んだファイル %1 と同じファイルです。読み込んだファイルには書き出せません。")
            .arg(failure.strInput);
    case CExportJob::EError::NameTooLong:
        return ReasonOfErrno(ENAMETOOLONG);
    case CExportJob::EError::FormatLimit:
        return QStringLiteral("この形式で保存できる画像の幅と高さは %1 ピクセルまでです。").arg(failure.nLimit);
    case CExportJob::EError::BadFps:
        return QStringLiteral("この形式ではこのフレームレートを使えません。");
    case CExportJob::EError::NoMemory:
        return ReasonOfErrno(ENOMEM);
    case CExportJob::EError::WriteFailed:
        return ReasonOfSave(failure.nResult, failure.strReason);
    case CExportJob::EError::Video:
        return ReasonOfVideo(failure.eVideo, failure.nErrno);
    case CExportJob::EError::BadRange:
    case CExportJob::EError::Stopped:
    case CExportJob::EError::None:
        break;
    }
    return QString();
}

QString CExportFailure::ReasonOfVideo(CVideoWriter::EError kind, int errnum)
{
    const QString known = ReasonOfErrno(errnum);
    if (!known.isEmpty())
        return known;
    switch (kind) {
    case CVideoWriter::EError::NoProgram:
        return NoFfmpeg();
    case CVideoWriter::EError::CannotRun:
        return QStringLiteral("ffmpeg を起動できません。");
    case CVideoWriter::EError::Program:
        return QStringLiteral("ffmpeg がエラーで終了しました。");
    case CVideoWriter::EError::GifTooLarge:
        return QStringLiteral("GIF アニメーションにするには枚数が多すぎます。枚数を減らすか、動画の形式を選んでください。");
    case CVideoWriter::EError::System:
        return CFailureReason::OfSystem(errnum);
    case CVideoWriter::EError::None:
    case CVideoWriter::EError::Other:
        break;
    }
    return QStringLiteral("動画を書き出せません。");
}
