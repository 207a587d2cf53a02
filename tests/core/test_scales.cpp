#include "dsp/scales.h"

#include <QTest>

using namespace quellaton;

class TestScales : public QObject {
    Q_OBJECT
private slots:
    void tablesHoldTheListedDecimals();
    void nearestEntryRule();
    void typedValues_data();
    void typedValues();
    void typedValuesThatDoNotParse();
    void displayFormats();
    void delayReadouts();
    void mainLevelTexts();
    void temperature_data();
    void temperature();
    void graphPixelConversions();
    void faderConversions();
    void hexConversions();
};

void TestScales::tablesHoldTheListedDecimals() {
    QCOMPARE(FrequencyTable.front(), 19.7);
    QCOMPARE(FrequencyTable[76], 179.0);
    QCOMPARE(FrequencyTable[136], 1000.0);
    QCOMPARE(FrequencyTable.back(), 21900.0);
    for (std::size_t i = 1; i < FrequencyTable.size(); ++i) {
        QVERIFY2(FrequencyTable[i] > FrequencyTable[i - 1], qPrintable(QString::number(i)));
    }
    // Every rule-based entry is exactly the double of its one-decimal text.
    for (int i = 0; i < EqGainCount; ++i) {
        const QString decimal = QString::number(-24.0 + 0.2 * i, 'f', 1);
        QCOMPARE(EqGainTable[i], decimal.toDouble());
    }
    for (int i = 0; i < OutputGainCount; ++i) {
        QCOMPARE(OutputGainTable[i], QString::number(-20.0 + 0.1 * i, 'f', 1).toDouble());
    }
    for (int i = 0; i < QCount; ++i) {
        QCOMPARE(QTable[i], QString::number(0.2 * (i + 1), 'f', 1).toDouble());
    }
    QCOMPARE(EqGainTable[1], -23.8);
    QCOMPARE(EqGainTable[EqGainZeroIndex], 0.0);
    QCOMPARE(OutputGainTable[OutputGainZeroIndex], 0.0);
    QCOMPARE(TemperatureCodeTable.front(), 1123.0);
    QCOMPARE(TemperatureCodeTable[17], 2915.0);
    QCOMPARE(TemperatureCodeTable.back(), 5118.0);
}

void TestScales::nearestEntryRule() {
    QCOMPARE(NearestFrequencyIndex(177), 76); // 179 is nearer than 172
    QCOMPARE(NearestFrequencyIndex(20), 0);   // tie between 19.7 and 20.3: lower index
    QCOMPARE(NearestFrequencyIndex(1000.05), 136);
    QCOMPARE(NearestEqGainIndex(0.1), 120); // tie between 0.0 and 0.2
    QCOMPARE(NearestEqGainIndex(0.11), 121);
    QCOMPARE(NearestFrequencyIndex(1.0), 0);       // below the first entry
    QCOMPARE(NearestFrequencyIndex(99999.0), 243); // beyond the last entry
    QCOMPARE(NearestOutputGainIndex(-19.95), 0);   // tie: lower
    QCOMPARE(NearestQIndex(0.3), 0);               // tie between 0.2 and 0.4
    QCOMPARE(NearestIndex(std::span<const double>(), 3.0), 0);
}

void TestScales::typedValues_data() {
    QTest::addColumn<int>("kind"); // 0 frequency, 1 gain, 2 Q
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("shown");
    QTest::newRow("freq 177") << 0 << "177" << 76 << "179.0 Hz";
    QTest::newRow("freq 20 tie") << 0 << "20" << 0 << "19.7 Hz";
    QTest::newRow("freq 25000 clamped") << 0 << "25000" << 243 << "21900.0 Hz";
    QTest::newRow("freq 5 clamped") << 0 << "5" << 0 << "19.7 Hz";
    QTest::newRow("freq 1000.05") << 0 << "1000.05" << 136 << "1000.0 Hz";
    QTest::newRow("gain 0.1 tie") << 1 << "0.1" << 120 << "0.0 dB";
    QTest::newRow("gain -30") << 1 << "-30" << 0 << "-24.0 dB";
    QTest::newRow("gain 15") << 1 << "15" << 180 << "12.0 dB";
    QTest::newRow("gain -0.05") << 1 << "-0.05" << 120 << "0.0 dB";
    QTest::newRow("q 0.1 clamped") << 2 << "0.1" << 0 << "0.2";
    QTest::newRow("q 0") << 2 << "0" << 0 << "0.2";
    QTest::newRow("q 100 clamped") << 2 << "100" << 179 << "36";
    QTest::newRow("q 1.4") << 2 << "1.4" << 6 << "1.4";
    QTest::newRow("q 1") << 2 << "1" << 4 << "1";
    QTest::newRow("leading point") << 2 << ".4" << 1 << "0.4";
}

