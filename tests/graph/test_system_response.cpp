// The complex model of the whole loudspeaker: crossovers that sum flat, polarity, delay, mute,
// the Main section, measurements, and agreement with the graph's own rows.
#include "dsp/response.h"
#include "dsp/system_response.h"
#include "model/system_settings.h"

#include <QTest>

#include <cmath>
#include <memory>

using namespace quellaton;

namespace {

// Index of a frequency in FrequencyTable.
int IndexOf(double hz) {
    return NearestFrequencyIndex(hz);
}

// An image whose sections are all open: no band gain, high-pass at its bottom index (1 Hz),
// low-pass at its top index (60 kHz), 0 dB gains, Main at 0 dB.
ParameterImage OpenImage() {
    ParameterImage image;
    image.masterLevel = MainLevelTop;
    image.gainIndex = {OutputGainZeroIndex, OutputGainZeroIndex, OutputGainZeroIndex};
    return image;
}

// High and Mid split at `hz` with crossover type `type`; Low muted.
ParameterImage TwoWaySplit(double hz, int type) {
    ParameterImage image = OpenImage();
    image.highPassIndex[High] = IndexOf(hz);
    image.highPassType[High] = type;
    image.lowPassIndex[Mid] = IndexOf(hz);
    image.lowPassType[Mid] = type;
    image.onFlag[Low] = 0;
    return image;
}

std::vector<double> AudibleFrequencies() {
    return OctaveFrequencies(20.0, 20000.0, 24);
}

struct Extremes {
    double low = 1e9;
    double high = -1e9;
};

Extremes LevelRange(const SystemResponse::Row& row) {
    Extremes e;
    for (const Complex& h : row) {
        e.low = std::min(e.low, LevelDb(h));
        e.high = std::max(e.high, LevelDb(h));
    }
    return e;
}

// The graph's level scale, 40 ln(m) / ln(101), as 20 log10(m).
double GraphLevelToDb(double level) {
    return level * std::log(101.0) / (2.0 * std::log(10.0));
}

// Phase difference b - a in degrees, within (-180, 180].
double PhaseStep(double a, double b) {
    double d = b - a;
    while (d > 180.0) {
        d -= 360.0;
    }
    while (d <= -180.0) {
        d += 360.0;
    }
    return d;
}

} // namespace

class TestSystemResponse : public QObject {
    Q_OBJECT
private slots:
    void linkwitzRiley24SumsFlat_data();
    void linkwitzRiley24SumsFlat();
    void linkwitzRiley12NeedsInvertedWay_data();
    void linkwitzRiley12NeedsInvertedWay();
    void delayTurnsPhaseOfItsWayAlone();
    void imageDelayStepsAreTimes();
    void mutedWayIsRemoved();
    void mainSectionMultipliesTheSum();
    void flatMeasurementGivesPlainModel();
    void measurementMultipliesItsWay();
    void crossoverSectionsAgreeWithGraphRows_data();
    void crossoverSectionsAgreeWithGraphRows();
    void bandsUseTableValues();
    void bypassedBandIsFlatInEverySection();
    void onlyChangedFiltersAreRecomputed();
    void levelsAndPhasesOfEdgeValues();
    void octaveFrequenciesAreExact();
};

void TestSystemResponse::linkwitzRiley24SumsFlat_data() {
    QTest::addColumn<double>("crossover");
    QTest::newRow("250 Hz") << 250.0;
    QTest::newRow("1 kHz") << 1000.0;
    QTest::newRow("2 kHz") << 2000.0;
    QTest::newRow("5 kHz") << 5040.0;
}

void TestSystemResponse::linkwitzRiley24SumsFlat() {
    QFETCH(double, crossover);
    SystemResponse response(AudibleFrequencies());
    response.update(SystemSettingsOf(TwoWaySplit(crossover, 7)));
    const Extremes sum = LevelRange(response.system());
    QVERIFY2(sum.low >= -0.1 && sum.high <= 0.1,
             qPrintable(QStringLiteral("sum spans %1 .. %2 dB").arg(sum.low).arg(sum.high)));
    // Each way alone is far from flat: the sum is what is flat.
    QVERIFY(LevelRange(response.fed(High)).low < -40.0);
    QVERIFY(LevelRange(response.fed(Mid)).low < -40.0);
}

