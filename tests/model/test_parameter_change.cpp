// Changes of one parameter as remote clients send them: every parameter a report names can be
// set by that name and value, bad changes are refused whole with a reason, values are limited
// and snapped by the model, and a switch already as asked sends nothing.
#include "files/image_report.h"
#include "model/parameter_change.h"
#include "model/unit_model.h"
#include "protocol/send_slots.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace quellaton;

namespace {

QJsonValue JsonOf(const char* text) {
    const QJsonDocument document = QJsonDocument::fromJson(text);
    return document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
}

// A parameter set away from the defaults, so that a change that did nothing would show.
ParameterImage TunedImage() {
    UnitModel model;
    model.setGainDb(High, -3.9);
    model.toggleMute(Mid);
    model.togglePolarity(Low);
    model.togglePolarity(Main);
    model.setDelaySteps(High, 3);
    model.setDelaySteps(Main, 40);
    model.setLimiterThreshold(Mid, 7);
    model.setLimiterAttack(Low, 2);
    model.setLimiterRelease(High, 5);
    model.setMasterLevel(280);
    model.toggleBassEnhancer();
    model.setCrossoverType(High, UnitModel::Filter::HighPass, 4);
    model.setCrossoverFrequencyHz(High, UnitModel::Filter::HighPass, 1500);
    model.setCrossoverType(Main, UnitModel::Filter::LowPass, 2);
    for (int band = 0; band < BandCount; ++band) {
        model.setBandType(band, band % 3);
        model.setBandFrequencyHz(band, 40.0 * (band + 1));
        model.setBandGainDb(band, -6.0 + 0.5 * band);
        model.setBandQ(band, 0.7 + 0.3 * band);
    }
    return model.image();
}

// The value a report's text stands for: a number where the report gives one with its unit
// (the limiter's times are choices from a list).
QJsonValue ValueOf(const ReportRow& row) {
    const bool choice = row.parameter.startsWith(QLatin1String("Limiter"));
    const bool number =
        !choice &&
        (row.value.endsWith(QLatin1String(" dB")) || row.value.endsWith(QLatin1String(" Hz")) ||
         row.value.endsWith(QLatin1String(" ms")) || row.parameter.endsWith(QLatin1String(" Q")));
    if (number) {
        return row.value.section(QLatin1Char(' '), 0, 0).toDouble();
    }
    return row.value;
}

} // namespace

class TestParameterChange : public QObject {
    Q_OBJECT
private slots:
    void everyReportedParameterIsSetByItsName();
    void badChangesAreRefusedWhole_data();
    void badChangesAreRefusedWhole();
    void valuesAreLimitedAndSnapped_data();
    void valuesAreLimitedAndSnapped();
    void aSwitchAlreadyAsAskedSendsNothing();
};

void TestParameterChange::everyReportedParameterIsSetByItsName() {
    const ParameterImage tuned = TunedImage();
    const QList<ReportRow> rows = DescribeImage(tuned);
    QCOMPARE(rows.size(), 4 * 4 + 4 * 24 + 3 * 7 + 5);
    const QList<ReportRow> defaults = DescribeImage(ParameterImage{});
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const ReportRow& row = rows[i];
        // Named in another letter case, as a client may write it.
        const QJsonObject change{{"section", row.section.toLower()},
                                 {"parameter", row.parameter.toUpper()},
                                 {"value", ValueOf(row)}};
        const ParsedChanges parsed = ParseParameterChanges(change);
        QVERIFY2(parsed.ok(),
                 qPrintable(row.section + QLatin1Char(' ') + row.parameter + ": " + parsed.error));
        QCOMPARE(parsed.changes.size(), 1);
        QCOMPARE(SectionName(parsed.changes[0].section), row.section);
        QCOMPARE(parsed.changes[0].parameter, row.parameter);

        // Set on a unit with the default set, the value lands in that row and nowhere else.
        UnitModel model;
        ApplyParameterChange(model, parsed.changes[0]);
        const QList<ReportRow> after = DescribeImage(model.image());
        QCOMPARE(after[i].value, row.value);
        for (qsizetype j = 0; j < after.size(); ++j) {
            // A band's type decides which of its two gains shows: its gain row follows it.
            const bool bandGainOfType = row.parameter.endsWith(QLatin1String(" type")) &&
                                        row.parameter.startsWith(QLatin1String("Band")) &&
                                        j == i + 2;
            if (j != i && !bandGainOfType) {
                QVERIFY2(after[j].value == defaults[j].value,
                         qPrintable(row.parameter + " changed " + after[j].parameter));
            }
        }
    }
}

