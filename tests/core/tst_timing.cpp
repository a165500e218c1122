#include "DataTable.h"
#include "document/CMorphTiming.h"
#include "document/CTimingCurve.h"

#include <QTest>

#include <cmath>

Q_DECLARE_METATYPE(CTimingCurve::EKind)

namespace {

// The CSS meaning of cubic-bezier, solved by a plain fine search rather than
// bisection: the u whose x is nearest to t.
double BezierReference(double x1, double y1, double x2, double y2, double t)
{
    const auto at = [](double p1, double p2, double u) {
        return 3 * p1 * u * (1 - u) * (1 - u) + 3 * p2 * u * u * (1 - u) + u * u * u;
    };
    double best = 0, bestDist = 2;
    for (int k = 0; k <= 200000; ++k) {
        const double u = k / 200000.0;
        const double d = std::abs(at(x1, x2, u) - t);
        if (d < bestDist)
            bestDist = d, best = u;
    }
    return at(y1, y2, best);
}

} // namespace

class TestTiming : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The eased curves are these expressions, rounded once, bit for bit.
    void easedCurves_data()
    {
        Columns<QString, double, float>({"curve", "t", "value"});
        for (double t : {0.0, 1.0 / 29.0, 0.25, 0.5, 2.0 / 3.0, 28.0 / 29.0, 1.0}) {
            const QByteArray at = QByteArray::number(t);
            QTest::newRow("linear " + at) << "linear" << t << (float)t;
            QTest::newRow("in " + at) << "in" << t << (float)(t * t);
            QTest::newRow("out " + at) << "out" << t << (float)(t * (2.0 - t));
            QTest::newRow("in-out " + at) << "in-out" << t << (float)(t * t * (3.0 - 2.0 * t));
        }
    }
    void easedCurves()
    {
        QFETCH(QString, curve);
        QFETCH(double, t);
        QFETCH(float, value);
        const std::optional<CTimingCurve> c = CTimingCurve::Parse(curve);
        QVERIFY(c);
        QCOMPARE(c->Apply(t), value);
        QCOMPARE(c->ToString(), curve);
    }

    // The Bézier follows CSS's curve to float precision, ends exactly at 0
    // and 1 and never goes back.
    void bezier_data()
    {
        Columns<double, double, double, double>({"x1", "y1", "x2", "y2"});
        QTest::newRow("ease") << 0.25 << 0.1 << 0.25 << 1.0;
        QTest::newRow("ease-in-out") << 0.42 << 0.0 << 0.58 << 1.0;
        QTest::newRow("steep start") << 0.0 << 1.0 << 0.0 << 1.0;
        QTest::newRow("flat middle") << 1.0 << 0.0 << 0.0 << 1.0;
        QTest::newRow("x at the ends") << 0.0 << 0.0 << 1.0 << 1.0;
    }
    void bezier()
    {
        QFETCH(double, x1);
        QFETCH(double, y1);
        QFETCH(double, x2);
        QFETCH(double, y2);
        const QString text = QStringLiteral("bezier:%1,%2,%3,%4").arg(x1).arg(y1).arg(x2).arg(y2);
        const std::optional<CTimingCurve> c = CTimingCurve::Parse(text);
        QVERIFY(c);
        QCOMPARE(*CTimingCurve::Parse(c->ToString()), *c);
        QCOMPARE(c->Apply(0.0), 0.0f);
        QCOMPARE(c->Apply(1.0), 1.0f);
        float last = 0.0f;
        for (int i = 1; i < 50; ++i) {
            const double t = i / 50.0;
            const float v = c->Apply(t);
            QVERIFY2(v >= last, qPrintable(QString::number(t)));
            // A flat stretch of x makes y jump there: compare away from it.
            if (!(x1 == 1.0 && x2 == 0.0))
                QVERIFY2(std::abs(v - BezierReference(x1, y1, x2, y2, t)) < 1e-4, qPrintable(QString::number(t)));
            last = v;
        }
    }

    void parseRefuses_data()
    {
        QTest::addColumn<QString>("text");
        for (const char* t : {"", "Linear", "ease", "in-out ", "bezier:", "bezier:0,0,1", "bezier:0,0,1,1,1",
                              "bezier:0,0,1.5,1", "bezier:0,-0.1,1,1", "bezier:nan,0,1,1", "bezier:a,0,1,1"})
            QTest::newRow(t) << QString::fromLatin1(t);
    }
    void parseRefuses()
    {
        QFETCH(QString, text);
        QVERIFY(!CTimingCurve::Parse(text));
    }

    // Holds show exactly the source before and the target after; the frames
    // in between are frame i of the transition at i / (count - 1).
    void frames()
    {
        CMorphTiming timing;
        timing.m_nCount = 5;
        timing.m_nHoldStart = 2;
        timing.m_nHoldEnd = 3;
        timing.m_shape = *CTimingCurve::Parse(QStringLiteral("in-out"));
        QCOMPARE(timing.TotalFrames(), int64_t(10));
        const CMorphTiming::SPosition source{0.0f, 0.0f}, target{1.0f, 1.0f};
        QCOMPARE(timing.Frame(0), source);
        QCOMPARE(timing.Frame(1), source);
        QCOMPARE(timing.Frame(2), source);
        QCOMPARE(timing.FrameTime(0), 0.0);
        for (int i = 0; i < 5; ++i) {
            const double t = i / 4.0;
            QCOMPARE(timing.FrameTime(2 + i), t);
            QCOMPARE(timing.Frame(2 + i), (CMorphTiming::SPosition{(float)(t * t * (3.0 - 2.0 * t)), (float)t}));
        }
        QCOMPARE(timing.Frame(6), target);
        QCOMPARE(timing.Frame(9), target);
        QCOMPARE(timing.FrameTime(9), 1.0);
        timing.m_dFps = 4;
        QCOMPARE(timing.Duration(), 2.5);
        // Divided in double, not in float.
        timing.m_nCount = CMorphTiming::kMaxCount;
        QCOMPARE(timing.FrameTime(2 + 99997), 99997.0 / 99998.0);
    }
};

QTEST_APPLESS_MAIN(TestTiming)
#include "tst_timing.moc"