void TestSystemResponse::linkwitzRiley12NeedsInvertedWay_data() {
    QTest::addColumn<int>("inverted"); // section whose polarity is inverted
    QTest::newRow("tweeter inverted") << int(High);
    QTest::newRow("woofer inverted") << int(Mid);
}

void TestSystemResponse::linkwitzRiley12NeedsInvertedWay() {
    QFETCH(int, inverted);
    const double crossover = 2000.0;
    ParameterImage image = TwoWaySplit(crossover, 1);
    SystemResponse response(AudibleFrequencies());
    response.update(SystemSettingsOf(image));
    // In phase, the two ways cancel at the crossover (all but the little the open filters
    // of each way turn the phase).
    const double atCrossover = FrequencyTable[IndexOf(crossover)];
    SystemResponse single({atCrossover});
    single.update(SystemSettingsOf(image));
    QVERIFY2(LevelDb(single.system()[0]) < -30.0,
             qPrintable(QString::number(LevelDb(single.system()[0]))));
    QVERIFY(LevelRange(response.system()).low < -20.0);

    image.polarity[inverted] = 1;
    response.update(SystemSettingsOf(image));
    const Extremes sum = LevelRange(response.system());
    QVERIFY2(sum.low >= -0.1 && sum.high <= 0.1,
             qPrintable(QStringLiteral("sum spans %1 .. %2 dB").arg(sum.low).arg(sum.high)));
}

void TestSystemResponse::delayTurnsPhaseOfItsWayAlone() {
    std::vector<double> points;
    for (double f = 100.0; f <= 5000.0; f += 10.0) {
        points.push_back(f);
    }
    SystemSettings plain = SystemSettingsOf(TwoWaySplit(1000.0, 7));
    SystemSettings delayed = plain;
    delayed.sections[Mid].delayMs = 1.0;
    SystemResponse a(points);
    SystemResponse b(points);
    a.update(plain);
    b.update(delayed);
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        // Against the same way without the delay: -360 degrees per kHz, i.e. -3.6 per 10 Hz.
        const double before = PhaseStep(PhaseDeg(a.section(Mid)[i]), PhaseDeg(b.section(Mid)[i]));
        const double after =
            PhaseStep(PhaseDeg(a.section(Mid)[i + 1]), PhaseDeg(b.section(Mid)[i + 1]));
        const double slopePerKHz = PhaseStep(before, after) / (points[i + 1] - points[i]) * 1000.0;
        QVERIFY2(std::abs(slopePerKHz + 360.0) < 1e-6,
                 qPrintable(
                     QStringLiteral("%1 Hz: %2 degrees per kHz").arg(points[i]).arg(slopePerKHz)));
        // The level does not change, and the other way does not change at all.
        QVERIFY(std::abs(LevelDb(a.section(Mid)[i]) - LevelDb(b.section(Mid)[i])) < 1e-9);
        QCOMPARE(b.section(High)[i], a.section(High)[i]);
    }
}

void TestSystemResponse::imageDelayStepsAreTimes() {
    ParameterImage image = OpenImage();
    image.delay[Low] = 48; // 1.008 ms
    const SystemSettings settings = SystemSettingsOf(image);
    QCOMPARE(settings.sections[Low].delayMs, 48 * 0.021);
    SystemResponse response({1000.0});
    response.update(settings);
    SystemResponse reference({1000.0});
    reference.update(SystemSettingsOf(OpenImage()));
    // -360 x 1.008 degrees at 1 kHz, wrapped.
    QVERIFY(std::abs(
                PhaseStep(PhaseDeg(reference.section(Low)[0]), PhaseDeg(response.section(Low)[0])) -
                PhaseStep(0.0, -362.88)) < 1e-6);
}

