// quellaton-cli response: the predicted response of a preset file or a unit, against the
// graph's own rows, with measurements, and its errors.
#include "cli_process.h"
#include "sim_process.h"

#include "dsp/response.h"
#include "dsp/scales.h"
#include "files/preset_document.h"
#include "protocol/parameter_image.h"

#include "test_files.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace quellaton;

namespace {

// Mid with a 24 dB Linkwitz-Riley high-pass at 500 Hz and an 18 dB Bessel low-pass at 3 kHz,
// High and Low with their own crossovers, gains and Main at 0 dB.
ParameterImage Crossed() {
    ParameterImage image;
    image.masterLevel = MainLevelTop;
    image.gainIndex = {OutputGainZeroIndex, OutputGainZeroIndex, OutputGainZeroIndex};
    image.highPassIndex[Mid] = NearestFrequencyIndex(500.0);
    image.highPassType[Mid] = 7;
    image.lowPassIndex[Mid] = NearestFrequencyIndex(3000.0);
    image.lowPassType[Mid] = 5;
    image.lowPassIndex[Low] = NearestFrequencyIndex(500.0);
    image.lowPassType[Low] = 7;
    image.highPassIndex[High] = NearestFrequencyIndex(3000.0);
    image.highPassType[High] = 5;
    return image;
}

QString WriteImage(const QTemporaryDir& dir, const ParameterImage& image) {
    const QString path = dir.filePath("crossed.sps");
    return WriteAll(path, SinglePresetContent(image, nullptr, 0)) ? path : QString();
}

} // namespace

class TestCliResponse : public QObject {
    Q_OBJECT
private slots:
    void sectionAgreesWithGraphRows();
    void sumWithMeasurementsAndFormats();
    void unitWorkingSetAsItsFile();
    void badInput_data();
    void badInput();
};

void TestCliResponse::sectionAgreesWithGraphRows() {
    QTemporaryDir dir;
    const ParameterImage image = Crossed();
    const QString path = WriteImage(dir, image);
    QVERIFY(!path.isEmpty());
    const CliRun run = RunCli({"response", path, "--section", "mid", "--json"});
    QCOMPARE(run.exitCode, 0);
    const QJsonObject doc = run.json().object();
    QCOMPARE(doc.value("section").toString(), QStringLiteral("mid"));
    const QJsonArray points = doc.value("points").toArray();
    QCOMPARE(points.size(), 240);
    const FilterCascade highPass =
        HighPassSections(HighPassCorner(image.highPassIndex[Mid]), image.highPassType[Mid]);
    const FilterCascade lowPass =
        LowPassSections(LowPassCorner(image.lowPassIndex[Mid]), image.lowPassType[Mid]);
    for (int k = 0; k < points.size(); ++k) {
        const QJsonObject p = points[k].toObject();
        const double f = p.value("frequency").toDouble();
        QCOMPARE(f, 20.0 * std::exp2(k / 24.0));
        // The graph's rows, 40 ln(m) / ln(101), as 20 log10(m).
        const double w = StandardAngularFrequency(f);
        const double graph = (CascadeLevel(highPass, w) + CascadeLevel(lowPass, w)) *
                             std::log(101.0) / (2.0 * std::log(10.0));
        QVERIFY2(std::abs(p.value("level").toDouble() - graph) <= 0.01,
                 qPrintable(QStringLiteral("%1 Hz: %2 against %3")
                                .arg(f)
                                .arg(p.value("level").toDouble())
                                .arg(graph)));
        QVERIFY(std::abs(p.value("phase").toDouble()) <= 180.0);
    }
}

void TestCliResponse::sumWithMeasurementsAndFormats() {
    QTemporaryDir dir;
    const QString path = WriteImage(dir, Crossed());
    const CliRun table = RunCli({"response", path});
    QCOMPARE(table.exitCode, 0);
    const QList<QByteArray> lines = table.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 241);
    QVERIFY(lines[0].startsWith("FREQUENCY_HZ"));
    QVERIFY(lines[1].startsWith("20.000 "));
    QVERIFY(table.err.contains("the bass enhancer and the limiter are not modelled"));

    // A flat measurement at any level changes nothing: levels are taken relative to it.
    const QString flat = dir.filePath("flat.frd");
    QVERIFY(WriteAll(flat, "10 91.5 0\n30000 91.5 0\n"));
    const CliRun measured = RunCli({"response", path, "--measurement", "high=" + flat});
    QCOMPARE(measured.exitCode, 0);
    QCOMPARE(measured.out, table.out);
    QVERIFY(measured.err.contains("relative to 91.5 dB"));

    // A measurement that covers part of the range: no value outside it.
    const QString part = dir.filePath("part.txt");
    QVERIFY(WriteAll(part, "* REW\n100 80 0\n10000 80 -90\n"));
    const CliRun csv = RunCli({"response", path, "--measurement", "LOW=" + part, "--csv", "--from",
                               "50", "--to", "200", "--points-per-octave", "1"});
    QCOMPARE(csv.exitCode, 0);
    const QList<QByteArray> rows = csv.out.trimmed().split('\n');
    QCOMPARE(rows.size(), 4); // header, 50, 100, 200 Hz
    QCOMPARE(rows[0], QByteArray("frequency_hz,level_db,phase_deg"));
    QCOMPARE(rows[1], QByteArray("50.000,,"));
    QVERIFY(rows[2].startsWith("100.000,") && !rows[2].endsWith(","));
    QVERIFY(rows[3].startsWith("200.000,") && !rows[3].endsWith(","));
}

