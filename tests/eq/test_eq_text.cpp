// EQ filters as text: the files of REW, Equalizer APO and AutoEq read and fitted onto a section
// (checked against golden reports), the export that reads back to the same table indices, and
// the curve difference of the report.
#include "dsp/scales.h"
#include "files/eq_fit.h"
#include "files/eq_report.h"
#include "files/eq_text.h"

#include "test_files.h"

#include <QFile>
#include <QTest>

using namespace quellaton;

namespace {

const QString GoldenDir = QStringLiteral(QUELLATON_EQ_GOLDEN_DIR);

// A section whose bands and crossovers differ from what the golden files set, so that the
// reports show what changed.
ParameterImage StartImage() {
    ParameterImage image;
    for (int band = 0; band < BandCount; ++band) {
        EqBand& b = image.bands[std::size_t(band)];
        b.frequencyIndex = 40 + 30 * (band % BandsPerSection);
        b.peakingGain = 110;
        b.shelfGain = 130;
        b.qIndex = 9;
    }
    image.highPassIndex = {10, 10, 10, 10};
    image.lowPassIndex = {230, 230, 230, 230};
    image.highPassType = {6, 6, 6, 6};
    image.masterLevel = 250;
    return image;
}

// What a golden file holds: the report (or the error) of the file fitted onto StartImage(),
// then the export of the section as set.
QString GoldenText(const QString& input, int section, bool fit) {
    const EqText text = ReadEqTextFile(GoldenDir + QLatin1Char('/') + input);
    if (!text.error.isEmpty()) {
        return QStringLiteral("error: %1\n").arg(text.error);
    }
    const EqFitReport report = FitEqText(text, StartImage(), section, fit);
    QString out = EqReportTitle(report) + QLatin1Char('\n');
    if (!report.refusal.isEmpty()) {
        return out + QStringLiteral("not applied: %1\n").arg(report.refusal);
    }
    // One line a row, its cells between bars; the notes after them.
    for (const QStringList& row : QList<QStringList>{EqReportHeader()} + EqReportRows(report)) {
        out += row.join(QStringLiteral(" | ")).trimmed() + QLatin1Char('\n');
    }
    for (const QString& note : EqReportNotes(report)) {
        out += note + QLatin1Char('\n');
    }
    EqTextExport what;
    what.section = section;
    what.source = input;
    return out + QStringLiteral("--- export ---\n") +
           QString::fromUtf8(EqTextContent(report.image, what)).remove(QLatin1Char('\r'));
}

EqText Parse(const char* text) {
    return ParseEqText(QByteArray(text));
}

// The fields of a section that an export carries, one text per field.
QStringList SectionFields(const ParameterImage& image, int section) {
    QStringList fields;
    for (int band = 0; band < BandsPerSection; ++band) {
        const EqBand& b = image.bands[std::size_t(BandIndex(section, band))];
        fields << QStringLiteral("band %1: type %2 f %3 g %4 q %5")
                      .arg(band + 1)
                      .arg(b.type)
                      .arg(b.frequencyIndex)
                      .arg(b.activeGain())
                      .arg(b.qIndex);
    }
    fields << QStringLiteral("hp %1/%2 lp %3/%4")
                  .arg(image.highPassIndex[std::size_t(section)])
                  .arg(image.highPassType[std::size_t(section)])
                  .arg(image.lowPassIndex[std::size_t(section)])
                  .arg(image.lowPassType[std::size_t(section)]);
    fields << (section == Main
                   ? QStringLiteral("level %1").arg(image.masterLevel)
                   : QStringLiteral("gain %1").arg(image.gainIndex[std::size_t(section)]));
    return fields;
}

} // namespace

class TestEqText : public QObject {
    Q_OBJECT
private slots:
    void goldenFiles_data();
    void goldenFiles();
    void numbersAndErrorsNameTheirLine_data();
    void numbersAndErrorsNameTheirLine();
    void bandwidthBecomesQ_data();
    void bandwidthBecomesQ();
    void crossoverForms_data();
    void crossoverForms();
    void fitKeepsTheLargestGains();
    void unfilledBandsGoFlat();
    void preampIsClampedToTheScale_data();
    void preampIsClampedToTheScale();
    void exportImportRoundTripIsExact_data();
    void exportImportRoundTripIsExact();
    void tableValuesDifferByNothing_data();
    void tableValuesDifferByNothing();
    void offBandsAndCrossoversWithoutAForm();
};

