#include "CExportFailure.h"

#include "CFailureReason.h"
#include "CVideoWriter.h"

#include <system_error>

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