void TestSystemResponse::mutedWayIsRemoved() {
    ParameterImage image = OpenImage();
    image.highPassIndex[High] = IndexOf(3000.0);
    image.highPassType[High] = 6;
    image.lowPassIndex[Low] = IndexOf(300.0);
    image.lowPassType[Low] = 6;
    image.gainIndex[Mid] = 150; // -5.0 dB
    SystemResponse all(AudibleFrequencies());
    all.update(SystemSettingsOf(image));
    image.onFlag[Mid] = 0;
    SystemResponse without(AudibleFrequencies());
    without.update(SystemSettingsOf(image));
    for (std::size_t i = 0; i < all.frequencies().size(); ++i) {
        QVERIFY(std::isinf(LevelDb(without.predicted(Mid)[i])));
        const Complex expected = all.predicted(High)[i] + all.predicted(Low)[i];
        QVERIFY(std::abs(without.system()[i] - expected) < 1e-12);
        QVERIFY(std::abs(without.system()[i] - all.system()[i]) > 0.1);
    }
}

void TestSystemResponse::mainSectionMultipliesTheSum() {
    ParameterImage image = TwoWaySplit(1000.0, 7);
    SystemResponse reference(AudibleFrequencies());
    reference.update(SystemSettingsOf(image));

    image.masterLevel = MainLevelTop - 50; // -10.0 dB
    image.polarity[Main] = 1;
    image.bands[BandIndex(Main, 2)].frequencyIndex = IndexOf(500.0);
    image.bands[BandIndex(Main, 2)].peakingGain = NearestEqGainIndex(6.0);
    SystemResponse response(AudibleFrequencies());
    response.update(SystemSettingsOf(image));
    const std::vector<double>& f = response.frequencies();
    for (std::size_t i = 0; i < f.size(); ++i) {
        const Complex band = BandResponse({500.0, 6.0, QTable[4], 0, false}, f[i]);
        const Complex expected = reference.system()[i] * band * -std::pow(10.0, -0.5);
        QVERIFY(std::abs(response.system()[i] - expected) < 1e-9);
    }

    image.masterLevel = 0;
    response.update(SystemSettingsOf(image));
    for (const Complex& h : response.system()) {
        QVERIFY(std::isinf(LevelDb(h)) && LevelDb(h) < 0);
    }
}

void TestSystemResponse::flatMeasurementGivesPlainModel() {
    const ParameterImage image = TwoWaySplit(2000.0, 4);
    SystemResponse plain(AudibleFrequencies());
    plain.update(SystemSettingsOf(image));
    const MeasuredCurve flat({{10.0, 0.0, 0.0}, {25000.0, 0.0, 0.0}}, true);
    SystemResponse measured(AudibleFrequencies());
    measured.setMeasurement(High, &flat);
    measured.setMeasurement(Mid, &flat);
    measured.update(SystemSettingsOf(image));
    for (std::size_t i = 0; i < plain.frequencies().size(); ++i) {
        QVERIFY(std::abs(measured.system()[i] - plain.system()[i]) < 1e-12);
        QVERIFY(std::abs(measured.predicted(High)[i] - plain.fed(High)[i]) < 1e-12);
    }
}

void TestSystemResponse::measurementMultipliesItsWay() {
    const ParameterImage image = TwoWaySplit(2000.0, 7);
    // +6.0206 dB (a factor of 2) and +90 degrees from 100 Hz to 10 kHz.
    const MeasuredCurve driver(
        {{100.0, 20.0 * std::log10(2.0), 90.0}, {10000.0, 20.0 * std::log10(2.0), 90.0}}, true);
    SystemResponse response({50.0, 100.0, 1000.0, 10000.0, 15000.0});
    response.setMeasurement(High, &driver);
    response.update(SystemSettingsOf(image));
    QVERIFY(response.hasMeasurement(High));
    for (int i : {1, 2, 3}) {
        const Complex expected = response.fed(High)[i] * Complex(0.0, 2.0);
        QVERIFY(std::abs(response.predicted(High)[i] - expected) < 1e-12);
        QVERIFY(std::abs(response.system()[i] - (expected + response.fed(Mid)[i])) < 1e-12);
    }
    // Outside the measurement's range the prediction, and so the sum, has no value.
    for (int i : {0, 4}) {
        QVERIFY(std::isnan(LevelDb(response.predicted(High)[i])));
        QVERIFY(std::isnan(LevelDb(response.system()[i])));
        QVERIFY(!std::isnan(LevelDb(response.fed(High)[i])));
    }
    // A muted way contributes nothing, measured or not.
    ParameterImage muted = image;
    muted.onFlag[High] = 0;
    response.update(SystemSettingsOf(muted));
    QCOMPARE(response.system()[0], response.fed(Mid)[0]);
    response.setMeasurement(High, nullptr);
    response.update(SystemSettingsOf(image));
    QCOMPARE(response.predicted(High)[2], response.fed(High)[2]);
}