void TestEqText::goldenFiles_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("section");
    QTest::addColumn<bool>("fit");
    QTest::addColumn<QString>("expected");
    auto row = [](const char* name, const char* input, int section, bool fit) {
        QTest::newRow(name) << QString::fromLatin1(input) << section << fit
                            << QStringLiteral("%1.report").arg(QLatin1String(name));
    };
    row("rew_generic", "rew_generic.txt", High, false);
    row("apo_q", "apo_q.txt", Mid, false);
    row("apo_bw", "apo_bw.txt", Low, false);
    row("autoeq", "autoeq.txt", Main, false);
    row("off_filters", "off_filters.txt", High, false);
    row("decimal_comma", "decimal_comma.txt", High, false);
    row("seven_filters", "seven_filters.txt", High, false);
    row("seven_filters_fit", "seven_filters.txt", High, true);
    row("shelves_q", "shelves_q.txt", Mid, false);
    row("crossovers_forms", "crossovers_forms.txt", High, false);
    row("crossovers_other_q", "crossovers_other_q.txt", Mid, false);
    row("crossovers_several", "crossovers_several.txt", Main, false);
    row("unknown_command", "unknown_command.txt", Low, false);
    row("empty", "empty.txt", High, false);
    row("binary_junk", "binary_junk.txt", High, false);
}

void TestEqText::goldenFiles() {
    QFETCH(QString, input);
    QFETCH(int, section);
    QFETCH(bool, fit);
    QFETCH(QString, expected);
    const QString actual = GoldenText(input, section, fit);
    const QString path = GoldenDir + QLatin1Char('/') + expected;
    if (qEnvironmentVariableIsSet("QUELLATON_UPDATE_GOLDEN")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(actual.toUtf8());
    }
    QCOMPARE(actual, QString::fromUtf8(ReadAll(path)));
}

void TestEqText::numbersAndErrorsNameTheirLine_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::newRow("comma in Fc") << QByteArray("Preamp: -1 dB\n\nFilter 1: ON PK Fc 1000,5 Hz "
                                               "Gain 1 dB Q 1\n")
                                 << "line 3: \"1000,5\" has a decimal comma; only a dot is taken "
                                    "as the decimal sign";
    QTest::newRow("comma in Q") << QByteArray("Filter 1: ON PK Fc 100 Hz Gain 1 dB Q 0,7")
                                << "line 1: \"0,7\" has a decimal comma; only a dot is taken as "
                                   "the decimal sign";
    QTest::newRow("comma in Preamp") << QByteArray("Preamp: -6,5 dB")
                                     << "line 1: \"-6,5\" has a decimal comma; only a dot is "
                                        "taken as the decimal sign";
    QTest::newRow("comma in an OFF filter")
        << QByteArray("Filter 1: ON PK Fc 100 Hz Gain 1 dB Q 1\r\nFilter 2: OFF PK Fc 100 Hz "
                      "Gain 1,5 dB Q 1")
        << "line 2: \"1,5\" has a decimal comma; only a dot is taken as the decimal sign";
    QTest::newRow("two points") << QByteArray("Filter 1: ON PK Fc 1.0.0 Hz Gain 1 dB Q 1")
                                << "line 1: \"1.0.0\" after Fc is not a number";
    QTest::newRow("no value") << QByteArray("Filter 1: ON PK Fc") << "line 1: Fc has no value";
    QTest::newRow("no gain") << QByteArray("Filter 1: ON PK Fc 100 Hz Q 1")
                             << "line 1: PK needs Gain";
    QTest::newRow("no Q") << QByteArray("Filter 1: ON PK Fc 100 Hz Gain 2 dB")
                          << "line 1: PK needs Q or BW Oct";
    QTest::newRow("no state") << QByteArray("Filter 1: PK Fc 100 Hz Gain 2 dB Q 1")
                              << "line 1: ON or OFF expected, not \"PK\"";
    QTest::newRow("zero frequency")
        << QByteArray("Filter: ON HP Fc 0 Hz") << "line 1: the frequency must be above 0 Hz";
    QTest::newRow("negative Q") << QByteArray("Filter: ON PK Fc 10 Hz Gain 1 dB Q -2")
                                << "line 1: Q must be above 0";
    QTest::newRow("huge number") << QByteArray("Filter: ON PK Fc 1" + QByteArray(400, '0') +
                                               " Hz Gain 1 dB Q 1")
                                 << "line 1: \"1" + QString(400, QLatin1Char('0')) +
                                        "\" after Fc is not a number";
    QTest::newRow("narrowest bandwidth")
        << QByteArray("Filter: ON PK Fc 10 Hz Gain 1 dB BW Oct 0.00000000000000001")
        << "line 1: BW Oct is too narrow";
    QTest::newRow("preamps beyond any number")
        << QByteArray("Preamp: 9" + QByteArray(307, '0') + " dB\nPreamp: 9" + QByteArray(307, '0'))
        << "line 2: the Preamp lines add up beyond any number";
    QTest::newRow("too many filters")
        << QByteArray("Preamp: -1 dB\n") +
               QByteArray("Filter: OFF PK Fc 100 Hz Gain 1 dB Q 1\n").repeated(1001)
        << "line 1002: more than 1000 Filter lines";
    QTest::newRow("only comments")
        << QByteArray("# nothing\n\n# here\n") << "no Filter or Preamp line";
    QTest::newRow("zero byte") << QByteArray("Preamp: -1 dB\n\0", 15) << "not a text file";
    QTest::newRow("not UTF-8") << QByteArray("Preamp: -1 dB\n\xff\xfe\xfd") << "not a text file";
    // Accepted as written by other tools: a glued unit, any letter case, UTF-16 with its mark.
    QTest::newRow("glued units") << QByteArray("filter1: on pk fc 347hz gain -0.5db q 14")
                                 << QString();
    QTest::newRow("utf-16") << QByteArray("\xff\xfeP\0r\0e\0a\0m\0p\0:\0 \0-\0\x31\0", 22)
                            << QString();
}

