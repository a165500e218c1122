// Matching the partner of a point and finding pairs, on textured scenes
// moved by known maps.

#include "CPairFinder.h"
#include "CPairPrior.h"
#include "CPartnerMatcher.h"
#include "DataTable.h"
#include "TestImages.h"
#include "WarpedScene.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <vector>

Q_DECLARE_METATYPE(WarpedScene::SMap)

namespace {

using WarpedScene::SMap;

enum EMove { kSmall, kLarge, kBent };

SMap MapOf(EMove eMove, int32_t w, int32_t h)
{
    SMap m;
    m.dCentreX = w / 2.0;
    m.dCentreY = h / 2.0;
    if (eMove == kSmall) {
        m.dAngleDeg = 2, m.dScale = 1.02, m.dShiftX = 6, m.dShiftY = -4;
    } else if (eMove == kLarge) {
        m.dAngleDeg = 10, m.dScale = 1.15, m.dShiftX = 60, m.dShiftY = 0;
    } else {
        m.dAngleDeg = 4, m.dScale = 1.06, m.dShiftX = 25, m.dShiftY = 15, m.dBend = 9;
    }
    return m;
}

double Distance(const CPoint& p, double x, double y)
{
    return std::hypot(p.x - x, p.y - y);
}

} // namespace

class TestAssist : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void prior_data();
    void prior();
    void match_data();
    void match();
    void matchDeclinesOnFlat();
    void findPairs_data();
    void findPairs();
};

void TestAssist::prior_data()
{
    // Pairs from → to of a known map; the prior must give the map's point far
    // from the pairs, where an error in the fit shows most.
    Columns<int, double, double, double, double>({"pairs", "scale", "angle", "shear", "bend"});
    QTest::newRow("none: same place") << 0 << 1.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("one: shift") << 1 << 1.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("two: similarity") << 2 << 1.3 << 20.0 << 0.0 << 0.0;
    QTest::newRow("three: affine") << 3 << 0.9 << -15.0 << 0.2 << 0.0;
    QTest::newRow("eleven: affine") << 11 << 1.1 << 5.0 << -0.1 << 0.0;
    QTest::newRow("sixteen: local affine") << 16 << 1.0 << 0.0 << 0.0 << 1.0;
}

void TestAssist::prior()
{
    QFETCH(int, pairs);
    QFETCH(double, scale);
    QFETCH(double, angle);
    QFETCH(double, shear);
    QFETCH(double, bend);
    const double a = angle * M_PI / 180;
    // Affine part plus, for the local case, a fold at x = 60 that no single
    // affine follows but the nearest pairs, all on one side of it, do.
    const auto map = [&](double x, double y, double& u, double& v) {
        u = scale * (std::cos(a) * x - std::sin(a) * y) + shear * y + 17 + (x >= 60 ? 30 * bend : 0);
        v = scale * (std::sin(a) * x + std::cos(a) * y) - 9;
    };
    std::vector<CPairPrior::SPair> given;
    for (int k = 0; k < pairs; ++k) {
        const double x = pairs >= 12 ? 40 * (k % 4) : 100 * std::cos(k * 2.1), y = pairs >= 12 ? 40 * (k / 4) : 80 * std::sin(k * 1.3);
        double u, v;
        map(x, y, u, v);
        given.push_back({x, y, u, v});
    }
    const CPairPrior prior(given);
    // Near the grid of the local case, far away for the global ones.
    const double x = pairs >= 12 ? 10 : 400, y = pairs >= 12 ? 60 : -300;
    const CPairPrior::SAffine m = prior.At(x, y);
    double u = x, v = y;
    if (pairs > 0)
        map(x, y, u, v);
    if (pairs == 1)
        u = x + 17, v = y - 9; // a shift only
    QVERIFY2(std::hypot(m.MapX(x, y) - u, m.MapY(x, y) - v) < 1e-6,
             qPrintable(QStringLiteral("%1 %2 for %3 %4").arg(m.MapX(x, y)).arg(m.MapY(x, y)).arg(u).arg(v)));

    // Every pair on one point: no affine and no similarity, the shift holds.
    std::vector<CPairPrior::SPair> same(size_t(std::max(pairs, 1)), {5, 5, 8, 1});
    const CPairPrior::SAffine s = CPairPrior(same).At(0, 0);
    QCOMPARE(s.MapX(0, 0), 3.0);
    QCOMPARE(s.MapY(0, 0), -4.0);
}

void TestAssist::match_data()
{
    Columns<int, int, int, int>({"width", "height", "move", "pairs"});
    QTest::newRow("640x480 small") << 640 << 480 << int(kSmall) << 4;
    QTest::newRow("640x480 large") << 640 << 480 << int(kLarge) << 4;
    QTest::newRow("640x480 bent") << 640 << 480 << int(kBent) << 6;
    QTest::newRow("1920x1080 small") << 1920 << 1080 << int(kSmall) << 4;
    QTest::newRow("1920x1080 large") << 1920 << 1080 << int(kLarge) << 5;
    QTest::newRow("1920x1080 bent, local prior") << 1920 << 1080 << int(kBent) << 16;
}