void TestSystemResponse::crossoverSectionsAgreeWithGraphRows_data() {
    QTest::addColumn<bool>("highPass");
    QTest::addColumn<int>("type");
    for (int type = 0; type < CrossoverTypeCount; ++type) {
        QTest::addRow("high-pass %d", type) << true << type;
        QTest::addRow("low-pass %d", type) << false << type;
    }
}

void TestSystemResponse::crossoverSectionsAgreeWithGraphRows() {
    QFETCH(bool, highPass);
    QFETCH(int, type);
    const GraphGeometry geometry;
    auto cache = std::make_unique<ResponseCache>();
    ParameterImage image = OpenImage();
    const int section = Mid;
    if (highPass) {
        image.highPassIndex[section] = IndexOf(500.0);
        image.highPassType[section] = type;
    } else {
        image.lowPassIndex[section] = IndexOf(3000.0);
        image.lowPassType[section] = type;
    }
    ComputeHighPassResponse(*cache, geometry, section, image.highPassIndex[section],
                            image.highPassType[section]);
    ComputeLowPassResponse(*cache, geometry, section, image.lowPassIndex[section],
                           image.lowPassType[section]);
    std::vector<double> columns;
    for (int j = FirstResponseColumn; j <= LastResponseColumn(geometry); ++j) {
        columns.push_back(geometry.columnFrequency(j + 41));
    }
    SystemResponse response(columns);
    response.update(SystemSettingsOf(image));
    for (int j = FirstResponseColumn; j <= LastResponseColumn(geometry); ++j) {
        const double graph = GraphLevelToDb(cache->rows[HighPassRow(section)][j] +
                                            cache->rows[LowPassRow(section)][j]);
        const double model = LevelDb(response.section(section)[std::size_t(j - 1)]);
        if (graph < -200.0) {
            continue; // the graph's rows are floored far down
        }
        QVERIFY2(std::abs(model - graph) <= 0.01,
                 qPrintable(QStringLiteral("column %1: model %2 dB, graph %3 dB")
                                .arg(j)
                                .arg(model)
                                .arg(graph)));
    }
}

void TestSystemResponse::bandsUseTableValues() {
    ParameterImage image = OpenImage();
    EqBand& band = image.bands[BandIndex(Low, 0)];
    band.frequencyIndex = 136; // 1000 Hz
    band.peakingGain = NearestEqGainIndex(6.0);
    band.qIndex = NearestQIndex(1.0);
    SystemResponse response({500.0, 1000.0, 2000.0});
    response.update(SystemSettingsOf(image));
    // The worked values of the peaking band at the frequency itself: 4.09, 5.99, 4.09 on the
    // graph's scale.
    const std::array<double, 3> expected = {4.09, 5.99, 4.09};
    for (int i = 0; i < 3; ++i) {
        QVERIFY(std::abs(LevelDb(response.section(Low)[i]) - GraphLevelToDb(expected[i])) < 0.01);
    }
    // Shelves: a low shelf of +6 dB at 1 kHz reads 4.64 there.
    band.type = 1;
    band.shelfGain = NearestEqGainIndex(6.0);
    response.update(SystemSettingsOf(image));
    QVERIFY(std::abs(LevelDb(response.section(Low)[1]) - GraphLevelToDb(4.64)) < 0.01);
}