void TestEqText::numbersAndErrorsNameTheirLine() {
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QCOMPARE(ParseEqText(content).error, error);
}

void TestEqText::bandwidthBecomesQ_data() {
    QTest::addColumn<double>("octaves");
    QTest::addColumn<double>("q");
    QTest::newRow("1 octave") << 1.0 << std::sqrt(2.0);
    QTest::newRow("2 octaves") << 2.0 << 2.0 / 3.0;
    QTest::newRow("1/3 octave") << 1.0 / 3.0 << 4.318473046;
}

void TestEqText::bandwidthBecomesQ() {
    QFETCH(double, octaves);
    QFETCH(double, q);
    const EqText text = ParseEqText(QStringLiteral("Filter: ON PK Fc 100 Hz Gain 1 dB BW Oct %1")
                                        .arg(octaves, 0, 'g', 17)
                                        .toLatin1());
    QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
    QCOMPARE(text.filters.size(), 1);
    QVERIFY(std::abs(*text.filters[0].q - q) < 1e-6);
}

void TestEqText::crossoverForms_data() {
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("warned");
    QTest::newRow("HP, no Q") << QByteArray("Filter: ON HP Fc 100 Hz") << 0 << false;
    QTest::newRow("HPQ 0.707") << QByteArray("Filter: ON HPQ Fc 100 Hz Q 0.707") << 0 << false;
    QTest::newRow("HPQ 0.725") << QByteArray("Filter: ON HPQ Fc 100 Hz Q 0.725") << 0 << false;
    QTest::newRow("HPQ 0.5") << QByteArray("Filter: ON HPQ Fc 100 Hz Q 0.5") << 1 << false;
    QTest::newRow("two HP at one frequency")
        << QByteArray("Filter: ON HP Fc 100 Hz\nFilter: ON HPQ Fc 100 Hz Q 0.7071") << 7 << false;
    QTest::newRow("two HP apart") << QByteArray("Filter: ON HP Fc 100 Hz\nFilter: ON HP Fc 200 Hz")
                                  << 7 << true;
    QTest::newRow("HPQ 0.4 is nearest LR")
        << QByteArray("Filter: ON HPQ Fc 100 Hz Q 0.4") << 1 << true;
    QTest::newRow("HPQ 0.9 is nearest Butterworth")
        << QByteArray("Filter: ON HPQ Fc 100 Hz Q 0.9") << 0 << true;
    QTest::newRow("three HP") << QByteArray("Filter: ON HP Fc 100 Hz\nFilter: ON HP Fc 100 Hz\n"
                                            "Filter: ON HP Fc 100 Hz")
                              << 7 << true;
}

