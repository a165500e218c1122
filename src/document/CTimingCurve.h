#pragma once

#include <QString>

#include <optional>

// How the morph's progress follows time: linear, eased in, out, in and out,
// or a cubic Bézier with the meaning of CSS's cubic-bezier(x1, y1, x2, y2).
// Values are computed in double with + − × ÷ only, in the order written, and
// rounded to float once, so every processor and compiler gives the same bits.
class CTimingCurve
{
public:
    enum EKind
    {
        kLinear,
        kEaseIn,
        kEaseOut,
        kEaseInOut,
        kBezier,
    };

    // The curve's value at time t in [0, 1]: 0 at 0 and 1 at 1 for every
    // kind, as a float. Linear gives (float)t.
    float Apply(double t) const;

    // "linear", "in", "out", "in-out" or "bezier:X1,Y1,X2,Y2" with all four
    // in [0, 1]; nothing for any other text.
    static std::optional<CTimingCurve> Parse(const QString& text);
    // The text Parse reads back to the same curve.
    QString ToString() const;

    bool operator==(const CTimingCurve&) const = default;

    EKind m_eKind = kLinear;
    // Control points of kBezier; x and y in [0, 1], so the curve stays in [0, 1].
    double m_dX1 = 0.0;
    double m_dY1 = 0.0;
    double m_dX2 = 1.0;
    double m_dY2 = 1.0;

    // Bisection steps that solve x(u) = t for the Bézier.
    static constexpr int kBezierSteps = 40;
};