void TestSystemResponse::bypassedBandIsFlatInEverySection() {
    ParameterImage image = OpenImage();
    for (int s = 0; s < SectionCount; ++s) {
        EqBand& band = image.bands[BandIndex(s, 1)];
        band.frequencyIndex = 136;
        band.peakingGain = NearestEqGainIndex(-6.0);
    }
    BypassRows bypass{};
    bypass[1] = true;
    SystemResponse response({1000.0});
    response.update(SystemSettingsOf(image, bypass));
    for (int s = 0; s < SectionCount; ++s) {
        QVERIFY(std::abs(LevelDb(response.section(s)[0])) < 1e-3);
    }
    response.update(SystemSettingsOf(image));
    for (int s = 0; s < SectionCount; ++s) {
        QVERIFY(LevelDb(response.section(s)[0]) < -5.9);
    }
}

void TestSystemResponse::onlyChangedFiltersAreRecomputed() {
    ParameterImage image = TwoWaySplit(1000.0, 7);
    SystemResponse response(AudibleFrequencies());
    response.update(SystemSettingsOf(image));
    const int first = response.filterEvaluations();
    QCOMPARE(first, 32); // every filter once
    response.update(SystemSettingsOf(image));
    QCOMPARE(response.filterEvaluations(), first);

    // A band moves: that band alone.
    image.bands[BandIndex(High, 3)].frequencyIndex = 150;
    image.bands[BandIndex(High, 3)].peakingGain = 140;
    response.update(SystemSettingsOf(image));
    QCOMPARE(response.filterEvaluations(), first + 1);
    SystemResponse fresh(AudibleFrequencies());
    fresh.update(SystemSettingsOf(image));
    QCOMPARE(response.system(), fresh.system());

    // Gain, polarity, delay and mute are not filters.
    image.gainIndex[Mid] = 180;
    image.polarity[Low] = 1;
    image.delay[High] = 20;
    image.onFlag[Low] = 1;
    response.update(SystemSettingsOf(image));
    QCOMPARE(response.filterEvaluations(), first + 1);
    SystemResponse again(AudibleFrequencies());
    again.update(SystemSettingsOf(image));
    QCOMPARE(response.system(), again.system());
}

void TestSystemResponse::levelsAndPhasesOfEdgeValues() {
    QCOMPARE(PhaseDeg(Complex(-1.0, -0.0)), 180.0);
    QCOMPARE(PhaseDeg(Complex(-1.0, 0.0)), 180.0);
    QCOMPARE(PhaseDeg(Complex(0.0, -1.0)), -90.0);
    QVERIFY(std::isnan(PhaseDeg(Complex(0.0, 0.0))));
    QVERIFY(std::isinf(LevelDb(Complex(0.0, 0.0))));
    QCOMPARE(LevelDb(Complex(0.0, 10.0)), 20.0);
    QVERIFY(std::isnan(LevelDb(Complex(std::nan(""), 0.0))));
    // Settings no table holds: types out of range are flat, nothing is undefined.
    SystemSettings odd;
    odd.sections[High].bands[0] = {1000.0, 6.0, 1.0, 7, false};
    odd.sections[High].highPass = {500.0, 40};
    odd.sections[High].lowPass = {500.0, -3};
    SystemResponse response({20.0, 1000.0, 20000.0});
    response.update(odd);
    for (const Complex& h : response.section(High)) {
        QVERIFY(std::abs(LevelDb(h)) < 1e-9);
    }
}

void TestSystemResponse::octaveFrequenciesAreExact() {
    const std::vector<double> points = OctaveFrequencies(20.0, 20000.0, 24);
    QCOMPARE(int(points.size()), 240);
    for (int k = 0; k < int(points.size()); ++k) {
        QCOMPARE(points[std::size_t(k)], 20.0 * std::exp2(k / 24.0));
    }
    QCOMPARE(int(OctaveFrequencies(100.0, 400.0, 1).size()), 3); // 100, 200, 400
    QVERIFY(OctaveFrequencies(0.0, 400.0, 1).empty());
    QVERIFY(OctaveFrequencies(500.0, 400.0, 1).empty());
    QVERIFY(OctaveFrequencies(1.0, 48000.0, 1000, 1000).empty());
}

QTEST_GUILESS_MAIN(TestSystemResponse)
#include "test_system_response.moc"