void TestEqText::crossoverForms() {
    QFETCH(QByteArray, lines);
    QFETCH(int, type);
    QFETCH(bool, warned);
    for (const bool high : {true, false}) {
        QByteArray content = lines;
        if (!high) {
            content.replace("HP", "LP");
        }
        const EqText text = ParseEqText(content);
        QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
        const EqFitReport report = FitEqText(text, ParameterImage{}, Mid, false);
        QCOMPARE(high ? report.image.highPassType[Mid] : report.image.lowPassType[Mid], type);
        QCOMPARE(high ? report.image.highPassIndex[Mid] : report.image.lowPassIndex[Mid],
                 NearestFrequencyIndex(content.contains("200") ? std::sqrt(100.0 * 200.0) : 100.0));
        QCOMPARE(report.rows.size(), 1);
        const bool noted = std::any_of(report.rows[0].notes.begin(), report.rows[0].notes.end(),
                                       [](const QString& n) { return n.contains("nearest"); });
        QCOMPARE(noted, warned);
    }
}

void TestEqText::fitKeepsTheLargestGains() {
    // Nine filters; equal |gain| goes to the earlier one.
    const EqText text = Parse("Filter: ON PK Fc 100 Hz Gain 1 dB Q 1\n"
                              "Filter: ON PK Fc 200 Hz Gain -5 dB Q 1\n"
                              "Filter: ON PK Fc 300 Hz Gain 2 dB Q 1\n"
                              "Filter: ON LS Fc 400 Hz Gain 6 dB\n"
                              "Filter: ON PK Fc 500 Hz Gain -2 dB Q 1\n"
                              "Filter: ON PK Fc 630 Hz Gain 0.5 dB Q 1\n"
                              "Filter: ON PK Fc 794 Hz Gain 3 dB Q 1\n"
                              "Filter: ON HS Fc 1000 Hz Gain -4 dB\n"
                              "Filter: ON PK Fc 1260 Hz Gain 2 dB Q 1\n");
    QVERIFY(text.error.isEmpty());
    const EqFitReport refused = FitEqText(text, ParameterImage{}, Low, false);
    QCOMPARE(refused.refusal, QStringLiteral("9 filters; a section has 6 bands"));
    QVERIFY(refused.image == ParameterImage{});

    const EqFitReport report = FitEqText(text, ParameterImage{}, Low, true);
    QVERIFY(report.refusal.isEmpty());
    const QList<double> kept{200, 300, 400, 500, 794, 1000};
    for (int band = 0; band < BandsPerSection; ++band) {
        const EqBand& b = report.image.bands[std::size_t(BandIndex(Low, band))];
        QCOMPARE(b.frequencyIndex, NearestFrequencyIndex(kept[band]));
    }
    QList<int> dropped;
    for (const EqFitRow& row : report.rows) {
        if (row.kind == EqFitRow::Kind::Dropped) {
            dropped << row.lines.value(0);
        }
    }
    QCOMPARE(dropped, (QList<int>{1, 6, 9}));
}

void TestEqText::unfilledBandsGoFlat() {
    ParameterImage image;
    for (int band = 0; band < BandsPerSection; ++band) {
        EqBand& b = image.bands[std::size_t(BandIndex(High, band))];
        b = EqBand{100 + band, band % 3, 60, 170, 20 + band};
    }
    const EqFitReport report =
        FitEqText(Parse("Filter: ON PK Fc 1000 Hz Gain -3 dB Q 2\n"), image, High, false);
    const EqBand& first = report.image.bands[0];
    QCOMPARE(first.type, 0);
    QCOMPARE(first.peakingGain, NearestEqGainIndex(-3.0));
    QCOMPARE(first.shelfGain, 170); // the gain of the other type stays
    for (int band = 1; band < BandsPerSection; ++band) {
        const EqBand& before = image.bands[std::size_t(band)];
        const EqBand& after = report.image.bands[std::size_t(band)];
        QCOMPARE(after.frequencyIndex, before.frequencyIndex);
        QCOMPARE(after.qIndex, before.qIndex);
        QCOMPARE(after.type, before.type);
        QCOMPARE(after.activeGain(), EqGainZeroIndex);
    }
    // Other sections are not touched.
    for (int band = BandsPerSection; band < BandCount; ++band) {
        QVERIFY(report.image.bands[std::size_t(band)] == image.bands[std::size_t(band)]);
    }
}

