#include "CExportFailure.h"

#include "CAtomicFile.h"
#include "CImage.h"

#include <cerrno>
#include <system_error>

namespace {

struct SReason
{
    int nErrno;
    const char16_t* pText;
};

// The failures a user can act on, in the user's words.
const SReason s_aReasons[] = {
    {ENOSPC, u"ディスクの空き容量が不足しています。"},
#ifdef EDQUOT
    {EDQUOT, u"ディスクの使用量が上限に達しています。"},
#endif
    {EACCES, u"このフォルダに書き込む権限がありません。"},
    {EPERM, u"このフォルダに書き込む権限がありません。"},
    {EROFS, u"読み取り専用の場所には書き込めません。"},
    {ENOENT, u"フォルダが見つかりません。"},
    {ENOTDIR, u"フォルダが見つかりません。"},
    {EISDIR, u"同じ名前のフォルダがあります。"},
    {ENAMETOOLONG, u"ファイル名が長すぎます。"},
    {EFBIG, u"ファイルが大きすぎます。"},
    {EIO, u"ディスクの読み書きでエラーが発生しました。"},
    {ENOMEM, u"メモリが不足しています。"},
};

} // namespace

QString CExportFailure::Message(const QString& path, const QString& reason)
{
    QString text = QStringLiteral("書き出しに失敗しました。\n\n") + path;
    if (!reason.isEmpty())
        text += QLatin1Char('\n') + reason;
    return text;
}

QString CExportFailure::ReasonOfErrno(int errnum)
{
    for (const SReason& reason : s_aReasons)
        if (reason.nErrno == errnum)
            return QString::fromUtf16(reason.pText);
    return QString();
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
    for (const SReason& known : s_aReasons)
        if (reason == CAtomicFile::ErrorText(known.nErrno))
            return QString::fromUtf16(known.pText);
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
        return QStringLiteral("ファイルを書き込めません（%1）。")
            .arg(QString::fromStdString(std::generic_category().message(errnum)));
    case CVideoWriter::EError::None:
    case CVideoWriter::EError::Other:
        break;
    }
    return QStringLiteral("動画を書き出せません。");
}
