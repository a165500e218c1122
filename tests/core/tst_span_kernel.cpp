#include "DataTable.h"
#include "engine/CSpanKernel.h"
#include "platform/Colors.h"

#include <QTest>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

using EKind = CSpanKernel::EKind;

// Texture bytes with no readable byte on either side: on Unix the pixels touch
// an inaccessible page at one end, so a read past them faults (and the
// sanitizer build catches one on every system).
class CGuardedBytes
{
public:
    CGuardedBytes(size_t size, bool atEnd) : m_nSize(size)
    {
#ifdef Q_OS_UNIX
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        const size_t dataPages = (size + page - 1) / page;
        m_nMapped = (dataPages + 2) * page;
        void* map = mmap(nullptr, m_nMapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED)
            return;
        m_pMap = static_cast<uint8_t*>(map);
        mprotect(m_pMap, page, PROT_NONE);
        mprotect(m_pMap + (dataPages + 1) * page, page, PROT_NONE);
        m_pData = atEnd ? m_pMap + (dataPages + 1) * page - size : m_pMap + page;
#else
        Q_UNUSED(atEnd);
        m_aFallback.resize(size);
        m_pData = m_aFallback.data();
#endif
    }
    ~CGuardedBytes()
    {
#ifdef Q_OS_UNIX
        if (m_pMap)
            munmap(m_pMap, m_nMapped);
#endif
    }
    CGuardedBytes(const CGuardedBytes&) = delete;
    CGuardedBytes& operator=(const CGuardedBytes&) = delete;

    uint8_t* Data() const { return m_pData; }
    size_t Size() const { return m_nSize; }

private:
    size_t m_nSize;
    uint8_t* m_pData = nullptr;
#ifdef Q_OS_UNIX
    uint8_t* m_pMap = nullptr;
    size_t m_nMapped = 0;
#else
    std::vector<uint8_t> m_aFallback;
#endif
};

// A w × h texture of random bytes whose rows are packed without padding, top
// row first (pitch 3w) or last in memory (pitch −3w), in guarded memory.
struct STexturePicture
{
    STexturePicture(int32_t w, int32_t h, bool bottomUp, bool guardAtEnd, std::mt19937& random)
        : m_bytes(size_t(w) * 3 * size_t(h), guardAtEnd)
    {
        for (size_t i = 0; i < m_bytes.Size(); ++i)
            m_bytes.Data()[i] = uint8_t(random());
        const ptrdiff_t row = ptrdiff_t(w) * 3;
        m_texture = CSpanKernel::STexture{bottomUp ? m_bytes.Data() + (h - 1) * row : m_bytes.Data(),
                                          bottomUp ? -row : row, w, h};
    }
    CGuardedBytes m_bytes;
    CSpanKernel::STexture m_texture{};
};

// Texture coordinates that test the edges of the sampling: just inside and on
// the bounds, whole numbers, NaN, far outside, and plain random ones.
double PickCoordinate(std::mt19937& random, int32_t size)
{
    const double limit = size;
    switch (random() % 12) {
    case 0:
        return std::nextafter(-1.0, 0.0);
    case 1:
        return -1.0;
    case 2:
        return std::nextafter(limit, 0.0);
    case 3:
        return limit;
    case 4:
        return double(int32_t(random() % uint32_t(size + 2)) - 1);
    case 5:
        return std::numeric_limits<double>::quiet_NaN();
    case 6:
        return (random() % 2 ? 1 : -1) * 1e12;
    case 7:
        return limit - 1.0 + std::uniform_real_distribution<double>(0.0, 1.0)(random);
    case 8:
        return std::uniform_real_distribution<double>(-1.0, 0.0)(random);
    default:
        return std::uniform_real_distribution<double>(-3.0, limit + 3.0)(random);
    }
}

struct SKernelRow
{
    const char* m_pName;
    EKind m_eKind;
};
const SKernelRow s_aVectorKernels[] = {{"avx2", EKind::Avx2}, {"avx512", EKind::Avx512}};

void AddKernelRows()
{
    QTest::addColumn<int>("kind");
    for (const SKernelRow& row : s_aVectorKernels)
        QTest::newRow(row.m_pName) << int(row.m_eKind);
}

} // namespace

