#include "platform/CFailureReason.h"

#include <QDir>

#include <cerrno>

namespace {

struct SReason
{
    int nErrno;
    const char16_t* pWriting;
    const char16_t* pReading;
};

// The failures a user can act on, in the user's words.
const SReason s_aReasons[] = {
    {ENOSPC, u"ディスクの空き容量が不足しています。", nullptr},
#ifdef EDQUOT
    {EDQUOT, u"ディスクの使用量が上限に達しています。", nullptr},
#endif
    {EACCES, u"このフォルダに書き込む権限がありません。", u"このファイルを読む権限がありません。"},
    {EPERM, u"このフォルダに書き込む権限がありません。", u"このファイルを読む権限がありません。"},
    {EROFS, u"読み取り専用の場所には書き込めません。", nullptr},
    {ENOENT, u"フォルダが見つかりません。", u"ファイルが見つかりません。"},
    {ENOTDIR, u"フォルダが見つかりません。", u"フォルダが見つかりません。"},
    {EISDIR, u"同じ名前のフォルダがあります。", u"フォルダは読み込めません。"},
    {ENAMETOOLONG, u"ファイル名が長すぎます。", u"ファイル名が長すぎます。"},
    {EFBIG, u"ファイルが大きすぎます。", u"ファイルが大きすぎます。"},
    {EIO, u"ディスクの読み書きでエラーが発生しました。", u"ディスクの読み書きでエラーが発生しました。"},
    {ENOMEM, u"メモリが不足しています。", u"メモリが不足しています。"},
};

} // namespace

QString CFailureReason::WriteFailed(const QString& path, const QString& reason)
{
    QString text = QStringLiteral("書き出しに失敗しました。\n\n") + path;
    if (!reason.isEmpty())
        text += QLatin1Char('\n') + reason;
    return text;
}

QString CFailureReason::LoadFailed(const QString& path, const QString& reason)
{
    return QStringLiteral("画像の読み込みに失敗しました。\n\n%1\n%2").arg(QDir::toNativeSeparators(path), reason);
}

QString CFailureReason::OfErrno(int errnum, bool writing)
{
    for (const SReason& reason : s_aReasons)
        if (reason.nErrno == errnum) {
            const char16_t* text = writing ? reason.pWriting : reason.pReading;
            return text ? QString::fromUtf16(text) : QString();
        }
    return QString();
}

QString CFailureReason::OfWrite(int errnum)
{
    const QString known = OfErrno(errnum);
    return known.isEmpty() ? QStringLiteral("ファイルを書き込めません（エラー番号 %1）。").arg(errnum) : known;
}

QString CFailureReason::OfImageLoad(CImage::EResult result, int errnum)
{
    switch (result) {
    case CImage::kUnreadable:
        if (const QString known = OfErrno(errnum, false); !known.isEmpty())
            return known;
        return QStringLiteral("ファイルを開けません。");
    case CImage::kTooLarge:
        return QStringLiteral("画像が大きすぎて、今空いているメモリでは扱えません。");
    case CImage::kTooManyPixels:
        return QStringLiteral("画像が大きすぎます（%1 画素まで）。").arg(CImage::kMaxPixels);
    case CImage::kNotPicture:
        return QStringLiteral("この形式の画像は読み込めません。");
    case CImage::kDamaged:
        return QStringLiteral("画像のデータが壊れているか、途中で切れています。");
    case CImage::kNoMemory:
        return QStringLiteral("メモリが不足しています。");
    case CImage::kBadRequest:
        return QStringLiteral("ファイル名がありません。");
    default:
        return QStringLiteral("画像を読み込めません。");
    }
}