void TestParameterChange::badChangesAreRefusedWhole_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("reason");

    QTest::newRow("not an object") << QByteArray("[3]") << "is an object";
    QTest::newRow("unknown key")
        << QByteArray(R"({"section": "high", "parameter": "gain", "value": 1, "unit": "dB"})")
        << "unknown key \"unit\"";
    QTest::newRow("no value") << QByteArray(R"({"section": "high", "parameter": "gain"})")
                              << "needs a \"value\"";
    QTest::newRow("section not a text")
        << QByteArray(R"({"section": 1, "parameter": "gain", "value": 1})")
        << "\"section\" must be a text";
    QTest::newRow("unknown section")
        << QByteArray(R"({"section": "sub", "parameter": "gain", "value": 1})")
        << "unknown section \"sub\"";
    QTest::newRow("unknown parameter")
        << QByteArray(R"({"section": "high", "parameter": "volume", "value": 1})")
        << "unknown parameter \"volume\" in High";
    QTest::newRow("a way's parameter in Main")
        << QByteArray(R"({"section": "main", "parameter": "gain", "value": 1})")
        << "unknown parameter \"gain\" in Main";
    QTest::newRow("band 7") << QByteArray(
                                   R"({"section": "low", "parameter": "band 7 gain", "value": 1})")
                            << "unknown parameter";
    QTest::newRow("text for a number")
        << QByteArray(R"({"section": "high", "parameter": "gain", "value": "-3"})")
        << "must be a number";
    QTest::newRow("true for a number")
        << QByteArray(R"({"section": "high", "parameter": "band 1 q", "value": true})")
        << "must be a number";
    QTest::newRow("number for a switch")
        << QByteArray(R"({"section": "mid", "parameter": "mute", "value": 0})")
        << "must be true or false";
    QTest::newRow("number for a choice")
        << QByteArray(R"({"section": "mid", "parameter": "hpf type", "value": 2})")
        << "must be one of";
    QTest::newRow("unknown choice")
        << QByteArray(R"({"section": "mid", "parameter": "band 1 type", "value": "notch"})")
        << "PEQ, LS, HS";
    QTest::newRow("a way's polarity text for Main")
        << QByteArray(R"({"section": "main", "parameter": "polarity", "value": "+"})")
        << "Pol(+), Pol(-)";
    QTest::newRow("empty list") << QByteArray("[]") << "empty";
    QTest::newRow("second of two bad")
        << QByteArray(
               R"([{"section": "high", "parameter": "gain", "value": -1},
            {"section": "high", "parameter": "gain", "value": null}])")
        << "change 2: the value of High Gain must be a number";
}

void TestParameterChange::badChangesAreRefusedWhole() {
    QFETCH(QByteArray, json);
    QFETCH(QString, reason);
    const ParsedChanges parsed = ParseParameterChanges(JsonOf(json.constData()));
    QVERIFY(!parsed.ok());
    QVERIFY2(parsed.error.contains(reason), qPrintable(parsed.error));
    QVERIFY(parsed.changes.isEmpty());
}

