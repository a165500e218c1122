#include "CTimingCurve.h"

#include <QStringList>

namespace {

// One coordinate of the Bézier from (0, 0) over (p1, p2) to (1, 1) at u.
double BezierAt(double p1, double p2, double u)
{
    const double v = 1.0 - u;
    return 3.0 * p1 * u * v * v + 3.0 * p2 * u * u * v + u * u * u;
}

} // namespace

float CTimingCurve::Apply(double t) const
{
    switch (m_eKind) {
    case kLinear:
        return (float)t;
    case kEaseIn:
        return (float)(t * t);
    case kEaseOut:
        return (float)(t * (2.0 - t));
    case kEaseInOut:
        return (float)(t * t * (3.0 - 2.0 * t));
    case kBezier:
        break;
    }
    // x(u) rises from 0 to 1 as u does (x1, x2 in [0, 1]), so bisection finds
    // the u of t; the ends are exact so that frames 0 and last stay exact.
    if (t <= 0.0)
        return 0.0f;
    if (t >= 1.0)
        return 1.0f;
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < kBezierSteps; ++i) {
        const double mid = (lo + hi) / 2.0;
        if (BezierAt(m_dX1, m_dX2, mid) < t)
            lo = mid;
        else
            hi = mid;
    }
    return (float)BezierAt(m_dY1, m_dY2, (lo + hi) / 2.0);
}

std::optional<CTimingCurve> CTimingCurve::Parse(const QString& text)
{
    CTimingCurve curve;
    if (text == QLatin1String("linear"))
        return curve;
    if (text == QLatin1String("in"))
        return curve.m_eKind = kEaseIn, curve;
    if (text == QLatin1String("out"))
        return curve.m_eKind = kEaseOut, curve;
    if (text == QLatin1String("in-out"))
        return curve.m_eKind = kEaseInOut, curve;
    const QLatin1String prefix("bezier:");
    if (!text.startsWith(prefix))
        return std::nullopt;
    const QStringList parts = text.mid(prefix.size()).split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    double values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toDouble(&ok);
        if (!ok || !(values[i] >= 0.0 && values[i] <= 1.0))
            return std::nullopt;
    }
    curve.m_eKind = kBezier;
    curve.m_dX1 = values[0];
    curve.m_dY1 = values[1];
    curve.m_dX2 = values[2];
    curve.m_dY2 = values[3];
    return curve;
}

QString CTimingCurve::ToString() const
{
    switch (m_eKind) {
    case kLinear:
        return QStringLiteral("linear");
    case kEaseIn:
        return QStringLiteral("in");
    case kEaseOut:
        return QStringLiteral("out");
    case kEaseInOut:
        return QStringLiteral("in-out");
    case kBezier:
        break;
    }
    // 17 significant digits read back to the same doubles.
    return QStringLiteral("bezier:%1,%2,%3,%4")
        .arg(m_dX1, 0, 'g', 17)
        .arg(m_dY1, 0, 'g', 17)
        .arg(m_dX2, 0, 'g', 17)
        .arg(m_dY2, 0, 'g', 17);
}