void TestEqText::preampIsClampedToTheScale_data() {
    QTest::addColumn<int>("section");
    QTest::addColumn<QByteArray>("preamp");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("clamped");
    QTest::newRow("High -6.5") << int(High) << QByteArray("-6.5") << 135 << false;
    QTest::newRow("High +9") << int(High) << QByteArray("9") << 250 << true;
    QTest::newRow("Low +3") << int(Low) << QByteArray("3") << 200 << true;
    QTest::newRow("Mid -25") << int(Mid) << QByteArray("-25") << 0 << true;
    QTest::newRow("Main -6.4") << int(Main) << QByteArray("-6.4") << 269 << false;
    QTest::newRow("Main -70") << int(Main) << QByteArray("-70") << 1 << true;
    QTest::newRow("Main +2") << int(Main) << QByteArray("+2") << 301 << true;
    QTest::newRow("two lines add")
        << int(High) << QByteArray("-3 dB\nPreamp: -2.5") << 145 << false;
}

void TestEqText::preampIsClampedToTheScale() {
    QFETCH(int, section);
    QFETCH(QByteArray, preamp);
    QFETCH(int, code);
    QFETCH(bool, clamped);
    const EqText text = ParseEqText("Preamp: " + preamp + " dB\n");
    QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
    const EqFitReport report = FitEqText(text, ParameterImage{}, section, false);
    QCOMPARE(section == Main ? report.image.masterLevel
                             : report.image.gainIndex[std::size_t(section)],
             code);
    const EqFitRow& row = report.rows.constLast();
    QCOMPARE(row.kind, EqFitRow::Kind::Gain);
    QCOMPARE(!row.notes.isEmpty(), clamped);
}

void TestEqText::exportImportRoundTripIsExact_data() {
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("frequency");
    QTest::addColumn<int>("gain");
    QTest::addColumn<int>("q");
    QTest::addColumn<int>("crossover"); // high-pass index; the low-pass sits at 242 - index
    QTest::addColumn<int>("crossoverType");
    QTest::addColumn<int>("level"); // way gain index or Main level
    for (int section = 0; section < SectionCount; ++section) {
        const QByteArray name = EqSectionName(section).toLatin1();
        const int top = section == Main ? MainLevelTop : ParameterImage::MaxGainIndex(section);
        const int bottom = section == Main ? 1 : 0;
        QTest::newRow(name + " lowest") << section << 0 << 0 << 0 << 1 << 0 << bottom;
        QTest::newRow(name + " highest")
            << section << MaxFrequencyIndex << MaxEqGainIndex << MaxQIndex << 242 << 1 << top;
        QTest::newRow(name + " middle")
            << section << 136 << EqGainZeroIndex << 4 << 121 << 7 << (top + bottom) / 2;
    }
}

void TestEqText::exportImportRoundTripIsExact() {
    QFETCH(int, section);
    QFETCH(int, frequency);
    QFETCH(int, gain);
    QFETCH(int, q);
    QFETCH(int, crossover);
    QFETCH(int, crossoverType);
    QFETCH(int, level);
    ParameterImage image;
    for (int band = 0; band < BandsPerSection; ++band) {
        EqBand& b = image.bands[std::size_t(BandIndex(section, band))];
        b.type = band % 3;
        b.frequencyIndex = std::clamp(frequency + (band % 2 ? -band : band), 0, MaxFrequencyIndex);
        b.activeGain() = std::clamp(gain + (band % 2 ? -band : band), 0, MaxEqGainIndex);
        b.qIndex = std::clamp(q + (band % 2 ? -band : band), 0, MaxQIndex);
    }
    image.highPassIndex[std::size_t(section)] = crossover;
    image.lowPassIndex[std::size_t(section)] = 242 - crossover;
    image.highPassType[std::size_t(section)] = crossoverType;
    image.lowPassType[std::size_t(section)] = crossoverType;
    if (section == Main) {
        image.masterLevel = level;
    } else {
        image.gainIndex[std::size_t(section)] = level;
    }
    EqTextExport what;
    what.section = section;
    const EqText text = ParseEqText(EqTextContent(image, what));
    QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
    // Into a set that differs everywhere: every field of the section comes from the file.
    ParameterImage other;
    for (EqBand& b : other.bands) {
        b = EqBand{77, 1, 33, 44, 55};
    }
    other.highPassIndex.fill(50);
    other.lowPassIndex.fill(200);
    other.highPassType.fill(4);
    other.lowPassType.fill(5);
    other.gainIndex.fill(99);
    other.masterLevel = 99;
    const EqFitReport report = FitEqText(text, other, section, false);
    QVERIFY(report.refusal.isEmpty());
    QCOMPARE(SectionFields(report.image, section), SectionFields(image, section));
    QVERIFY2(report.sectionDifference < 0.005,
             qPrintable(QString::number(report.sectionDifference)));
}

