#include "dsp/response.h"

#include <QTest>

#include <cmath>
#include <memory>

using namespace quellaton;

namespace {

// Worked values are quoted to two decimals: the computed level must round to them.
constexpr double Rounding = 0.005 + 1e-9;
constexpr double Sentinel = 12345.0;

std::unique_ptr<ResponseCache> SentinelCache() {
    auto cache = std::make_unique<ResponseCache>();
    for (auto& row : cache->rows) {
        row.fill(Sentinel);
    }
    return cache;
}

QString Describe(const char* what, double got, double expected) {
    return QStringLiteral("%1: got %2, expected %3")
        .arg(QLatin1String(what))
        .arg(got, 0, 'f', 6)
        .arg(expected, 0, 'f', 2);
}

// Cache columns whose pixel frequency lies within 20 Hz .. 20 kHz.
QList<int> AudibleColumns(const GraphGeometry& g) {
    QList<int> columns;
    for (int j = FirstResponseColumn; j <= LastResponseColumn(g); ++j) {
        const double f = g.columnFrequency(j + 41);
        if (f >= 20.0 && f <= 20000.0) {
            columns.append(j);
        }
    }
    return columns;
}

double LowPassAt(int type, double fc, double f) {
    return CascadeLevel(LowPassSections(fc, type), StandardAngularFrequency(f));
}
double HighPassAt(int type, double fc, double f) {
    return CascadeLevel(HighPassSections(fc, type), StandardAngularFrequency(f));
}

} // namespace

class TestResponse : public QObject {
    Q_OBJECT
private slots:
    void equaliserWorkedValues_data();
    void equaliserWorkedValues();
    void crossoverWorkedValues_data();
    void crossoverWorkedValues();
    void crossoverSlopesMatchTheirOrder_data();
    void crossoverSlopesMatchTheirOrder();
    void peakingUsesItsOwnAngularConstant();
    void openCornersStayFlat_data();
    void openCornersStayFlat();
    void handleGainTruncatesToOneDecimal();
    void zeroDecibelHandleGivesAllZeroRow();
    void operationsWriteOnlyTheirColumnsAndRow();
    void rowsEqualDirectEvaluation_data();
    void rowsEqualDirectEvaluation();
    void badInputsStayContained();
    void zeroMagnitudeIsFloored();
};

void TestResponse::equaliserWorkedValues_data() {
    QTest::addColumn<int>("kind"); // 0 peaking, 1 low shelf, 2 high shelf
    QTest::addColumn<double>("hz");
    QTest::addColumn<double>("expected");
    QTest::newRow("peak 500") << 0 << 500.0 << 4.09;
    QTest::newRow("peak 1000") << 0 << 1000.0 << 5.99;
    QTest::newRow("peak 2000") << 0 << 2000.0 << 4.09;
    QTest::newRow("low shelf 20") << 1 << 20.0 << 5.99;
    QTest::newRow("low shelf 1000") << 1 << 1000.0 << 4.64;
    QTest::newRow("low shelf 20000") << 1 << 20000.0 << 0.00;
    QTest::newRow("high shelf 20") << 2 << 20.0 << 0.00;
    QTest::newRow("high shelf 1000") << 2 << 1000.0 << 4.76;
    QTest::newRow("high shelf 20000") << 2 << 20000.0 << 5.99;
}

void TestResponse::equaliserWorkedValues() {
    QFETCH(int, kind);
    QFETCH(double, hz);
    QFETCH(double, expected);
    double got = 0.0;
    switch (kind) {
    case 0:
        got = SectionLevel(PeakingSection(1000.0, 6.0, 1.0), PeakingAngularFrequency(hz));
        break;
    case 1:
        got = SectionLevel(LowShelfSection(1000.0, 6.0), StandardAngularFrequency(hz));
        break;
    default:
        got = SectionLevel(HighShelfSection(1000.0, 6.0), StandardAngularFrequency(hz));
        break;
    }
    QVERIFY2(std::abs(got - expected) <= Rounding, qPrintable(Describe("level", got, expected)));
}

