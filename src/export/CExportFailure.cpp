#include "CExportFailure.h"

#include "CVideoWriter.h"

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
    const QString known = ReasonOfErrno(writer.ErrorNumber());
    if (!known.isEmpty())
        return known;
    switch (writer.ErrorKind()) {
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
            .arg(QString::fromStdString(std::generic_category().message(writer.ErrorNumber())));
    case CVideoWriter::EError::None:
    case CVideoWriter::EError::Other:
        break;
    }
    return QStringLiteral("動画を書き出せません。");
}
