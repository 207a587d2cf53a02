// Measurement and target files: what is read, how a curve is read between its points, and the
// message each kind of bad file gives.
#include "files/measurement_file.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include <sys/stat.h>

using namespace quellaton;

class TestMeasurementFile : public QObject {
    Q_OBJECT
private slots:
    void readsMeasurements_data();
    void readsMeasurements();
    void targetCountsOnlyLinesBeginningWithANumber();
    void interpolatesInDbAndUnwrappedPhaseOverLogFrequency();
    void nothingOutsideTheRange();
    void badFilesNameTheLine_data();
    void badFilesNameTheLine();
    void filesThatAreNotRegularAreRefused();
    void measurementsShareOneReference();
};

void TestMeasurementFile::readsMeasurements_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("points");
    QTest::addColumn<bool>("hasPhase");
    QTest::addColumn<double>("lastLevel");
    QTest::newRow("REW export") << QByteArray("* Measurement data measured by REW V5.20\n"
                                              "* Source: Umik-1, 1 kHz\n"
                                              "* Freq(Hz) SPL(dB) Phase(degrees)\n"
                                              "20.000 78.125 -12.5\n"
                                              "20.500 78.250 -14.0\r\n"
                                              "21.000 78.500 -15.5\n")
                                << 3 << true << 78.5;
    QTest::newRow("FRD with tabs")
        << QByteArray("10\t80.1\t170\n20\t81.2\t-175\n") << 2 << true << 81.2;
    QTest::newRow("commas") << QByteArray("100,90,0\n200, 91.5, -10\n400 ,92, 5.5\n") << 3 << true
                            << 92.0;
    QTest::newRow("no phase") << QByteArray("# level only\n100 90\n1e3 85\n\n") << 2 << false
                              << 85.0;
    QTest::newRow("byte order mark")
        << QByteArray("\xEF\xBB\xBF* comment\n100 1 0\n200 2 0\n") << 2 << true << 2.0;
}

void TestMeasurementFile::readsMeasurements() {
    QFETCH(QByteArray, content);
    QFETCH(int, points);
    QFETCH(bool, hasPhase);
    QFETCH(double, lastLevel);
    const CurveFile file = ReadMeasurementText(content);
    QVERIFY2(file.curve, qPrintable(file.error));
    QCOMPARE(int(file.curve->points().size()), points);
    QCOMPARE(file.curve->hasPhase(), hasPhase);
    QCOMPARE(file.curve->points().back().levelDb, lastLevel);
}

void TestMeasurementFile::targetCountsOnlyLinesBeginningWithANumber() {
    const CurveFile file = ReadTargetText("House curve, Harman-like\n"
                                          "Freq dB\n"
                                          "20 6\n"
                                          "  200, 1.5\n"
                                          "-- a note --\n"
                                          ".5e4 -1\n"
                                          "20000 -3\n");
    QVERIFY2(file.curve, qPrintable(file.error));
    const auto& p = file.curve->points();
    QCOMPARE(int(p.size()), 4);
    QCOMPARE(p[1].frequency, 200.0);
    QCOMPARE(p[2].frequency, 5000.0);
    QCOMPARE(p[3].levelDb, -3.0);
    QVERIFY(!file.curve->hasPhase());
}

void TestMeasurementFile::interpolatesInDbAndUnwrappedPhaseOverLogFrequency() {
    const MeasuredCurve curve({{100.0, 0.0, 170.0}, {1000.0, 10.0, -170.0}, {10000.0, 20.0, 0.0}},
                              true);
    // Halfway on the log scale: 5 dB; the phase went on from 170 to 190, not back to -170.
    const auto middle = curve.at(std::sqrt(100.0 * 1000.0));
    QVERIFY(middle);
    QVERIFY(std::abs(middle->levelDb - 5.0) < 1e-9);
    QVERIFY(std::abs(middle->phaseDeg - 180.0) < 1e-9);
    // Exactly on a point, and a quarter of the way on the second stretch.
    QCOMPARE(curve.at(1000.0)->phaseDeg, 190.0);
    const auto quarter = curve.at(1000.0 * std::pow(10.0, 0.25));
    QVERIFY(std::abs(quarter->levelDb - 12.5) < 1e-9);
    // From 190 the next point, 0, is 360 on: a step of +170.
    QVERIFY(std::abs(quarter->phaseDeg - (190.0 + 0.25 * 170.0)) < 1e-9);
    const std::complex<double> factor = curve.factorAt(std::sqrt(100.0 * 1000.0));
    QVERIFY(std::abs(factor - std::polar(std::pow(10.0, 0.25), M_PI)) < 1e-12);
}

void TestMeasurementFile::nothingOutsideTheRange() {
    const MeasuredCurve curve({{100.0, 0.0, 0.0}, {1000.0, 10.0, 0.0}}, true);
    QVERIFY(!curve.at(99.999));
    QVERIFY(!curve.at(1000.001));
    QVERIFY(curve.at(100.0));
    QVERIFY(std::isnan(curve.factorAt(50.0).real()));
}