void TestResponse::crossoverWorkedValues_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("lowPass");
    QTest::addColumn<double>("highPass");
    const double low[] = {-2.97, -6.01, -3.00, -3.00, -5.97, -3.01,
                          -3.00, -5.94, -2.96, -3.03, -5.61, -3.01};
    const double high[] = {-2.97, -6.01, -1.38, -3.00, -5.97, -2.83,
                           -3.00, -5.94, -2.83, -3.03, -5.61, -3.02};
    for (int type = 0; type < CrossoverTypeCount; ++type) {
        QTest::addRow("type %d", type) << type << low[type] << high[type];
    }
}

void TestResponse::crossoverWorkedValues() {
    QFETCH(int, type);
    QFETCH(double, lowPass);
    QFETCH(double, highPass);
    const double lp = LowPassAt(type, 1000.0, 1000.0);
    const double hp = HighPassAt(type, 1000.0, 1000.0);
    QVERIFY2(std::abs(lp - lowPass) <= Rounding, qPrintable(Describe("low-pass", lp, lowPass)));
    QVERIFY2(std::abs(hp - highPass) <= Rounding, qPrintable(Describe("high-pass", hp, highPass)));
}

void TestResponse::crossoverSlopesMatchTheirOrder_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("order");
    const int orders[] = {2, 2, 2, 3, 3, 3, 4, 4, 4, 8, 8, 8};
    for (int type = 0; type < CrossoverTypeCount; ++type) {
        QTest::addRow("type %d", type) << type << orders[type];
    }
}

// Far from the corner each type falls by about 6 dB per octave and order, which tells a
// missing or doubled section (or a first-order section where a second-order one belongs).
void TestResponse::crossoverSlopesMatchTheirOrder() {
    QFETCH(int, type);
    QFETCH(int, order);
    const double lpSlope = LowPassAt(type, 200.0, 3200.0) - LowPassAt(type, 200.0, 6400.0);
    const double hpSlope = HighPassAt(type, 5000.0, 312.5) - HighPassAt(type, 5000.0, 156.25);
    const double expected = 6.02 * order;
    QVERIFY2(std::abs(lpSlope - expected) < 1.0,
             qPrintable(Describe("low-pass dB/octave", lpSlope, expected)));
    QVERIFY2(std::abs(hpSlope - expected) < 1.0,
             qPrintable(Describe("high-pass dB/octave", hpSlope, expected)));
}

void TestResponse::peakingUsesItsOwnAngularConstant() {
    // 2 x 3.141592 and 6.283185307179586 differ in the seventh digit; both are in use.
    QVERIFY(PeakingAngularFrequency(1000.0) != StandardAngularFrequency(1000.0));
    QCOMPARE(PeakingAngularFrequency(96000.0), 2.0 * 3.141592);
    QCOMPARE(StandardAngularFrequency(96000.0), 6.283185307179586);

    // The cache row of a peaking band is evaluated at the peaking constant.
    auto cache = std::make_unique<ResponseCache>();
    const GraphGeometry g;
    ComputePeakingResponse(*cache, g, 4, 430, 40, 20);
    const BiquadSection s = PeakingSection(HandleFrequency(g, 430), HandleGain(g, 40), QTable[20]);
    for (int j : {1, 300, 672}) {
        const double f = g.columnFrequency(j + 41);
        QCOMPARE(cache->rows[4][j], SectionLevel(s, PeakingAngularFrequency(f)));
    }
}

void TestResponse::openCornersStayFlat_data() {
    QTest::addColumn<int>("type");
    for (int type = 0; type < CrossoverTypeCount; ++type) {
        QTest::addRow("type %d", type) << type;
    }
}