void TestAssist::match()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, move);
    QFETCH(int, pairs);
    const SMap map = MapOf(EMove(move), width, height);
    const auto source = WarpedScene::Source(width, height, 11);
    const auto target = WarpedScene::Target(width, height, 11, map);
    const CMorphHandleArray given = WarpedScene::GivenPairs(width, height, pairs, map);
    CPartnerMatcher matcher;
    matcher.SetPictures(source.get(), target.get());

    // Clicks on a grid, in both views; a click whose partner lies off the
    // other picture does not count.
    int clicks = 0, made = 0, near = 0, far = 0;
    for (int j = 0; j < 9; ++j)
        for (int i = 0; i < 12; ++i) {
            const CPoint click(int32_t(width * (i + 0.5) / 12), int32_t(height * (j + 0.5) / 9));
            const bool fromSource = (i + j) % 3 != 0;
            double tx, ty;
            if (fromSource)
                map.Forward(click.x, click.y, tx, ty);
            else
                map.Backward(click.x, click.y, tx, ty);
            if (tx < 12 || ty < 12 || tx > width - 13 || ty > height - 13)
                continue;
            ++clicks;
            const CPartnerMatcher::SSuggestion s = matcher.Suggest(given, -1, click, fromSource);
            const double error = Distance(s.ptPartner, tx, ty);
            if (s.eResult != CPartnerMatcher::kMatched)
                continue;
            ++made;
            near += error <= 1.5;
            far += error > 5;
        }
    QVERIFY(clicks >= 40);
    const QString counts = QStringLiteral("%1 clicks, %2 made, %3 near, %4 far").arg(clicks).arg(made).arg(near).arg(far);
    QVERIFY2(made >= 0.8 * clicks, qPrintable(counts));
    QVERIFY2(near >= 0.95 * made, qPrintable(counts));
    QVERIFY2(far <= 0.01 * made, qPrintable(counts));

    // The same inputs, the same suggestion; also from grey copies made
    // ahead on a worker, from pictures that are gone before it is asked.
    CPartnerMatcher ahead;
    {
        const auto sourceCopy = WarpedScene::Source(width, height, 11);
        const auto targetCopy = WarpedScene::Target(width, height, 11, map);
        ahead.SetPicturesAhead(sourceCopy.get(), targetCopy.get());
    }
    for (int k = 1; k < 4; ++k) {
        const CPoint click(width * k / 4, height * k / 5);
        const CPartnerMatcher::SSuggestion s = matcher.Suggest(given, -1, click, true);
        QCOMPARE(matcher.Suggest(given, -1, click, true).ptPartner, s.ptPartner);
        QCOMPARE(ahead.Suggest(given, -1, click, true).ptPartner, s.ptPartner);
    }
}

void TestAssist::matchDeclinesOnFlat()
{
    // One colour: every click declines and the suggestion is the prior's
    // position, here the shift of the one pair placed.
    const auto flat = TestImages::Painted(640, 480, [](int32_t, int32_t, uint8_t* p) { p[0] = p[1] = p[2] = 128; });
    CPartnerMatcher matcher;
    matcher.SetPictures(flat.get(), flat.get());
    CMorphHandleArray given;
    given.Add(CMorphHandle{CPoint(300, 200), CPoint(310, 195)});
    for (int k = 0; k < 60; ++k) {
        const CPoint click(5 + k * 10, 7 + k * 7);
        const CPartnerMatcher::SSuggestion s = matcher.Suggest(given, -1, click, true);
        QCOMPARE(s.eResult, CPartnerMatcher::kFlat);
        QCOMPARE(s.ptPartner, CPoint(std::min(click.x + 10, 639), click.y - 5));
    }
    QCOMPARE(CPairFinder::Find(*flat, *flat, {}).aPairs.size(), size_t(0));
}

void TestAssist::findPairs_data()
{
    Columns<int, double>({"move", "contrast"});
    QTest::newRow("small") << int(kSmall) << 1.0;
    QTest::newRow("large") << int(kLarge) << 1.0;
    QTest::newRow("bent") << int(kBent) << 1.0;
    // Few corners pass the detector's usual threshold here.
    QTest::newRow("large, faint") << int(kLarge) << 0.3;
}

void TestAssist::findPairs()
{
    QFETCH(int, move);
    QFETCH(double, contrast);
    const int32_t w = 1920, h = 1080;
    const SMap map = MapOf(EMove(move), w, h);
    const auto source = WarpedScene::Source(w, h, 23, contrast);
    const auto target = WarpedScene::Target(w, h, 23, map, contrast);
    // A pair already placed keeps its cell free of new ones.
    CMorphHandleArray existing;
    existing.Add(CMorphHandle{CPoint(w / 2, h / 2), CPoint(w / 2, h / 2)});
    const CPairFinder::SResult found = CPairFinder::Find(*source, *target, existing);
    std::vector<double> errors;
    for (const CMorphHandle& pair : found.aPairs) {
        QVERIFY(pair.m_ptTarget.x >= 0 && pair.m_ptTarget.y >= 0 && pair.m_ptTarget.x < w && pair.m_ptTarget.y < h);
        QVERIFY(std::abs(pair.m_ptSource.x - w / 2) >= 1 || std::abs(pair.m_ptSource.y - h / 2) >= 1);
        double tx, ty;
        map.Forward(pair.m_ptSource.x, pair.m_ptSource.y, tx, ty);
        errors.push_back(Distance(pair.m_ptTarget, tx, ty));
    }
    std::sort(errors.begin(), errors.end());
    const QString counts = QStringLiteral("%1 pairs of %2 matches, worst %3").arg(errors.size()).arg(found.nMatches)
                               .arg(errors.empty() ? 0.0 : errors.back());
    QVERIFY2(errors.size() >= 30, qPrintable(counts));
    QVERIFY2(errors.back() <= 5, qPrintable(counts));
    QVERIFY2(errors[errors.size() / 2] <= 1.5, qPrintable(counts));
}

QTEST_GUILESS_MAIN(TestAssist)
#include "tst_assist.moc"
