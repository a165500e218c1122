#include "CPairPrior.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

using SAffine = CPairPrior::SAffine;
using SPair = CPairPrior::SPair;

SAffine Shift(const std::vector<SPair>& pairs)
{
    SAffine m;
    for (const SPair& p : pairs) {
        m.c += p.toX - p.fromX;
        m.f += p.toY - p.fromY;
    }
    m.c /= double(pairs.size());
    m.f /= double(pairs.size());
    return m;
}

// Least-squares similarity x' = s·x − r·y + tx, y' = r·x + s·y + ty; the shift
// when the points coincide.
SAffine Similarity(const std::vector<SPair>& pairs)
{
    double mx = 0, my = 0, nx = 0, ny = 0;
    for (const SPair& p : pairs) {
        mx += p.fromX, my += p.fromY, nx += p.toX, ny += p.toY;
    }
    const double n = double(pairs.size());
    mx /= n, my /= n, nx /= n, ny /= n;
    double sxx = 0, sdot = 0, scross = 0;
    for (const SPair& p : pairs) {
        const double x = p.fromX - mx, y = p.fromY - my, u = p.toX - nx, v = p.toY - ny;
        sxx += x * x + y * y;
        sdot += x * u + y * v;
        scross += x * v - y * u;
    }
    if (!(sxx > 1e-9))
        return Shift(pairs);
    SAffine m;
    m.a = m.e = sdot / sxx;
    m.d = scross / sxx;
    m.b = -m.d;
    m.c = nx - m.a * mx - m.b * my;
    m.f = ny - m.d * mx - m.e * my;
    return m;
}

// Least-squares affine from centred sums; false when the points are
// collinear (or nearly so) and the normal equations are singular.
bool Affine(const std::vector<SPair>& pairs, SAffine& m)
{
    double mx = 0, my = 0, nx = 0, ny = 0;
    for (const SPair& p : pairs) {
        mx += p.fromX, my += p.fromY, nx += p.toX, ny += p.toY;
    }
    const double n = double(pairs.size());
    mx /= n, my /= n, nx /= n, ny /= n;
    double sxx = 0, sxy = 0, syy = 0, sxu = 0, syu = 0, sxv = 0, syv = 0;
    for (const SPair& p : pairs) {
        const double x = p.fromX - mx, y = p.fromY - my, u = p.toX - nx, v = p.toY - ny;
        sxx += x * x, sxy += x * y, syy += y * y;
        sxu += x * u, syu += y * u, sxv += x * v, syv += y * v;
    }
    const double det = sxx * syy - sxy * sxy;
    // Relative to the spread, so the test does not depend on the units.
    if (!(det > 1e-6 * (sxx + syy) * (sxx + syy)))
        return false;
    m.a = (sxu * syy - syu * sxy) / det;
    m.b = (syu * sxx - sxu * sxy) / det;
    m.d = (sxv * syy - syv * sxy) / det;
    m.e = (syv * sxx - sxv * sxy) / det;
    m.c = nx - m.a * mx - m.b * my;
    m.f = ny - m.d * mx - m.e * my;
    return true;
}

} // namespace

bool CPairPrior::SAffine::Inverse(SAffine& inverse) const
{
    const double det = a * e - b * d;
    if (!(std::fabs(det) > 1e-12))
        return false;
    inverse.a = e / det;
    inverse.b = -b / det;
    inverse.d = -d / det;
    inverse.e = a / det;
    inverse.c = -(inverse.a * c + inverse.b * f);
    inverse.f = -(inverse.d * c + inverse.e * f);
    return true;
}

CPairPrior::CPairPrior(const CMorphHandleArray& pairs, int32_t nSkip, bool bFromSource)
{
    m_aPairs.reserve(size_t(pairs.GetSize()));
    for (int32_t i = 0; i < pairs.GetSize(); ++i) {
        if (i == nSkip)
            continue;
        const CPoint& from = bFromSource ? pairs[i].m_ptSource : pairs[i].m_ptTarget;
        const CPoint& to = bFromSource ? pairs[i].m_ptTarget : pairs[i].m_ptSource;
        m_aPairs.push_back({double(from.x), double(from.y), double(to.x), double(to.y)});
    }
}

CPairPrior::SAffine CPairPrior::Fit(const std::vector<SPair>& pairs)
{
    if (pairs.empty())
        return SAffine();
    if (pairs.size() == 1)
        return Shift(pairs);
    SAffine m;
    if (pairs.size() >= 3 && Affine(pairs, m))
        return m;
    return Similarity(pairs);
}

CPairPrior::SAffine CPairPrior::At(double x, double y) const
{
    if (m_aPairs.size() < size_t(kLocalFrom))
        return Fit(m_aPairs);
    // The nearest pairs, ties broken by their order, so the fit repeats.
    std::vector<size_t> order(m_aPairs.size());
    std::iota(order.begin(), order.end(), size_t(0));
    const auto distance = [&](size_t k) {
        const double dx = m_aPairs[k].fromX - x, dy = m_aPairs[k].fromY - y;
        return dx * dx + dy * dy;
    };
    std::partial_sort(order.begin(), order.begin() + kLocalCount, order.end(), [&](size_t p, size_t q) {
        const double dp = distance(p), dq = distance(q);
        return dp < dq || (dp == dq && p < q);
    });
    std::vector<SPair> nearest;
    for (int k = 0; k < kLocalCount; ++k)
        nearest.push_back(m_aPairs[order[size_t(k)]]);
    SAffine m;
    if (Affine(nearest, m))
        return m;
    return Fit(m_aPairs);
}