void TestParameterChange::valuesAreLimitedAndSnapped_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QString>("value");

    // The ends of each scale, as the window's editors limit them.
    QTest::newRow("High gain above +5 dB")
        << QByteArray(R"({"section": "high", "parameter": "gain", "value": 99})") << "High"
        << "Gain"
        << "5.0 dB";
    QTest::newRow("Low gain above 0 dB")
        << QByteArray(R"({"section": "low", "parameter": "gain", "value": 99})") << "Low"
        << "Gain"
        << "0.0 dB";
    QTest::newRow("gain below -20 dB")
        << QByteArray(R"({"section": "mid", "parameter": "gain", "value": -1e9})") << "Mid"
        << "Gain"
        << "-20.0 dB";
    QTest::newRow("band frequency below the table")
        << QByteArray(R"({"section": "main", "parameter": "band 2 frequency", "value": 1})")
        << "Main"
        << "Band 2 frequency"
        << "19.7 Hz";
    QTest::newRow("band gain above +12 dB")
        << QByteArray(R"({"section": "low", "parameter": "band 6 gain", "value": 40})") << "Low"
        << "Band 6 gain"
        << "12.0 dB";
    QTest::newRow("Q above 36")
        << QByteArray(R"({"section": "high", "parameter": "band 1 Q", "value": 100})") << "High"
        << "Band 1 Q"
        << "36";
    QTest::newRow("delay beyond 412 steps")
        << QByteArray(R"({"section": "high", "parameter": "delay", "value": 500})") << "High"
        << "Delay"
        << "8.652 ms";
    QTest::newRow("negative delay")
        << QByteArray(R"({"section": "main", "parameter": "delay", "value": -5})") << "Main"
        << "Delay"
        << "0.000 ms";
    QTest::newRow("Main level below the lowest step")
        << QByteArray(R"({"section": "main", "parameter": "level", "value": -200})") << "Main"
        << "Level"
        << "-60.0 dB";
    QTest::newRow("Main level above 0 dB")
        << QByteArray(R"({"section": "main", "parameter": "level", "value": 6})") << "Main"
        << "Level"
        << "0.0 dB";
    QTest::newRow("Main level muted")
        << QByteArray(R"({"section": "main", "parameter": "level", "value": "mute"})") << "Main"
        << "Level"
        << "Mute";
    QTest::newRow("mute as a text")
        << QByteArray(R"({"section": "mid", "parameter": "mute", "value": "ON"})") << "Mid"
        << "Mute"
        << "on";
    QTest::newRow("Main polarity")
        << QByteArray(R"json({"section": "main", "parameter": "polarity", "value": "pol(-)"})json")
        << "Main"
        << "Polarity"
        << "Pol(-)";
}

void TestParameterChange::valuesAreLimitedAndSnapped() {
    QFETCH(QByteArray, json);
    QFETCH(QString, section);
    QFETCH(QString, parameter);
    QFETCH(QString, value);
    const ParsedChanges parsed = ParseParameterChanges(JsonOf(json.constData()));
    QVERIFY2(parsed.ok(), qPrintable(parsed.error));
    UnitModel model;
    QSignalSpy edited(&model, &UnitModel::blockEdited);
    ApplyParameterChange(model, parsed.changes[0]);
    QCOMPARE(edited.size(), 1);
    bool found = false;
    for (const ReportRow& row : DescribeImage(model.image())) {
        if (row.section == section && row.parameter == parameter) {
            QCOMPARE(row.value, value);
            found = true;
        }
    }
    QVERIFY(found);
}

void TestParameterChange::aSwitchAlreadyAsAskedSendsNothing() {
    UnitModel model;
    QSignalSpy edited(&model, &UnitModel::blockEdited);
    const auto apply = [&](const char* json) {
        for (const ParameterChange& change : ParseParameterChanges(JsonOf(json)).changes) {
            ApplyParameterChange(model, change);
        }
    };
    apply(R"({"section": "high", "parameter": "mute", "value": false})");
    apply(R"({"section": "main", "parameter": "btl mode", "value": false})");
    QCOMPARE(edited.size(), 0);
    apply(R"({"section": "high", "parameter": "mute", "value": true})");
    apply(R"({"section": "high", "parameter": "mute", "value": true})");
    QCOMPARE(edited.size(), 1);
    QCOMPARE(edited[0][0].toInt(), OutputSlot(High));
    QCOMPARE(model.image().onFlag[High], 0);
}

QTEST_GUILESS_MAIN(TestParameterChange)
#include "test_parameter_change.moc"