class TestSpanKernel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scalarIsAlwaysThere()
    {
        const CSpanKernel* scalar = CSpanKernel::Find(EKind::Scalar);
        QVERIFY(scalar);
        QCOMPARE(scalar->GetKind(), EKind::Scalar);
        QVERIFY(CSpanKernel::Find(CSpanKernel::Best().GetKind()) == &CSpanKernel::Best());
    }

    // Random spans over guarded textures: the same bytes as the scalar kernel,
    // pixels outside the texture and bytes outside the span left alone.
    void spansMatchScalar_data() { AddKernelRows(); }
    void spansMatchScalar()
    {
        QFETCH(int, kind);
        const CSpanKernel* kernel = CSpanKernel::Find(EKind(kind));
        if (!kernel)
            QSKIP(qPrintable(QStringLiteral("this processor has no %1 kernel").arg(CSpanKernel::KindName(EKind(kind)))));
        const CSpanKernel& scalar = *CSpanKernel::Find(EKind::Scalar);
        std::mt19937 random(20240611u + uint32_t(kind));
        const int32_t sizes[][2] = {{1, 1},  {1, 5},   {2, 1},  {2, 2}, {3, 7},   {4, 4},
                                    {5, 3},  {16, 9},  {37, 23}, {64, 2}, {300, 200}};
        int spans = 0;
        for (const auto& size : sizes) {
            for (int layout = 0; layout < 4; ++layout) {
                STexturePicture picture(size[0], size[1], layout & 1, layout & 2, random);
                const CSpanKernel::STexture& tex = picture.m_texture;
                for (int n = 0; n < 400; ++n, ++spans) {
                    // Widths 1 … 40 pixels, every fourth a multiple of 4;
                    // every eighth from 61 to 260, over several blocks of groups.
                    const int32_t count = n % 8 == 1   ? 61 + int32_t(random() % 200)
                                          : n % 4 == 0 ? 4 * (1 + int32_t(random() % 10))
                                                       : 1 + int32_t(random() % 40);
                    const int32_t x0 = int32_t(random() % 50);
                    const int32_t x1 = x0 + count - 1;
                    CSpanKernel::SSpan span{};
                    span.dLeftX = x0 - (random() % 3 == 0 ? 0.0 : std::uniform_real_distribution<double>(0, 1)(random));
                    span.dRightX = random() % 8 == 0 ? span.dLeftX : x1 + std::uniform_real_distribution<double>(0, 1)(random);
                    span.dLeftU = PickCoordinate(random, tex.nWidth);
                    span.dRightU = PickCoordinate(random, tex.nWidth);
                    span.dLeftV = PickCoordinate(random, tex.nHeight);
                    span.dRightV = PickCoordinate(random, tex.nHeight);
                    // A margin of 3 pixels each side that no kernel may touch.
                    std::vector<uint8_t> expected(size_t(count + 6) * 3), actual;
                    for (uint8_t& b : expected)
                        b = uint8_t(random());
                    actual = expected;
                    scalar.FillSpan(expected.data() + 9, x0, x1, span, tex);
                    kernel->FillSpan(actual.data() + 9, x0, x1, span, tex);
                    if (actual != expected) {
                        size_t i = 0;
                        while (actual[i] == expected[i])
                            ++i;
                        QFAIL(qPrintable(QStringLiteral("texture %1x%2 layout %3 span %4: x %5..%6 X %7..%8 U %9..%10 "
                                                        "V %11..%12: byte %13 is %14, not %15")
                                             .arg(size[0]).arg(size[1]).arg(layout).arg(n).arg(x0).arg(x1)
                                             .arg(span.dLeftX, 0, 'g', 17).arg(span.dRightX, 0, 'g', 17)
                                             .arg(span.dLeftU, 0, 'g', 17).arg(span.dRightU, 0, 'g', 17)
                                             .arg(span.dLeftV, 0, 'g', 17).arg(span.dRightV, 0, 'g', 17)
                                             .arg(int(i) - 9).arg(actual[i]).arg(expected[i])));
                    }
                }
            }
        }
        QCOMPARE(spans, 17600);
    }

    // Whole rows swept over the texture's last column and row and beyond,
    // where every neighbour clamp and every byte next to the allocation's ends
    // is read.
    void spansAlongTheBorders_data() { AddKernelRows(); }
    void spansAlongTheBorders()
    {
        QFETCH(int, kind);
        const CSpanKernel* kernel = CSpanKernel::Find(EKind(kind));
        if (!kernel)
            QSKIP(qPrintable(QStringLiteral("this processor has no %1 kernel").arg(CSpanKernel::KindName(EKind(kind)))));
        const CSpanKernel& scalar = *CSpanKernel::Find(EKind::Scalar);
        std::mt19937 random(99);
        for (int layout = 0; layout < 4; ++layout) {
            STexturePicture picture(12, 7, layout & 1, layout & 2, random);
            const CSpanKernel::STexture& tex = picture.m_texture;
            for (int32_t row = -1; row <= 7; ++row) {
                for (const double v : {double(row), row + 0.5, std::nextafter(double(row), 100.0)}) {
                    // U from −1.5 to 12.5 over 57 pixels, passing −1 + ε and 12 − ε;
                    // the same backwards; steps of almost five texels a pixel
                    // either way (s runs far past 1); V falling through every
                    // row while U crosses the last column.
                    const CSpanKernel::SSpan spans[] = {{0.0, -1.5, v, 56.0, 12.5, v},
                                                        {0.0, 11.75, -1.25, 56.0, 11.0 + 0.9, v},
                                                        {0.0, 12.5, v, 56.0, -1.5, v},
                                                        {0.0, -1.5, v, 3.0, 12.5, v},
                                                        {0.0, 12.5, v, 3.0, -1.5, v},
                                                        {0.0, 10.25, 7.5, 56.0, 12.5, v - 8.0}};
                    for (const CSpanKernel::SSpan& span : spans) {
                        std::vector<uint8_t> expected(57 * 3, 0x5A), actual(57 * 3, 0x5A);
                        scalar.FillSpan(expected.data(), 0, 56, span, tex);
                        kernel->FillSpan(actual.data(), 0, 56, span, tex);
                        QVERIFY2(actual == expected, qPrintable(QStringLiteral("layout %1 v %2").arg(layout).arg(v)));
                    }
                }
            }
        }
    }

    // Every alpha with every pair of bytes, over lengths that leave tails of
    // every size; bytes past the end stay as they were.
    // The one cross-fade of a channel, which every kernel must match.
    void blendChannelRounds_data()
    {
        Columns<int, int, int, int>({"over", "under", "alpha", "result"});
        QTest::newRow("alpha 0 keeps under") << 200 << 10 << 0 << 10;
        QTest::newRow("alpha 255 takes over") << 200 << 10 << 255 << 200;
        QTest::newRow("half") << 255 << 0 << 127 << 127;     // (255·127 + 127) / 255 = 127.49
        QTest::newRow("rounds up") << 1 << 0 << 128 << 1;    // (128 + 127) / 255 = 1
        QTest::newRow("rounds down") << 1 << 0 << 127 << 0;  // (127 + 127) / 255 = 0
        QTest::newRow("mix") << 100 << 200 << 254 << 100;    // (25400 + 200 + 127) / 255 = 100.9
        QTest::newRow("largest sum") << 255 << 255 << 128 << 255;
    }
    void blendChannelRounds()
    {
        QFETCH(int, over);
        QFETCH(int, under);
        QFETCH(int, alpha);
        QFETCH(int, result);
        QCOMPARE(int(BlendChannel(uint8_t(over), uint8_t(under), uint8_t(alpha))), result);
    }

    void blendMatchesFormula_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("scalar") << int(EKind::Scalar);
        for (const SKernelRow& row : s_aVectorKernels)
            QTest::newRow(row.m_pName) << int(row.m_eKind);
    }
    void blendMatchesFormula()
    {
        QFETCH(int, kind);
        const CSpanKernel* kernel = CSpanKernel::Find(EKind(kind));
        if (!kernel)
            QSKIP(qPrintable(QStringLiteral("this processor has no %1 kernel").arg(CSpanKernel::KindName(EKind(kind)))));
        std::vector<uint8_t> in(65536), out(65536);
        for (int a = 0; a < 256; ++a) {
            for (size_t i = 0; i < in.size(); ++i) {
                in[i] = uint8_t(i >> 8);
                out[i] = uint8_t(i);
            }
            kernel->Blend(out.data(), in.data(), out.size(), uint8_t(a));
            for (size_t i = 0; i < out.size(); ++i) {
                const int expected = BlendChannel(uint8_t(i >> 8), uint8_t(i), uint8_t(a));
                if (out[i] != expected)
                    QFAIL(qPrintable(QStringLiteral("alpha %1 in %2 out %3: %4, not %5")
                                         .arg(a).arg(i >> 8).arg(i & 0xFF).arg(out[i]).arg(expected)));
            }
        }
        for (size_t length = 0; length <= 70; ++length) {
            CGuardedBytes guardedIn(length, true), guardedOut(length + 1, false);
            std::vector<uint8_t> expected(length + 1);
            for (size_t i = 0; i <= length; ++i) {
                guardedOut.Data()[i] = expected[i] = uint8_t(i * 37);
                if (i < length)
                    guardedIn.Data()[i] = uint8_t(255 - i * 11);
            }
            for (size_t i = 0; i < length; ++i)
                expected[i] = BlendChannel(guardedIn.Data()[i], expected[i], 200);
            kernel->Blend(guardedOut.Data(), guardedIn.Data(), length, 200);
            QVERIFY2(std::memcmp(guardedOut.Data(), expected.data(), length + 1) == 0, qPrintable(QString::number(length)));
        }
    }
};

QTEST_GUILESS_MAIN(TestSpanKernel)
#include "tst_span_kernel.moc"
