#include "DataTable.h"
#include "document/CMorphData.h"
#include "engine/CGeometry.h"
#include "engine/CMorphCore.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <utility>
#include <vector>

Q_DECLARE_METATYPE(CPoint)

namespace {

// A document with blank w × h pictures and the given pairs, added unchecked.
std::unique_ptr<CMorphData> MakeDoc(int32_t w, int32_t h, const QList<CMorphHandle>& pairs = {})
{
    auto doc = std::make_unique<CMorphData>();
    doc->m_pSourceImage = std::make_unique<CImage>();
    doc->m_pTargetImage = std::make_unique<CImage>();
    if (!doc->m_pSourceImage->Create(w, h) || !doc->m_pTargetImage->Create(w, h))
        return nullptr;
    for (const CMorphHandle& pair : pairs)
        doc->m_aHandles.Add(pair);
    return doc;
}

CMorphHandle Same(int32_t x, int32_t y)
{
    return CMorphHandle{CPoint(x, y), CPoint(x, y)};
}

QList<CPoint> Sources(const CMorphCore& core)
{
    QList<CPoint> list;
    for (int32_t i = 0; i < core.GetPoints().GetSize(); ++i)
        list << core.GetPoints()[i].m_ptSource;
    return list;
}

QList<std::pair<int, int>> Edges(const CMorphCore& core)
{
    QList<std::pair<int, int>> list;
    for (const auto& line : core.GetLines())
        list << std::pair<int, int>(line.nStart, line.nEnd);
    return list;
}

QList<QList<int>> Triangles(const CMorphCore& core)
{
    QList<QList<int>> list;
    for (const auto& poly : core.GetPolygons())
        list << QList<int>{poly.nVertex1, poly.nVertex2, poly.nVertex3};
    return list;
}

// What every mesh must satisfy: ordered edge ends, no two edges crossing,
// triangles ascending and made of accepted edges.
void CheckInvariants(const CMorphCore& core)
{
    const auto& lines = core.GetLines();
    const auto& points = core.GetPoints();
    std::set<std::pair<int, int>> edges;
    for (const auto& line : lines) {
        QVERIFY(0 <= line.nStart && line.nStart < line.nEnd && line.nEnd < points.GetSize());
        edges.insert({line.nStart, line.nEnd});
    }
    QCOMPARE(edges.size(), size_t(lines.size()));
    for (size_t i = 0; i < lines.size(); ++i)
        for (size_t j = i + 1; j < lines.size(); ++j)
            QVERIFY(!CMorphCore::SegmentsCross(
                points[lines[i].nStart].m_ptSource, points[lines[i].nEnd].m_ptSource,
                points[lines[j].nStart].m_ptSource, points[lines[j].nEnd].m_ptSource));
    for (const auto& poly : core.GetPolygons()) {
        QVERIFY(poly.nVertex1 < poly.nVertex2 && poly.nVertex2 < poly.nVertex3);
        QVERIFY(edges.count({poly.nVertex1, poly.nVertex2}));
        QVERIFY(edges.count({poly.nVertex2, poly.nVertex3}));
        QVERIFY(edges.count({poly.nVertex1, poly.nVertex3}));
    }
}

// The greedy scan as plainly as it can be written: every pair i < j, sorted
// stably by length, each tested against every edge accepted before it.
std::vector<std::pair<int, int>> PlainEdges(const CMorphHandleArray& points)
{
    const int n = points.GetSize();
    std::vector<CMorphCore::SLine> candidates;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            candidates.push_back({i, j, CGeometry::Distance(points[i].m_ptSource, points[j].m_ptSource)});
    std::stable_sort(candidates.begin(), candidates.end(), CMorphCore::IsShorter);
    std::vector<std::pair<int, int>> plain;
    for (const auto& c : candidates) {
        bool crosses = false;
        for (const auto& e : plain)
            crosses = crosses
                || CMorphCore::SegmentsCross(points[c.nStart].m_ptSource, points[c.nEnd].m_ptSource,
                                             points[e.first].m_ptSource, points[e.second].m_ptSource);
        if (!crosses)
            plain.push_back({c.nStart, c.nEnd});
    }
    return plain;
}

// The triangle search as plainly as it can be written, over the given edges
// in their order: every closed cycle p < q < r, refused by the first earlier
// triangle whose matching check finds its far corner inside.
QList<QList<int>> PlainTriangles(const CMorphHandleArray& points, const std::vector<std::pair<int, int>>& edges)
{
    QList<QList<int>> found;
    auto src = [&](int v) { return points[v].m_ptSource; };
    for (int p = 0; p < points.GetSize(); ++p) {
        for (const auto& e1 : edges) {
            if (e1.first != p)
                continue;
            const int q = e1.second;
            for (const auto& e2 : edges) {
                if (e2.first != q)
                    continue;
                const int r = e2.second;
                bool closed = false;
                for (const auto& e3 : edges)
                    closed = closed || (e3.first == p && e3.second == r);
                if (!closed)
                    continue;
                const CPoint P = src(p), Q = src(q), R = src(r);
                const CPoint G(int32_t((int64_t(P.x) + Q.x + R.x) / 3), int32_t((int64_t(P.y) + Q.y + R.y) / 3));
                auto inside = [&](int v) {
                    const CPoint C = src(v);
                    return !CMorphCore::SegmentsCross(G, C, P, Q) && !CMorphCore::SegmentsCross(G, C, Q, R)
                        && !CMorphCore::SegmentsCross(G, C, R, P);
                };
                bool refused = false;
                for (const QList<int>& t : found) {
                    if (t[0] == p && t[1] == q && inside(t[2]))
                        refused = true;
                    else if (t[1] == q && t[2] == r && inside(t[0]))
                        refused = true;
                    else if (t[2] == r && t[0] == p && inside(t[1]))
                        refused = true;
                    if (refused)
                        break;
                }
                if (!refused)
                    found << QList<int>{p, q, r};
            }
        }
    }
    return found;
}

// Point sets that strain the build: kinds of degenerate and random layouts.
QList<CMorphHandle> MakePairs(const QString& kind, int count, std::mt19937& random, int32_t w, int32_t h)
{
    const int32_t M = 2147483647, m = -2147483647 - 1;
    std::uniform_int_distribution<int> px(-20, w + 19), py(-20, h + 19);
    std::uniform_int_distribution<int> coin(0, 9), far(-2000000000, 2000000000);
    QList<CMorphHandle> list;
    for (int i = 0; i < count; ++i) {
        if (kind == QLatin1String("coincident")) {
            list << Same(w / 3, h / 3);
        } else if (kind == QLatin1String("row")) {
            list << Same(px(random) % w, h / 2);
        } else if (kind == QLatin1String("diagonal")) {
            const int k = int(random() % 60);
            list << Same(k * 3, k * 2);
        } else if (kind == QLatin1String("clusters")) {
            // A few positions holding many points each, and some points apart.
            static const CPoint at[] = {{0, 0}, {3, 2}, {6, 4}, {3, 0}};
            const CPoint c = at[random() % 4];
            list << (coin(random) < 7 ? Same(w / 4 + c.x, h / 4 + c.y) : Same(px(random), py(random)));
        } else if (kind == QLatin1String("lines")) {
            // Rows, columns and lines of several slopes through one point,
            // where the centroid's truncation may or may not leave the line,
            // with repeated points and some points off every line.
            const int k = int(random() % 12) - 4, c = coin(random);
            if (c < 2)
                list << Same(w / 2 + k * 5, h / 3);
            else if (c < 4)
                list << Same(w / 3, h / 2 + k * 3);
            else if (c < 6)
                list << Same(w / 2 + k, h / 2 + k);
            else if (c < 8)
                list << Same(w / 2 + 3 * k, h / 2 - 2 * k);
            else if (c < 9 && !list.isEmpty())
                list << list[int(random() % list.size())];
            else
                list << Same(px(random), py(random));
        } else if (kind == QLatin1String("grid")) {
            list << Same(int(random() % 8) * (w / 7), int(random() % 6) * (h / 5));
        } else if (kind == QLatin1String("ring")) {
            // Points at distance 50 from the centre: many equal keys.
            static const CPoint ring[] = {{50, 0}, {30, 40}, {40, 30}, {0, 50}, {14, 48}, {48, 14}};
            const CPoint d = ring[i % 6];
            const int sx = (i / 6) % 2 ? -1 : 1, sy = (i / 12) % 2 ? -1 : 1;
            list << Same(w / 2 + sx * d.x, h / 2 + sy * d.y);
        } else if (kind == QLatin1String("corners")) {
            const CPoint c[] = {{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}};
            list << (coin(random) < 5 ? Same(c[i % 4].x, c[i % 4].y) : Same(px(random), py(random)));
        } else if (kind == QLatin1String("extreme")) {
            const int32_t values[] = {m, m + 1, -1, 0, 1, M - 1, M};
            if (coin(random) < 4)
                list << Same(values[random() % 7], values[random() % 7]);
            else if (coin(random) < 3)
                list << Same(far(random), far(random));
            else
                list << Same(px(random), py(random));
        } else if (kind == QLatin1String("span")) {
            // With the corners, a span of 2^31 − 1 (even counts), the widest
            // for plain 64-bit arithmetic, or of 2^31 (odd counts).
            const int32_t lowX = w - 1 - M - count % 2, lowY = h - 1 - M - count % 2;
            list << Same(coin(random) < 4 ? lowX : int32_t(random() % unsigned(w)),
                         coin(random) < 4 ? lowY : int32_t(random() % unsigned(h)));
        } else { // mixed: duplicates, outside points, collinear runs
            const int c = coin(random);
            if (c == 0 && !list.isEmpty())
                list << list[int(random() % list.size())];
            else if (c == 1)
                list << Same(int(random() % 10) * 20, h / 2);
            else
                list << Same(px(random), py(random));
        }
    }
    return list;
}

} // namespace