void TestMeasurementFile::badFilesNameTheLine_data() {
    QTest::addColumn<bool>("target");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("decimal comma") << false << QByteArray("* REW\n20 80 0\n20,5 80,3 -1,5\n")
                                   << "line 3: \"20,5\" has a decimal comma";
    QTest::newRow("decimal comma with semicolons")
        << false << QByteArray("20;80,5;0\n") << "line 1: \"20;80,5;0\" has a decimal comma";
    QTest::newRow("decimal comma in a target")
        << true << QByteArray("20 1\n100\t0,5\n") << "line 2: \"0,5\" has a decimal comma";
    QTest::newRow("comma-separated decimal commas")
        << false << QByteArray("20,5,80,3,1,5\n") << "line 1: 6 values";
    QTest::newRow("descending") << false << QByteArray("100 1 0\n\n200 2 0\n150 3 0\n")
                                << "line 4: the frequency 150 Hz is not above the 200 Hz of line 3";
    QTest::newRow("repeated frequency")
        << true << QByteArray("100 1\n100 2\n") << "line 2: the frequency 100 Hz is not above";
    QTest::newRow("one point") << false << QByteArray("* only\n1000 85 0\n")
                               << "fewer than 2 points (1 found)";
    QTest::newRow("empty") << false << QByteArray() << "fewer than 2 points (0 found)";
    QTest::newRow("target without numbers")
        << true << QByteArray("no numbers here\n") << "fewer than 2 points (0 found)";
    QTest::newRow("header without comment mark")
        << false << QByteArray("Freq SPL Phase\n100 1 0\n") << "line 1: \"Freq\" is not a number";
    QTest::newRow("junk in a number")
        << false << QByteArray("100 1 0\n200 2x 0\n") << "line 2: \"2x\" is not a number";
    QTest::newRow("junk after a target number")
        << true << QByteArray("100 1\n200 abc\n") << "line 2: \"abc\" is not a number";
    QTest::newRow("not a number") << false << QByteArray("100 nan 0\n200 1 0\n")
                                  << "line 1: \"nan\" is not a number";
    QTest::newRow("infinite") << false << QByteArray("100 1 0\n1e999 1 0\n")
                              << "line 2: \"1e999\" is not a number";
    QTest::newRow("binary") << false << QByteArray("\x00\x01\xff\xfe garbage\n", 13)
                            << "line 1: \"????\" is not a number";
    QTest::newRow("four columns") << false << QByteArray("100 1 0 7\n")
                                  << "line 1: 4 values where frequency, level and phase";
    QTest::newRow("three columns in a target")
        << true << QByteArray("100 1 0\n") << "line 1: 3 values where a frequency and a level";
    QTest::newRow("columns change") << false << QByteArray("100 1 0\n200 2\n")
                                    << "line 2: 2 values where the lines before have 3";
    QTest::newRow("zero frequency")
        << false << QByteArray("0 1 0\n100 1 0\n") << "line 1: the frequency 0 Hz is not above 0";
    QTest::newRow("semicolons") << false << QByteArray("100;1;0\n")
                                << "line 1: \"100;1;0\": fields are separated by blanks";
    QTest::newRow("empty field") << false << QByteArray("100,,1\n")
                                 << "line 1: \"100,,1\" has an empty field";
}

void TestMeasurementFile::badFilesNameTheLine() {
    QFETCH(bool, target);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const CurveFile file = target ? ReadTargetText(content) : ReadMeasurementText(content);
    QVERIFY(!file.curve);
    QVERIFY2(file.error.startsWith(message), qPrintable(file.error));
}

void TestMeasurementFile::filesThatAreNotRegularAreRefused() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString fifo = dir.filePath("pipe.txt");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    // A named pipe nobody writes to must not keep the read waiting.
    QCOMPARE(LoadMeasurementFile(fifo).error, QStringLiteral("not a readable file"));
    QCOMPARE(LoadTargetFile(dir.path()).error, QStringLiteral("not a readable file"));
    QCOMPARE(LoadTargetFile(dir.filePath("none.txt")).error, QStringLiteral("no such file"));
    QFile big(dir.filePath("big.txt"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(CurveFileSizeLimit + 1));
    big.close();
    QVERIFY(LoadMeasurementFile(big.fileName()).error.startsWith("larger than"));
    QFile good(dir.filePath("good.frd"));
    QVERIFY(good.open(QIODevice::WriteOnly));
    good.write("20 1 0\n20000 1 0\n");
    good.close();
    QVERIFY(LoadMeasurementFile(good.fileName()).curve);
}

void TestMeasurementFile::measurementsShareOneReference() {
    // Each driver's level is the median of its levels within 10 dB of its loudest: its roll-offs
    // and a peak barely move it. The loudest driver sets the reference for all.
    MeasuredCurve woofer({{20.0, 70.0, 0.0},
                          {50.0, 84.0, 0.0},
                          {100.0, 85.0, 0.0},
                          {1000.0, 86.0, 0.0},
                          {5000.0, 50.0, 0.0}},
                         true);
    MeasuredCurve tweeter({{500.0, 60.0, 0.0},
                           {1000.0, 79.0, 0.0},
                           {2000.0, 80.0, 0.0},
                           {5000.0, 81.0, 0.0},
                           {20000.0, 90.0, 0.0}},
                          true);
    QCOMPARE(woofer.passBandLevelDb(), 85.0);
    QCOMPARE(tweeter.passBandLevelDb(), 81.0);
    QCOMPARE(NormaliseMeasurements({&woofer, &tweeter, nullptr}), 85.0);
    QCOMPARE(woofer.points()[2].levelDb, 0.0);
    QCOMPARE(tweeter.points()[3].levelDb, -4.0);
    QCOMPARE(NormaliseMeasurements({nullptr}), 0.0);
}

QTEST_GUILESS_MAIN(TestMeasurementFile)
#include "test_measurement_file.moc"