void TestResponse::openCornersStayFlat() {
    QFETCH(int, type);
    QCOMPARE(LowPassCorner(MaxFrequencyIndex), 60000.0);
    QCOMPARE(HighPassCorner(0), 1.0);
    QCOMPARE(LowPassCorner(MaxFrequencyIndex - 1), 21300.0);
    QCOMPARE(HighPassCorner(1), 20.3);

    auto cache = std::make_unique<ResponseCache>();
    const GraphGeometry g;
    ComputeLowPassResponse(*cache, g, 2, MaxFrequencyIndex, type);
    ComputeHighPassResponse(*cache, g, 2, 0, type);
    const QList<int> columns = AudibleColumns(g);
    QCOMPARE(columns.size(), 582); // pixel columns 101 .. 682
    double worstLow = 0.0;
    double worstHigh = 0.0;
    for (int j : columns) {
        worstLow = std::max(worstLow, std::abs(cache->rows[LowPassRow(2)][j]));
        worstHigh = std::max(worstHigh, std::abs(cache->rows[HighPassRow(2)][j]));
    }
    // The widest deviation is the 12 dB Linkwitz-Riley low-pass, about -0.83 dB at 20 kHz.
    QVERIFY2(worstLow < 1.0, qPrintable(QStringLiteral("low-pass deviates %1 dB").arg(worstLow)));
    QVERIFY2(worstHigh < 0.1,
             qPrintable(QStringLiteral("high-pass deviates %1 dB").arg(worstHigh)));
}

void TestResponse::handleGainTruncatesToOneDecimal() {
    const GraphGeometry g;
    QCOMPARE(g.gainToY(0.0), 86);
    QCOMPARE(HandleGain(g, 86), 0.0);    // 0.071 dB truncates to 0.0
    QCOMPARE(HandleGain(g, 30), 12.0);   // 12.014 dB
    QCOMPARE(HandleGain(g, 198), -23.8); // -23.815 dB truncates toward zero
    QCOMPARE(HandleGain(g, 87), -0.1);   // -0.142 dB
    QCOMPARE(HandleFrequency(g, 101), g.columnFrequency(101));
}

void TestResponse::zeroDecibelHandleGivesAllZeroRow() {
    const GraphGeometry g;
    const int y = g.gainToY(0.0);
    auto cache = SentinelCache();
    for (int x : {97, 101, 430, 682, 689}) {
        for (int qIndex : {0, 4, MaxQIndex}) {
            ComputePeakingResponse(*cache, g, 0, x, y, qIndex);
            for (int j = 1; j <= 672; ++j) {
                QCOMPARE(cache->rows[0][j], 0.0);
            }
        }
        ComputeLowShelfResponse(*cache, g, 1, x, y);
        ComputeHighShelfResponse(*cache, g, 2, x, y);
        for (int j = 1; j <= 672; ++j) {
            QCOMPARE(cache->rows[1][j], 0.0);
            QCOMPARE(cache->rows[2][j], 0.0);
        }
    }
    // One row below the line is a real cut, not a flat row.
    ComputeLowShelfResponse(*cache, g, 1, 430, y + 1);
    QVERIFY(cache->rows[1][1] < -0.05);
}

