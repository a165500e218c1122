#include "platform/CReadError.h"

namespace {

QString Reason(const CReadError& e)
{
    using EKind = CReadError::EKind;
    switch (e.m_eKind) {
    case EKind::CannotOpen:
    case EKind::CannotRead:
        return QStringLiteral("cannot be read: %1").arg(e.m_strValue);
    case EKind::TooManyBytes:
        return QStringLiteral("longer than %1 bytes").arg(e.m_nLimit);
    case EKind::LineTooLong:
        return QStringLiteral("line longer than %1 bytes").arg(e.m_nLimit);
    case EKind::NotFourIntegers:
        return QStringLiteral("expected four integers \"sx sy tx ty\"");
    case EKind::TooManyPairs:
        return QStringLiteral("more than %1 pairs").arg(e.m_nLimit);
    case EKind::NotProject:
        return QStringLiteral("not a Quillarend project: the first line must be \"%1 VERSION\"").arg(e.m_strKey);
    case EKind::NewerVersion:
        return QStringLiteral("format version %1 is newer than this program reads (%2); "
                              "open it with a newer Quillarend")
            .arg(e.m_nNumber)
            .arg(e.m_nLimit);
    case EKind::Repeated:
        return QStringLiteral("\"%1\" is given a second time").arg(e.m_strKey);
    case EKind::NoFileName:
        return QStringLiteral("%1 needs the picture's file name").arg(e.m_strKey);
    case EKind::BadCurve:
        return QStringLiteral("%1 must be linear, in, out, in-out or bezier:X1,Y1,X2,Y2 (each 0 ... 1), not \"%2\"")
            .arg(e.m_strKey, e.m_strValue);
    case EKind::BadWholeNumber:
        return QStringLiteral("%1 must be a whole number from %2 to %3, not \"%4\"")
            .arg(e.m_strKey)
            .arg(e.m_nLow)
            .arg(e.m_nLimit)
            .arg(e.m_strValue);
    case EKind::BadNumber:
        return QStringLiteral("%1 must be a number from %2 to %3, not \"%4\"")
            .arg(e.m_strKey)
            .arg(e.m_dLow)
            .arg(e.m_dHigh)
            .arg(e.m_strValue);
    case EKind::BadPair:
        return QStringLiteral("expected four integers \"sx sy tx ty\" (pair %1 of %2)")
            .arg(e.m_nNumber)
            .arg(e.m_nLimit);
    case EKind::MorePairs:
        return QStringLiteral("more pairs than the %1 that line %2 announces").arg(e.m_nLimit).arg(e.m_nAtLine);
    case EKind::CutShort:
        return QStringLiteral("ends after %1 of the %2 pairs that line %3 announces; is it cut short?")
            .arg(e.m_nNumber)
            .arg(e.m_nLimit)
            .arg(e.m_nAtLine);
    case EKind::UnknownEntry:
        return QStringLiteral("unknown entry \"%1\"").arg(e.m_strKey);
    case EKind::NoEntry:
        return QStringLiteral("has no \"%1\" line").arg(e.m_strKey);
    case EKind::NoPicture:
        return QStringLiteral("the %1 picture %2 does not exist").arg(e.m_strKey, e.m_strValue);
    case EKind::PictureIsFolder:
        return QStringLiteral("the %1 picture %2 is a folder").arg(e.m_strKey, e.m_strValue);
    case EKind::None:
        break;
    }
    return QString();
}

} // namespace

bool CReadError::Fail(EKind kind, int line, int64_t limit)
{
    m_eKind = kind;
    m_nLine = line;
    m_nLimit = limit;
    return false;
}

QString CReadError::English() const
{
    const QString place = m_nLine > 0 ? m_strFile + QLatin1Char(':') + QString::number(m_nLine) : m_strFile;
    return place + QStringLiteral(": ") + Reason(*this);
}