void TestScales::typedValues() {
    QFETCH(int, kind);
    QFETCH(QString, typed);
    QFETCH(int, index);
    QFETCH(QString, shown);
    const auto entry =
        kind == 0 ? EnterFrequency(typed) : (kind == 1 ? EnterEqGain(typed) : EnterQ(typed));
    QVERIFY(entry.has_value());
    QCOMPARE(entry->index, index);
    QCOMPARE(entry->text, shown);
}

void TestScales::typedValuesThatDoNotParse() {
    for (const char* text :
         {"", " ", "1000 Hz", "12dB", "abc", "1.2.3", "--1", "nan", "inf", "1e3", "-"}) {
        QVERIFY2(!EnterFrequency(QString::fromLatin1(text)), text);
        QVERIFY2(!EnterQ(QString::fromLatin1(text)), text);
    }
    QVERIFY(ParseDecimal(QStringLiteral(" 12.5 ")).has_value());
    QCOMPARE(*ParseDecimal(QStringLiteral("-3")), -3.0);
    QCOMPARE(*ParseDecimal(QStringLiteral("5.")), 5.0);
}

void TestScales::displayFormats() {
    QCOMPARE(FrequencyText(0), QStringLiteral("19.7 Hz"));
    QCOMPARE(FrequencyText(136), QStringLiteral("1000.0 Hz"));
    QCOMPARE(EqGainText(0), QStringLiteral("-24.0 dB"));
    QCOMPARE(EqGainText(120), QStringLiteral("0.0 dB"));
    QCOMPARE(OutputGainText(120), QStringLiteral("-8.0 dB"));
    QCOMPARE(OutputGainText(250), QStringLiteral("5.0 dB"));
    QCOMPARE(QText(0), QStringLiteral("0.2"));
    QCOMPARE(QText(4), QStringLiteral("1"));
    QCOMPARE(QText(179), QStringLiteral("36"));
    QCOMPARE(FormatOneDecimal(-0.0), QStringLiteral("0.0"));
    QCOMPARE(FormatOneDecimal(-0.04), QStringLiteral("0.0"));
    QCOMPARE(CrossoverTypeText(0), QStringLiteral("12db-Bworth"));
    QCOMPARE(CrossoverTypeText(8), QStringLiteral("24db-Bessel"));
    QVERIFY(CrossoverTypeText(9).isEmpty());
    QCOMPARE(EqBandTypeText(1), QStringLiteral("LS"));
    QCOMPARE(LimiterThresholdText(7), QStringLiteral("-12dBu"));
    QCOMPARE(LimiterThresholdText(19), QStringLiteral("0dBu"));
    QCOMPARE(LimiterAttackText(0), QStringLiteral("0.5 ms"));
    QCOMPARE(LimiterReleaseText(6), QStringLiteral("5000ms"));
    QCOMPARE(ProtectTemperatureText(0), QStringLiteral(">=70 °C"));
    QCOMPARE(ProtectTemperatureText(1), QStringLiteral("68 °C"));
    QCOMPARE(ProtectTemperatureText(29), QStringLiteral("12 °C"));
    QCOMPARE(ProtectTemperatureText(30), QStringLiteral("<=10 °C"));
}

void TestScales::delayReadouts() {
    QCOMPARE(DelayMsText(412), QStringLiteral("8.652 ms"));
    QCOMPARE(DelayMetreText(412), QStringLiteral("2.980 m"));
    QCOMPARE(DelayFeetText(412), QStringLiteral("9.777 ft"));
    QCOMPARE(DelayMsText(0), QStringLiteral("0.000 ms"));
    QCOMPARE(DelayMetreText(0), QStringLiteral("0.000 m"));
    QCOMPARE(DelayMsText(1), QStringLiteral("0.021 ms"));
}