void TestResponse::operationsWriteOnlyTheirColumnsAndRow() {
    const GraphGeometry g; // width 720: columns 1..672
    QCOMPARE(LastResponseColumn(g), 672);
    for (int operation = 0; operation < 5; ++operation) {
        auto cache = SentinelCache();
        int row = -1;
        switch (operation) {
        case 0:
            ComputeLowPassResponse(*cache, g, 1, 136, 11);
            row = LowPassRow(1);
            break;
        case 1:
            ComputeHighPassResponse(*cache, g, 3, 136, 9);
            row = HighPassRow(3);
            break;
        case 2:
            ComputePeakingResponse(*cache, g, 7, 430, 40, 4);
            row = 7;
            break;
        case 3:
            ComputeLowShelfResponse(*cache, g, 23, 300, 120);
            row = 23;
            break;
        default:
            ComputeHighShelfResponse(*cache, g, 12, 500, 50);
            row = 12;
            break;
        }
        for (int r = 0; r < ResponseRowCount; ++r) {
            for (int j = 0; j < ResponseColumnCount; ++j) {
                const double cell = cache->rows[r][j];
                const bool written = r == row && j >= 1 && j <= 672;
                if (written) {
                    QVERIFY2(
                        cell != Sentinel && std::isfinite(cell),
                        qPrintable(QStringLiteral("row %1 column %2 not written").arg(r).arg(j)));
                } else {
                    QVERIFY2(cell == Sentinel,
                             qPrintable(QStringLiteral("operation %1 touched row %2 column %3")
                                            .arg(operation)
                                            .arg(r)
                                            .arg(j)));
                }
            }
        }
    }
}

void TestResponse::rowsEqualDirectEvaluation_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("lastColumn");
    QTest::newRow("720") << 720 << 672;
    QTest::newRow("600") << 600 << 552;
    QTest::newRow("840") << 840 << 792;
    QTest::newRow("1000 limited to the cache") << 1000 << 792;
}

// The rows come from per-width tables of cos and sin; they must equal the formulas evaluated
// column by column, bit for bit, also after the width has changed.
void TestResponse::rowsEqualDirectEvaluation() {
    QFETCH(int, width);
    QFETCH(int, lastColumn);
    auto cache = std::make_unique<ResponseCache>();
    const GraphGeometry standard;
    ComputeLowPassResponse(*cache, standard, 0, 100, 0); // builds the 720 table first
    GraphGeometry g;
    g.width = width;
    QCOMPARE(LastResponseColumn(g), lastColumn);

    const int qIndex = 9;
    ComputeLowPassResponse(*cache, g, 0, 150, 11);
    ComputeHighPassResponse(*cache, g, 0, 40, 5);
    ComputePeakingResponse(*cache, g, 0, 300, 60, qIndex);
    ComputeLowShelfResponse(*cache, g, 1, 200, 150);
    ComputeHighShelfResponse(*cache, g, 2, 600, 35);

    const FilterCascade lp = LowPassSections(LowPassCorner(150), 11);
    const FilterCascade hp = HighPassSections(HighPassCorner(40), 5);
    const BiquadSection peak =
        PeakingSection(HandleFrequency(g, 300), HandleGain(g, 60), QTable[qIndex]);
    const BiquadSection low = LowShelfSection(HandleFrequency(g, 200), HandleGain(g, 150));
    const BiquadSection high = HighShelfSection(HandleFrequency(g, 600), HandleGain(g, 35));
    for (int j = 1; j <= lastColumn; ++j) {
        const double f = g.columnFrequency(j + 41);
        const double w = StandardAngularFrequency(f);
        QCOMPARE(cache->rows[LowPassRow(0)][j], CascadeLevel(lp, w));
        QCOMPARE(cache->rows[HighPassRow(0)][j], CascadeLevel(hp, w));
        QCOMPARE(cache->rows[0][j], SectionLevel(peak, PeakingAngularFrequency(f)));
        QCOMPARE(cache->rows[1][j], SectionLevel(low, w));
        QCOMPARE(cache->rows[2][j], SectionLevel(high, w));
    }
}

