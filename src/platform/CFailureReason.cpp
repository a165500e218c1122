#include "platform/CFailureReason.h"

#include "platform/CAtomicFile.h"

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
    {EMFILE, u"開いているファイルが多すぎます。", u"開いているファイルが多すぎます。"},
    {ENFILE, u"開いているファイルが多すぎます。", u"開いているファイルが多すぎます。"},
    {ELOOP, u"シンボリックリンクが多すぎるか、循環しています。", u"シンボリックリンクが多すぎるか、循環しています。"},
    {EBUSY, u"ファイルがほかのプログラムで使用中です。", nullptr},
    {ETXTBSY, u"ファイルがほかのプログラムで使用中です。", nullptr},
};

// The source or target picture, as pages 129 and 130 name them.
QString PictureName(const QString& key)
{
    return key == QLatin1String("source") ? QStringLiteral("元画像") : QStringLiteral("変更後の画像");
}

QString ReadReason(const CReadError& e)
{
    using EKind = CReadError::EKind;
    const auto valueRefused = [&e]() {
        return QStringLiteral("「%1」の値「%2」は使えません。").arg(e.m_strKey, e.m_strValue);
    };
    switch (e.m_eKind) {
    case EKind::CannotOpen:
    case EKind::CannotRead:
        return CFailureReason::OfSystem(e.m_nErrno, false);
    case EKind::TooManyBytes:
        return QStringLiteral("ファイルが大きすぎます（%1 バイトまで）。").arg(e.m_nLimit);
    case EKind::LineTooLong:
        return QStringLiteral("行が長すぎます（1 行 %1 バイトまで）。").arg(e.m_nLimit);
    case EKind::NotFourIntegers:
        return QStringLiteral("4 つの整数「sx sy tx ty」が必要です。");
    case EKind::TooManyPairs:
        return QStringLiteral("ポイントが多すぎます（%1 組まで）。").arg(e.m_nLimit);
    case EKind::NotProject:
        return QStringLiteral("Quillarend のプロジェクトファイルではありません。1 行目は「%1 バージョン」でなければなりません。")
            .arg(e.m_strKey);
    case EKind::NewerVersion:
        return QStringLiteral("このファイルの形式はバージョン %1 で、このプログラムが読めるバージョン %2 より新しいものです。"
                              "新しい Quillarend で開いてください。")
            .arg(e.m_nNumber)
            .arg(e.m_nLimit);
    case EKind::Repeated:
        return QStringLiteral("「%1」が 2 回書かれています。").arg(e.m_strKey);
    case EKind::NoFileName:
        return QStringLiteral("「%1」に画像のファイル名がありません。").arg(e.m_strKey);
    case EKind::BadCurve:
        return valueRefused()
            + QStringLiteral("linear、in、out、in-out、bezier:X1,Y1,X2,Y2（それぞれ 0 から 1）のどれかにしてください。");
    case EKind::BadWholeNumber:
        return valueRefused() + QStringLiteral("%1 から %2 までの整数にしてください。").arg(e.m_nLow).arg(e.m_nLimit);
    case EKind::BadNumber:
        return valueRefused() + QStringLiteral("%1 から %2 までの数にしてください。").arg(e.m_dLow).arg(e.m_dHigh);
    case EKind::BadPair:
        return QStringLiteral("4 つの整数「sx sy tx ty」が必要です（%1 組のうち %2 組目）。")
            .arg(e.m_nLimit)
            .arg(e.m_nNumber);
    case EKind::MorePairs:
        return QStringLiteral("%1 行目に %2 組とありますが、それより多くのポイントがあります。")
            .arg(e.m_nAtLine)
            .arg(e.m_nLimit);
    case EKind::CutShort:
        return QStringLiteral("%1 行目に %2 組とありますが、%3 組で終わっています。ファイルが途中で切れていませんか？")
            .arg(e.m_nAtLine)
            .arg(e.m_nLimit)
            .arg(e.m_nNumber);
    case EKind::UnknownEntry:
        return QStringLiteral("不明な項目「%1」があります。").arg(e.m_strKey);
    case EKind::NoEntry:
        return QStringLiteral("「%1」の行がありません。").arg(e.m_strKey);
    case EKind::NoPicture:
        return QStringLiteral("%1 %2 が見つかりません。").arg(PictureName(e.m_strKey), e.m_strValue);
    case EKind::PictureIsFolder:
        return QStringLiteral("%1 %2 はフォルダです。").arg(PictureName(e.m_strKey), e.m_strValue);
    case EKind::None:
        break;
    }
    return QStringLiteral("ファイルを読み込めません。");
}

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

QString CFailureReason::OfSystem(int errnum, bool writing)
{
    if (const QString known = OfErrno(errnum, writing); !known.isEmpty())
        return known;
    if (errnum <= 0)
        return writing ? QStringLiteral("ファイルを書き込めません。") : QStringLiteral("ファイルを開けません。");
    // A rare error keeps the system's English text, with the number to look up.
    return (writing ? QStringLiteral("ファイルを書き込めません（エラー番号 %1: %2）。")
                    : QStringLiteral("ファイルを読み込めません（エラー番号 %1: %2）。"))
        .arg(errnum)
        .arg(CAtomicFile::ErrorText(errnum));
}

QString CFailureReason::OfProjectSave(int errnum)
{
    return errnum ? OfWrite(errnum)
                  : QStringLiteral("画像のファイル名に改行が含まれているため、プロジェクトファイルに保存できません。");
}

QString CFailureReason::OfRead(const CReadError& error)
{
    const QString file = QDir::toNativeSeparators(error.m_strFile);
    const QString place = error.m_nLine > 0 ? file + QLatin1Char(':') + QString::number(error.m_nLine) : file;
    return place + QLatin1Char('\n') + ReadReason(error);
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