void TestScales::mainLevelTexts() {
    QCOMPARE(MainLevelText(0), QStringLiteral("Mute"));
    QCOMPARE(MainLevelText(301), QStringLiteral("0.0 dB"));
    QCOMPARE(MainLevelText(1), QStringLiteral("-60.0 dB"));
    // Master fader positions: 301 - level.
    QCOMPARE(MasterFaderText(0), QStringLiteral("0.0 dB"));
    QCOMPARE(MasterFaderText(301), QStringLiteral("Mute"));
    QCOMPARE(MasterFaderText(150), QStringLiteral("-30.0 dB"));
    QCOMPARE(MasterFaderText(300), QStringLiteral("-60.0 dB"));
}

void TestScales::temperature_data() {
    QTest::addColumn<int>("raw");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("label");
    QTest::newRow("1131") << 1131 << 0 << ">=70";
    QTest::newRow("2906 near 2915") << 2906 << 17 << "    36";
    QTest::newRow("5118") << 5118 << 30 << "<=10";
    QTest::newRow("0x13FE limited") << 0x13FE << 30 << "<=10";
    QTest::newRow("6000 limited") << 6000 << 30 << "<=10";
    QTest::newRow("1000 below") << 1000 << 0 << ">=70";
    // Exactly halfway between 2004 (index 10) and 2110 (index 11): the warmer, lower index.
    QTest::newRow("midpoint") << 2057 << 10 << "    50";
    QTest::newRow("just past midpoint") << 2058 << 11 << "    48";
}

void TestScales::temperature() {
    QFETCH(int, raw);
    QFETCH(int, index);
    QFETCH(QString, label);
    QCOMPARE(TemperatureIndex(raw), index);
    QCOMPARE(TemperatureLabel(TemperatureIndex(raw)), label);
}

void TestScales::graphPixelConversions() {
    const GraphGeometry g;
    QCOMPARE(g.leftInset(), 60);
    QCOMPARE(g.rightInset(), 33);
    QCOMPARE(g.span(), 581);
    QCOMPARE(g.frequencyToX(19.7), 99);
    QCOMPARE(g.frequencyToX(20), 101);
    QCOMPARE(g.frequencyToX(1000), 430);
    QCOMPARE(g.frequencyToX(20000), 682);
    QCOMPARE(g.frequencyToX(21900), 689);
    QCOMPARE(g.gainToY(12), 30);
    QCOMPARE(g.gainToY(0), 86);
    QCOMPARE(g.gainToY(-24), 198);
    QCOMPARE(g.gainToY(-30), 227);
    QCOMPARE(g.xToFrequencyIndex(97), 0);
    QCOMPARE(g.xToFrequencyIndex(689), 243);
    QCOMPARE(g.yToEqGainIndex(32), 180);
    QCOMPARE(g.yToEqGainIndex(198), 0);
    QCOMPARE(g.lastColumn(), 713);
    QVERIFY(qAbs(g.columnFrequency(101) - 20.0) < 1e-9);
}

void TestScales::faderConversions() {
    QCOMPARE(LevelToFaderY(5.0) - 5, 21);
    QCOMPARE(LevelToFaderY(0.0) - 5, 56);
    QCOMPARE(LevelToFaderY(-20.0) - 5, 200);
    QCOMPARE(FaderYToLevel(26), 5.0);
    QCOMPARE(FaderYToLevel(62), 0.0);
    QCOMPARE(FaderYToLevel(205), -20.0);
    // Every fader row lands on an entry of the output gain table.
    for (int y = 26; y <= 205; ++y) {
        const double level = FaderYToLevel(y);
        QCOMPARE(OutputGainTable[NearestOutputGainIndex(level)], level);
    }
}

void TestScales::hexConversions() {
    QCOMPARE(HexWord(0x1234), QStringLiteral("1234"));
    QCOMPARE(HexWord(301), QStringLiteral("012D"));
    QCOMPARE(HexWord(0xABCD), QStringLiteral("ABCD"));
    QCOMPARE(HexToInt(QByteArrayView("FF")), 255);
    QCOMPARE(HexToInt(QByteArrayView("0a")), 10);
    QCOMPARE(HexToInt(QByteArrayView("13FE")), 0x13FE);
    QCOMPARE(HexToInt(QByteArrayView("G1")), 0);
    QCOMPARE(HexToInt(QByteArrayView("")), 0);
    QVERIFY(IsHexText("A5a5"));
    QVERIFY(!IsHexText("A5A"));
    QVERIFY(!IsHexText("A5 5"));
    QVERIFY(!IsHexText(""));
    QCOMPARE(ToHexText(QByteArray("\x0a\xff", 2)), QByteArray("0AFF"));
}

QTEST_GUILESS_MAIN(TestScales)
#include "test_scales.moc"