void TestCliResponse::unitWorkingSetAsItsFile() {
    SimProcess sim(QStringLiteral("2"));
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString path = dir.filePath("unit.sps");
    QCOMPARE(RunCli({"read", "--port", sim.link(), "--id", "2", "-o", path}).exitCode, 0);
    const CliRun fromUnit =
        RunCli({"response", "--port", sim.link(), "--id", "2", "--section", "low", "--csv"});
    QCOMPARE(fromUnit.exitCode, 0);
    const CliRun fromFile = RunCli({"response", path, "--section", "low", "--csv"});
    QCOMPARE(fromUnit.out, fromFile.out);
    QCOMPARE(RunCli({"response", "--port", sim.link(), "--id", "9"}).exitCode, 1);
}

void TestCliResponse::badInput_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("measurement"); // written to m.txt first when not empty
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QStringList file{"response", "FILE"};
    QTest::newRow("decimal comma") << file + QStringList{"--measurement", "mid=M"}
                                   << QByteArray("* x\n100 80 0\n200 80,5 0,5\n") << 3
                                   << "m.txt: line 3: \"80,5\" has a decimal comma";
    QTest::newRow("one point") << file + QStringList{"--measurement", "mid=M"}
                               << QByteArray("100 80 0\n") << 3
                               << "m.txt: fewer than 2 points (1 found)";
    QTest::newRow("missing measurement") << file + QStringList{"--measurement", "mid=/nonexistent"}
                                         << QByteArray() << 3 << "/nonexistent: no such file";
    QTest::newRow("measurement for main")
        << file + QStringList{"--measurement", "main=M"} << QByteArray("100 1\n200 1\n") << 2
        << "--measurement takes WAY=FILE";
    QTest::newRow("two for one way")
        << file + QStringList{"--measurement", "mid=M", "--measurement", "mid=M"}
        << QByteArray("100 1\n200 1\n") << 2 << "more than one measurement for mid";
    QTest::newRow("unknown section") << file + QStringList{"--section", "tweeter"} << QByteArray()
                                     << 2 << "--section must be high, mid, low, main or sum";
    QTest::newRow("zero from") << file + QStringList{"--from", "0"} << QByteArray() << 2
                               << "--from must be a frequency above 0 Hz";
    QTest::newRow("beyond the model")
        << file + QStringList{"--to", "50000"} << QByteArray() << 2 << "the frequencies must rise";
    QTest::newRow("falling") << file + QStringList{"--from", "500", "--to", "100"} << QByteArray()
                             << 2 << "the frequencies must rise";
    QTest::newRow("points") << file + QStringList{"--points-per-octave", "x"} << QByteArray() << 2
                            << "--points-per-octave must be 1..1000";
    QTest::newRow("csv and json") << file + QStringList{"--csv", "--json"} << QByteArray() << 2
                                  << "--csv and --json do not go together";
    QTest::newRow("nothing to show")
        << QStringList{"response"} << QByteArray() << 2 << "give a FILE.sps, or --port and --id";
    QTest::newRow("file and unit") << file + QStringList{"--port", "/dev/null", "--id", "1"}
                                   << QByteArray() << 2 << "give a FILE.sps, or --port and --id";
    QTest::newRow("damaged preset")
        << QStringList{"response", "M"} << QByteArray("not a preset") << 3 << "File damaged.";
}

void TestCliResponse::badInput() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, measurement);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString preset = WriteImage(dir, Crossed());
    const QString m = dir.filePath("m.txt");
    if (!measurement.isEmpty()) {
        QVERIFY(WriteAll(m, measurement));
    }
    for (QString& a : args) {
        a.replace(QStringLiteral("FILE"), preset);
        a.replace(QStringLiteral("=M"), QStringLiteral("=") + m);
        if (a == QLatin1String("M")) {
            a = m;
        }
    }
    const CliRun run = RunCli(args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QVERIFY(run.out.isEmpty());
}

QTEST_GUILESS_MAIN(TestCliResponse)
#include "test_cli_response.moc"