void TestResponse::badInputsStayContained() {
    const GraphGeometry g;
    auto cache = SentinelCache();
    const auto untouched = [&] {
        for (const auto& row : cache->rows) {
            for (double cell : row) {
                if (cell != Sentinel) {
                    return false;
                }
            }
        }
        return true;
    };
    // No such way or band: nothing is written.
    ComputeLowPassResponse(*cache, g, -1, 100, 0);
    ComputeLowPassResponse(*cache, g, 4, 100, 0);
    ComputeHighPassResponse(*cache, g, 4, 100, 0);
    ComputePeakingResponse(*cache, g, 24, 430, 40, 4);
    ComputeLowShelfResponse(*cache, g, -1, 430, 40);
    ComputeHighShelfResponse(*cache, g, 99, 430, 40);
    QVERIFY(untouched());

    // A type outside 0..11 has no sections: the filter is flat.
    QCOMPARE(LowPassSections(1000.0, 12).count, 0);
    QCOMPARE(HighPassSections(1000.0, -1).count, 0);
    ComputeLowPassResponse(*cache, g, 0, 100, 12);
    for (int j = 1; j <= 672; ++j) {
        QCOMPARE(cache->rows[LowPassRow(0)][j], 0.0);
    }

    // Indices outside the tables are limited to them.
    ComputeHighPassResponse(*cache, g, 0, -7, 6);
    const ResponseCache::Row clampedLow = cache->rows[HighPassRow(0)];
    ComputeHighPassResponse(*cache, g, 0, 0, 6);
    QVERIFY(cache->rows[HighPassRow(0)] == clampedLow);
    ComputeLowPassResponse(*cache, g, 1, 5000, 6);
    const ResponseCache::Row clampedHigh = cache->rows[LowPassRow(1)];
    ComputeLowPassResponse(*cache, g, 1, MaxFrequencyIndex, 6);
    QVERIFY(cache->rows[LowPassRow(1)] == clampedHigh);
    ComputePeakingResponse(*cache, g, 5, 430, 40, 1000);
    const ResponseCache::Row clampedQ = cache->rows[5];
    ComputePeakingResponse(*cache, g, 5, 430, 40, MaxQIndex);
    QVERIFY(cache->rows[5] == clampedQ);

    // Handles far off the graph and a degenerate geometry still give finite rows.
    ComputePeakingResponse(*cache, g, 6, -10000, 100000, 0);
    ComputeLowShelfResponse(*cache, g, 7, 100000, -100000);
    GraphGeometry flat;
    flat.height = 38; // gain rows divide by height - 38
    ComputeHighShelfResponse(*cache, flat, 8, 430, 40);
    for (int row : {6, 7, 8}) {
        for (int j = 1; j <= 672; ++j) {
            QVERIFY2(std::isfinite(cache->rows[row][j]),
                     qPrintable(QStringLiteral("row %1 column %2").arg(row).arg(j)));
        }
    }

    // Graphs too narrow for any column write nothing.
    GraphGeometry narrow;
    narrow.width = 48;
    auto other = SentinelCache();
    ComputeLowPassResponse(*other, narrow, 0, 100, 0);
    QVERIFY(std::all_of(other->rows[LowPassRow(0)].begin(), other->rows[LowPassRow(0)].end(),
                        [](double v) { return v == Sentinel; }));
}

void TestResponse::zeroMagnitudeIsFloored() {
    const double floorLevel = 40.0 * std::log(MinimumMagnitude) / std::log(101.0);
    BiquadSection silent;
    silent.b0 = 0.0; // numerator 0 everywhere
    QCOMPARE(SectionLevel(silent, 0.3), floorLevel);
    // A low-pass zero at Nyquist: (1 + z^-1)^2 vanishes at w = pi.
    BiquadSection nyquistZero{1.0, 2.0, 1.0, 1.0, 0.0, 0.0};
    const double atNyquist = SectionLevel(nyquistZero, M_PI);
    QVERIFY(std::isfinite(atNyquist));
    QVERIFY(atNyquist >= floorLevel);
    QVERIFY(atNyquist < -200.0);
    // 0 / 0 is not a number and is floored too.
    BiquadSection undefined{0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    QCOMPARE(SectionLevel(undefined, 0.3), floorLevel);
    // Ordinary levels are not affected by the guard.
    QCOMPARE(SectionLevel(BiquadSection{}, 1.0), 0.0);
}

QTEST_GUILESS_MAIN(TestResponse)
#include "test_response.moc"
