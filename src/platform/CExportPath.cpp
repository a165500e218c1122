#include "platform/CExportPath.h"

#include <cstdint>

namespace {

bool IsSeparator(QChar c)
{
#if defined(Q_OS_WIN)
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
#else
    return c == QLatin1Char('/');
#endif
}

} // namespace

std::optional<CExportPath> CExportPath::Split(const QString& path)
{
    CExportPath parts;
    QString rest = path;
#if defined(Q_OS_WIN)
    if (rest.size() >= 2 && rest[1] == QLatin1Char(':') && rest[0].isLetter()) {
        parts.m_strDrive = rest.left(2);
        rest = rest.mid(2);
    }
#endif
    qsizetype sep = rest.size() - 1;
    while (sep >= 0 && !IsSeparator(rest[sep]))
        --sep;
    parts.m_strDir = rest.left(sep + 1);
    const QString fileName = rest.mid(sep + 1);
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    parts.m_strBase = dot < 0 ? fileName : fileName.left(dot);
    parts.m_strExt = dot < 0 ? QString() : fileName.mid(dot);
    if (parts.m_strDir.size() > kMaxPart || parts.m_strBase.size() > kMaxPart || parts.m_strExt.size() > kMaxPart)
        return std::nullopt;
    return parts;
}

QString CExportPath::NumberedName(int index) const
{
    return m_strDrive + m_strDir + m_strBase + QString::asprintf("_%05d", index) + m_strExt;
}