void TestEqText::tableValuesDifferByNothing_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("PK lowest") << QByteArray("Filter: ON PK Fc 19.7 Hz Gain -24 dB Q 0.2");
    QTest::newRow("PK highest") << QByteArray("Filter: ON PK Fc 21900 Hz Gain 12 dB Q 36");
    QTest::newRow("PK 1 kHz") << QByteArray("Filter: ON PK Fc 1000 Hz Gain -3.4 dB Q 1.4");
    QTest::newRow("PK 179 Hz") << QByteArray("Filter: ON PEQ Fc 179 Hz Gain 5.2 dB Q 7.8");
    QTest::newRow("LS") << QByteArray("Filter: ON LS Fc 81.1 Hz Gain 6 dB");
    QTest::newRow("HSC with Q") << QByteArray("Filter: ON HSC Fc 8000 Hz Gain -4.6 dB Q 0.7");
    QTest::newRow("HP") << QByteArray("Filter: ON HP Fc 20.3 Hz");
    QTest::newRow("LPQ 0.5") << QByteArray("Filter: ON LPQ Fc 21300 Hz Q 0.5");
    QTest::newRow("two LP") << QByteArray("Filter: ON LP Fc 1000 Hz\nFilter: ON LP Fc 1000 Hz");
    QTest::newRow("Preamp") << QByteArray("Preamp: -12.3 dB");
}

void TestEqText::tableValuesDifferByNothing() {
    QFETCH(QByteArray, line);
    const EqText text = ParseEqText(line);
    QVERIFY2(text.error.isEmpty(), qPrintable(text.error));
    const EqFitReport report = FitEqText(text, ParameterImage{}, High, false);
    QCOMPARE(report.rows.size(), 1);
    QVERIFY(report.rows[0].difference.has_value());
    QCOMPARE(QString::number(*report.rows[0].difference, 'f', 2), QStringLiteral("0.00"));
    QCOMPARE(QString::number(report.sectionDifference, 'f', 2), QStringLiteral("0.00"));
    // A value between two entries is reported as a difference.
    QByteArray off = line;
    off.replace(" Hz", "1 Hz").replace(" dB", "1 dB");
    const EqFitReport moved = FitEqText(ParseEqText(off), ParameterImage{}, High, false);
    QVERIFY(*moved.rows[0].difference > 0.0);
}

void TestEqText::offBandsAndCrossoversWithoutAForm() {
    ParameterImage image;
    image.highPassIndex[Low] = 0;
    image.lowPassIndex[Low] = 120;
    image.lowPassType[Low] = 3; // 18db-Bworth
    image.gainIndex[Low] = 150;
    EqTextExport what;
    what.section = Low;
    what.program = QStringLiteral("test");
    what.source = QStringLiteral("unit ID 4");
    what.bypass[2] = true;
    const QString text = QString::fromUtf8(EqTextContent(image, what));
    QVERIFY(text.startsWith("# EQ filters of the Low section, written by test\r\n"
                            "# Source: unit ID 4\r\nPreamp: -5.0 dB\r\n"));
    QVERIFY(text.contains("\r\nFilter 3: OFF PK Fc "));
    QVERIFY(text.contains("\r\n# High-pass: off"));
    QVERIFY(
        text.contains("\r\n# Low-pass: 18db-Bworth at 630.0 Hz has no form in this format\r\n"));
    const EqText back = ParseEqText(text.toUtf8());
    QCOMPARE(back.filters.size(), 5);
    QCOMPARE(back.skipped, 1);
}

QTEST_GUILESS_MAIN(TestEqText)
#include "test_eq_text.moc"