class TestMesh : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void segmentsCross_data()
    {
        Columns<CPoint, CPoint, CPoint, CPoint, bool>({"a", "b", "c", "d", "cross"});
        QTest::newRow("proper X") << CPoint(0, 0) << CPoint(10, 10) << CPoint(0, 10) << CPoint(10, 0) << true;
        QTest::newRow("apart") << CPoint(0, 0) << CPoint(4, 4) << CPoint(6, 0) << CPoint(10, 4) << false;
        QTest::newRow("parallel") << CPoint(0, 0) << CPoint(10, 0) << CPoint(0, 1) << CPoint(10, 1) << false;
        QTest::newRow("shared end") << CPoint(0, 0) << CPoint(10, 0) << CPoint(10, 0) << CPoint(10, 7) << false;
        QTest::newRow("end on the other") << CPoint(0, 0) << CPoint(10, 0) << CPoint(5, 0) << CPoint(5, 7)
                                          << false;
        QTest::newRow("through an end") << CPoint(5, -5) << CPoint(5, 5) << CPoint(5, 0) << CPoint(9, 0) << false;
        QTest::newRow("collinear overlap") << CPoint(0, 0) << CPoint(10, 10) << CPoint(5, 5) << CPoint(15, 15)
                                           << false;
        QTest::newRow("collinear apart") << CPoint(0, 0) << CPoint(1, 1) << CPoint(5, 5) << CPoint(6, 6) << false;
        QTest::newRow("zero length") << CPoint(5, 5) << CPoint(5, 5) << CPoint(0, 0) << CPoint(10, 10) << false;
        QTest::newRow("zero length off") << CPoint(5, 0) << CPoint(5, 0) << CPoint(0, 5) << CPoint(10, -5)
                                         << false;
        QTest::newRow("long across") << CPoint(0, 0) << CPoint(10, 10) << CPoint(4, 5) << CPoint(20, 5) << true;
        QTest::newRow("just short") << CPoint(0, 0) << CPoint(10, 10) << CPoint(0, 5) << CPoint(4, 5) << false;
        // Products of these differences exceed 64 bits' signed range.
        const int32_t M = 2147483647, m = -2147483647 - 1;
        QTest::newRow("extreme X") << CPoint(m, m) << CPoint(M, M) << CPoint(m, M) << CPoint(M, m) << true;
        QTest::newRow("extreme apart") << CPoint(m, m) << CPoint(M, M - 1) << CPoint(m, m + 2) << CPoint(M, M)
                                       << false;
        QTest::newRow("extreme cross by one") << CPoint(m, m + 1) << CPoint(M, M - 1) << CPoint(m, m + 2)
                                              << CPoint(M, M - 2) << true;
        QTest::newRow("extreme touching") << CPoint(m, m) << CPoint(M, M) << CPoint(m, m + 1) << CPoint(M, M)
                                          << false;
        QTest::newRow("extreme T") << CPoint(-2000000000, 0) << CPoint(2000000000, 0) << CPoint(0, 0)
                                   << CPoint(0, -2000000000) << false;
    }
    void segmentsCross()
    {
        QFETCH(CPoint, a);
        QFETCH(CPoint, b);
        QFETCH(CPoint, c);
        QFETCH(CPoint, d);
        QFETCH(bool, cross);
        // Symmetric in the two segments and in the direction of each.
        QCOMPARE(CMorphCore::SegmentsCross(a, b, c, d), cross);
        QCOMPARE(CMorphCore::SegmentsCross(b, a, d, c), cross);
        QCOMPARE(CMorphCore::SegmentsCross(c, d, a, b), cross);
    }

    // Lengths from exact integer squares: their sum rounded once while it fits
    // in 64 bits, past that the two squares added in doubles.
    void distance_data()
    {
        Columns<CPoint, CPoint, double>({"a", "b", "length"});
        QTest::newRow("3, 4") << CPoint(0, 0) << CPoint(3, 4) << 5.0;
        // Adding the squares in doubles would give 2439106218.2402906.
        QTest::newRow("sum rounded once") << CPoint(-1892371687, 0) << CPoint(0, 1538885487) << 2439106218.240291;
        QTest::newRow("past 64 bits") << CPoint(-2147483647 - 1, -2147483647 - 1) << CPoint(2147483647, 2147483647)
                                      << 6074000998.537886;
    }
    void distance()
    {
        QFETCH(CPoint, a);
        QFETCH(CPoint, b);
        QFETCH(double, length);
        QVERIFY(CGeometry::Distance(a, b) == length);
        QVERIFY(CGeometry::Distance(b, a) == length);
    }

    // Corner order and diagonal follow the parities of the size.
    void workedExample_data()
    {
        Columns<int, int, QList<CPoint>, double>({"w", "h", "vertices", "diagonal"});
        QTest::newRow("640x480") << 640 << 480
                                 << QList<CPoint>{{639, 479}, {639, 0}, {0, 479}, {0, 0}} << std::sqrt(639.0 * 639 + 479 * 479);
        QTest::newRow("640x481") << 640 << 481
                                 << QList<CPoint>{{639, 0}, {639, 480}, {0, 0}, {0, 480}} << std::sqrt(639.0 * 639 + 480 * 480);
    }
    void workedExample()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(QList<CPoint>, vertices);
        QFETCH(double, diagonal);
        auto doc = MakeDoc(w, h);
        CMorphCore core;
        core.BuildMesh(doc.get());
        QCOMPARE(Sources(core), vertices);
        using E = std::pair<int, int>;
        QCOMPARE(Edges(core), (QList<E>{{0, 1}, {2, 3}, {0, 2}, {1, 3}, {0, 3}}));
        QCOMPARE(core.GetLines()[0].dLength, double(h - 1));
        QCOMPARE(core.GetLines()[2].dLength, 639.0);
        QCOMPARE(core.GetLines()[4].dLength, diagonal);
        QCOMPARE(Triangles(core), (QList<QList<int>>{{0, 1, 3}, {0, 2, 3}}));
        QCOMPARE(core.GetCanvas().GetWidth(), w);
        QCOMPARE(core.GetCanvas().GetHeight(), h);
        QCOMPARE(core.GetCanvas().m_aLineInfo.size(), size_t(h));
    }

    void pairAtCentre()
    {
        const CMorphHandle pair{CPoint(320, 240), CPoint(100, 50)};
        auto doc = MakeDoc(640, 480, {pair});
        CMorphCore core;
        core.BuildMesh(doc.get());
        QCOMPARE(core.GetPoints()[0], pair);
        QCOMPARE(core.GetLines().size(), size_t(8));
        using E = std::pair<int, int>;
        QCOMPARE(Edges(core).mid(0, 4), (QList<E>{{0, 1}, {0, 2}, {0, 3}, {0, 4}}));
        QCOMPARE(core.GetLines()[0].dLength, std::sqrt(319.0 * 319 + 239 * 239));
        QCOMPARE(core.GetLines()[3].dLength, 400.0);
        QCOMPARE(Triangles(core), (QList<QList<int>>{{0, 1, 2}, {0, 1, 3}, {0, 2, 4}, {0, 3, 4}}));
        CheckInvariants(core);
    }

    // The second cycle's centroid truncates onto a vertex and the far corner of
    // the first triangle then counts as inside it.
    void twoByTwoPicture()
    {
        auto doc = MakeDoc(2, 2);
        CMorphCore core;
        core.BuildMesh(doc.get());
        QCOMPARE(core.GetLines().size(), size_t(5));
        QCOMPARE(core.GetPolygons().size(), size_t(1));
    }

    // A pair on a corner and two equal pairs: the length-0 edges are accepted.
    void duplicatePoints()
    {
        auto doc = MakeDoc(100, 80, {Same(0, 0), Same(30, 20), Same(30, 20)});
        CMorphCore core;
        core.BuildMesh(doc.get());
        int zeroLength = 0;
        for (const auto& line : core.GetLines())
            zeroLength += line.dLength == 0.0;
        QCOMPARE(zeroLength, 2);
        QCOMPARE(core.GetLines()[0].dLength, 0.0);
        QCOMPARE(core.GetLines()[1].dLength, 0.0);
        CheckInvariants(core);
    }

    // Points on one line: short edges and the long one over them are all accepted.
    void collinearPoints()
    {
        auto doc = MakeDoc(100, 100, {Same(20, 50), Same(40, 50), Same(60, 50)});
        CMorphCore core;
        core.BuildMesh(doc.get());
        const QList<CPoint> src = Sources(core);
        const int a = int(src.indexOf(CPoint(20, 50))), b = int(src.indexOf(CPoint(40, 50))),
                  c = int(src.indexOf(CPoint(60, 50)));
        const auto edges = Edges(core);
        auto has = [&](int i, int j) { return edges.contains(std::pair<int, int>(std::min(i, j), std::max(i, j))); };
        QVERIFY(has(a, b));
        QVERIFY(has(b, c));
        QVERIFY(has(a, c));
        CheckInvariants(core);
    }

    // Points outside the picture, up to the ends of the 32-bit range.
    void pointsOutside()
    {
        const int32_t M = 2147483647, m = -2147483647 - 1;
        auto doc = MakeDoc(64, 48,
                           {Same(-30, 20), Same(200, 100), Same(2000000000, -2000000000), Same(m, M), Same(M, M),
                            CMorphHandle{CPoint(10, 10), CPoint(m, m)}});
        CMorphCore core;
        core.BuildMesh(doc.get());
        QCOMPARE(core.GetPoints().GetSize(), 10);
        QCOMPARE(core.GetPoints()[0].m_ptSource, CPoint(10, 10));
        // The farthest point sorts last; its lengths are exact in 64 bits.
        QCOMPARE(core.GetPoints()[9].m_ptSource, CPoint(m, M));
        for (const auto& line : core.GetLines()) {
            if (line.nStart == 8 && line.nEnd == 9) {
                const CPoint p = core.GetPoints()[8].m_ptSource;
                QCOMPARE(p, CPoint(M, M));
                QCOMPARE(line.dLength, 4294967295.0);
            }
        }
        QVERIFY(!core.GetPolygons().empty());
        if (core.GetLines().size() < 5000) // the check tests every two edges
            CheckInvariants(core);
    }

    // Equal keys keep their appended order, also beyond 32 elements.
    void stableOrder()
    {
        QList<CMorphHandle> pairs;
        for (int i = 0; i < 40; ++i)
            pairs << CMorphHandle{CPoint(50, 40 + (i % 2 ? 10 : -10)), CPoint(i, 0)};
        auto doc = MakeDoc(100, 80, pairs);
        CMorphCore core;
        core.BuildMesh(doc.get());
        QCOMPARE(core.GetPoints().GetSize(), 44);
        for (int i = 0; i < 40; ++i)
            QCOMPARE(core.GetPoints()[i].m_ptTarget.x, i);
        CheckInvariants(core);
    }

    // Random pairs: the invariants, and a rebuild gives the same mesh.
    void randomMeshes()
    {
        std::mt19937 random(11);
        for (int round = 0; round < 20; ++round) {
            std::uniform_int_distribution<int> px(-20, 219), py(-20, 169);
            QList<CMorphHandle> pairs;
            for (int i = 0; i < 25; ++i)
                pairs << Same(px(random), py(random));
            auto doc = MakeDoc(200, 150, pairs);
            CMorphCore core;
            core.BuildMesh(doc.get());
            CheckInvariants(core);
            QVERIFY(core.GetPolygons().size() >= 2);
            const auto edges = Edges(core);
            const auto triangles = Triangles(core);
            core.BuildMesh(doc.get());
            QCOMPARE(Edges(core), edges);
            QCOMPARE(Triangles(core), triangles);
        }
    }

    // The accepted edges equal those of the plain greedy scan (every candidate,
    // shortest first, against every edge accepted before it), also with
    // duplicate points, points on shared lines and points far outside.
    void edgesMatchThePlainScan_data()
    {
        Columns<int, int>({"pairs", "spread"});
        QTest::newRow("sparse") << 30 << 0;
        QTest::newRow("dense grid points") << 120 << 1;
        QTest::newRow("with far points") << 60 << 2;
    }
    void edgesMatchThePlainScan()
    {
        QFETCH(int, pairs);
        QFETCH(int, spread);
        std::mt19937 random(unsigned(pairs * 7 + spread));
        for (int round = 0; round < 5; ++round) {
            QList<CMorphHandle> list;
            std::uniform_int_distribution<int> px(-20, 219), py(-20, 169), coarse(0, 10), far(-2000000000, 2000000000);
            for (int i = 0; i < pairs; ++i) {
                if (spread == 1)
                    list << Same(coarse(random) * 20, coarse(random) * 15); // many repeats and collinear runs
                else if (spread == 2 && i % 10 == 0)
                    list << Same(far(random), far(random));
                else
                    list << Same(px(random), py(random));
            }
            auto doc = MakeDoc(200, 150, list);
            CMorphCore core;
            core.BuildMesh(doc.get());
            std::vector<std::pair<int, int>> built;
            for (const auto& line : core.GetLines())
                built.push_back({line.nStart, line.nEnd});
            QCOMPARE(built, PlainEdges(core.GetPoints()));
        }
    }

    // Edges and triangles equal those of the plain scans on point sets full of
    // equal keys, shared lines, shared points and extreme coordinates.
    void meshMatchesThePlainScans_data()
    {
        Columns<QString, int, int, int, int>({"kind", "pairs", "rounds", "width", "height"});
        QTest::newRow("random small") << "random" << 12 << 30 << 40 << 30;
        QTest::newRow("random tiny picture") << "random" << 8 << 30 << 3 << 2;
        // Small pictures: many triangles whose centroid truncates onto a vertex.
        QTest::newRow("lines, small picture") << "lines" << 20 << 500 << 12 << 9;
        QTest::newRow("grid, small picture") << "grid" << 20 << 500 << 14 << 10;
        QTest::newRow("random") << "random" << 60 << 6 << 160 << 120;
        QTest::newRow("coincident") << "coincident" << 40 << 1 << 100 << 80;
        QTest::newRow("row") << "row" << 50 << 3 << 100 << 80;
        QTest::newRow("diagonal") << "diagonal" << 50 << 3 << 200 << 150;
        QTest::newRow("grid") << "grid" << 60 << 3 << 140 << 100;
        QTest::newRow("ring of 36") << "ring" << 36 << 1 << 200 << 150;
        QTest::newRow("ring of 48") << "ring" << 48 << 1 << 201 << 151;
        QTest::newRow("coincident, 3 x 2") << "coincident" << 30 << 1 << 3 << 2;
        QTest::newRow("clusters") << "clusters" << 50 << 8 << 60 << 40;
        QTest::newRow("lines") << "lines" << 60 << 8 << 80 << 60;
        QTest::newRow("lines outside") << "lines" << 40 << 6 << 10 << 8;
        QTest::newRow("corners") << "corners" << 30 << 5 << 64 << 48;
        QTest::newRow("extreme") << "extreme" << 30 << 6 << 64 << 48;
        QTest::newRow("span") << "span" << 30 << 8 << 64 << 48;
    }
    void meshMatchesThePlainScans()
    {
        QFETCH(QString, kind);
        QFETCH(int, pairs);
        QFETCH(int, rounds);
        QFETCH(int, width);
        QFETCH(int, height);
        std::mt19937 random(unsigned(qHash(kind)) ^ unsigned(pairs));
        for (int round = 0; round < rounds; ++round) {
            const int count = rounds > 1 ? int(random() % unsigned(pairs + 1)) : pairs;
            auto doc = MakeDoc(width, height, MakePairs(kind, count, random, width, height));
            CMorphCore core;
            core.BuildMesh(doc.get());
            const std::vector<std::pair<int, int>> plainEdges = PlainEdges(core.GetPoints());
            std::vector<std::pair<int, int>> built;
            for (const auto& line : core.GetLines())
                built.push_back({line.nStart, line.nEnd});
            QCOMPARE(built, plainEdges);
            QCOMPARE(Triangles(core), PlainTriangles(core.GetPoints(), plainEdges));
        }
    }

    // A matching earlier triangle whose far corner is outside does not end
    // the test: the later triangle {0, 4, 6} still refuses {0, 4, 5}.
    void laterTriangleRefuses()
    {
        auto doc = MakeDoc(3, 2,
                           {CMorphHandle{CPoint(1, 1), CPoint(0, 2)}, CMorphHandle{CPoint(2, 1), CPoint(2, 0)},
                            CMorphHandle{CPoint(0, 0), CPoint(1, -1)}});
        CMorphCore core;
        core.BuildMesh(doc.get());
        const auto triangles = Triangles(core);
        QCOMPARE(triangles.size(), 6);
        QVERIFY(triangles.contains(QList<int>({0, 4, 6})));
        QVERIFY(!triangles.contains(QList<int>({0, 4, 5})));
        const auto edges = Edges(core);
        QCOMPARE(triangles, PlainTriangles(core.GetPoints(), {edges.begin(), edges.end()}));
        CheckInvariants(core);
    }

    // Candidates made in many small chunks, with runs of equal lengths larger
    // than a chunk, come in the same order as all of them sorted at once.
    void smallChunksMatchThePlainScan_data()
    {
        Columns<QString, int>({"kind", "chunk"});
        QTest::newRow("random") << "random" << 50;
        QTest::newRow("random, chunk of 1") << "random" << 1;
        QTest::newRow("coincident") << "coincident" << 100;
        QTest::newRow("grid") << "grid" << 64;
        QTest::newRow("ring") << "ring" << 30;
        QTest::newRow("extreme") << "extreme" << 40;
        QTest::newRow("span") << "span" << 40;
    }
    void smallChunksMatchThePlainScan()
    {
        QFETCH(QString, kind);
        QFETCH(int, chunk);
        std::mt19937 random(unsigned(qHash(kind)) + unsigned(chunk));
        auto doc = MakeDoc(120, 90, MakePairs(kind, 40, random, 120, 90));
        CMorphCore core;
        core.SetCandidateChunk(size_t(chunk));
        core.BuildMesh(doc.get());
        const std::vector<std::pair<int, int>> plainEdges = PlainEdges(core.GetPoints());
        const auto edges = Edges(core);
        QCOMPARE((std::vector<std::pair<int, int>>(edges.begin(), edges.end())), plainEdges);
        QCOMPARE(Triangles(core), PlainTriangles(core.GetPoints(), plainEdges));
        for (size_t k = 1; k < core.GetLines().size(); ++k)
            QVERIFY(core.GetLines()[k - 1].dLength <= core.GetLines()[k].dLength);
    }

    // The triangle search's pairs (e1, e2), counted plainly from the edges.
    static uint64_t PlainEdgePairs(const CMorphCore& core)
    {
        uint64_t pairs = 0;
        for (const auto& e1 : core.GetLines())
            for (const auto& e2 : core.GetLines())
                pairs += e2.nStart == e1.nEnd;
        return pairs;
    }

    // A limit one below the pair count is refused, naming that count; the
    // build under the default limit is the same as before.
    void edgePairLimit_data()
    {
        Columns<QString, int>({"kind", "pairs"});
        QTest::newRow("random") << "random" << 60;
        QTest::newRow("lines") << "lines" << 60;
        QTest::newRow("clusters") << "clusters" << 50;
        QTest::newRow("coincident") << "coincident" << 40;
    }
    void edgePairLimit()
    {
        QFETCH(QString, kind);
        QFETCH(int, pairs);
        std::mt19937 random(unsigned(qHash(kind)));
        auto doc = MakeDoc(80, 60, MakePairs(kind, pairs, random, 80, 60));
        CMorphCore core;
        core.BuildMesh(doc.get());
        const uint64_t count = PlainEdgePairs(core);
        QVERIFY(count > 0);
        CMorphCore limited;
        limited.SetEdgePairLimit(count - 1);
        try {
            limited.BuildMesh(doc.get());
            QFAIL("built past the limit");
        } catch (const CMeshTooLargeError& error) {
            QCOMPARE(error.GetEdgePairCount(), count);
            QVERIFY(QByteArray(error.what()).contains(QByteArray::number(qulonglong(count))));
        }
    }

    // Where every point, corners too, is at one position, no candidate tests
    // a far corner: the limit of exactly the pair count is enough.
    void onePositionTestsNoCorner()
    {
        QList<CMorphHandle> pairs;
        for (int i = 0; i < 20; ++i)
            pairs << Same(0, 0);
        auto doc = MakeDoc(1, 1, pairs);
        CMorphCore core;
        core.BuildMesh(doc.get());
        const uint64_t count = PlainEdgePairs(core);
        QCOMPARE(count, uint64_t(24 * 23 * 22 / 6));
        CMorphCore limited;
        limited.SetEdgePairLimit(count);
        limited.BuildMesh(doc.get());
        QCOMPARE(Triangles(limited), Triangles(core));
    }

    // Thousands of points at one position are refused before any edge is
    // made: all k(k − 1)/2 edges between them and all k(k − 1)(k − 2)/6 edge
    // pairs are known from the count alone.
    void coincidentRefusedUpFront()
    {
        QList<CMorphHandle> pairs;
        for (int i = 0; i < 2700; ++i)
            pairs << Same(100, 100);
        auto doc = MakeDoc(640, 480, pairs);
        CMorphCore core;
        try {
            core.BuildMesh(doc.get());
            QFAIL("built");
        } catch (const CMeshTooLargeError& error) {
            QCOMPARE(error.GetEdgeCount(), uint64_t(2700) * 2699 / 2);
            QCOMPARE(error.GetEdgePairCount(), uint64_t(2700) * 2699 * 2698 / 6);
            QVERIFY(core.GetLines().empty());
        }
    }

    // The benchmark's sets stay within the default limits.
    void largeSetsStillBuild_data()
    {
        Columns<QString, int>({"kind", "pairs"});
        QTest::newRow("300 at one position") << "coincident" << 300;
        QTest::newRow("300 on one row") << "row" << 300;
        QTest::newRow("1000 random") << "random" << 1000;
    }
    void largeSetsStillBuild()
    {
        QFETCH(QString, kind);
        QFETCH(int, pairs);
        std::mt19937 random(7);
        auto doc = MakeDoc(640, 480, MakePairs(kind, pairs, random, 640, 480));
        CMorphCore core;
        core.BuildMesh(doc.get());
        QVERIFY(!core.GetPolygons().empty());
        if (core.GetLines().size() < 5000) // the check tests every two edges
            CheckInvariants(core);
    }

    // Changing the document's pairs after a build leaves the mesh as it was.
    void pairsAreCopied()
    {
        auto doc = MakeDoc(64, 48, {Same(10, 10)});
        CMorphCore core;
        core.BuildMesh(doc.get());
        doc->m_aHandles.ElementAt(0).m_ptSource = CPoint(50, 40);
        QCOMPARE(core.GetPoints().GetSize(), 5);
        QVERIFY(Sources(core).contains(CPoint(10, 10)));
    }
};

QTEST_GUILESS_MAIN(TestMesh)
#include "tst_mesh.moc"
