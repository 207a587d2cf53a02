// quellaton-cli's EQ text commands: import-eq into a .sps file and into a unit (only the blocks
// that change are sent), export-eq from both, and the exit status of files it cannot use.
#include "block_writes.h"
#include "cli_process.h"

#include "files/eq_fit.h"
#include "files/eq_text.h"
#include "files/preset_document.h"
#include "files/preset_file_format.h"
#include "protocol/frames.h"

#include "test_files.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace quellaton;

namespace {

const QByteArray Filters = "Preamp: -4.5 dB\n"
                           "Filter 1: ON PK Fc 63 Hz Gain -6.0 dB Q 4.0\n"
                           "Filter 2: ON LSC Fc 120 Hz Gain 3.0 dB Q 0.7\n"
                           "Filter 3: ON PK Fc 2500 Hz Gain 2.2 dB BW Oct 1\n"
                           "Filter 4: ON HP Fc 45 Hz\n";

ParameterImage SampleImage() {
    ParameterImage image;
    for (EqBand& band : image.bands) {
        band = EqBand{150, 0, 140, 100, 12};
    }
    image.gainIndex = {180, 170, 160};
    image.highPassIndex = {20, 20, 20, 20};
    return image;
}

QString WritePreset(const QTemporaryDir& dir, const QString& name, const ParameterImage& image) {
    const QString path = dir.filePath(name);
    WritePresetContent(
        path,
        DeviceFrame(0, ReadReply, 0, ParameterImageBlock, 0, image.Encode()).toHex().toUpper() +
            "\r\n");
    return path;
}

ParameterImage ImageOfPayload(const QByteArray& payload) {
    return DecodeImageText(QByteArray(20, '0') + payload.toHex().toUpper());
}

} // namespace

class TestCliEq : public QObject {
    Q_OBJECT
private slots:
    void importIntoFileAndExportBack();
    void unusableFileExits3AndWritesNothing_data();
    void unusableFileExits3AndWritesNothing();
    void badUsageExits2_data();
    void badUsageExits2();
    void importIntoUnitSendsOnlyTheChangedBlocks();
};

void TestCliEq::importIntoFileAndExportBack() {
    QTemporaryDir dir;
    const QString eq = dir.filePath("room.txt");
    QVERIFY(WriteAll(eq, Filters));
    const QString in = WritePreset(dir, "in.sps", SampleImage());
    const QString out = dir.filePath("out.sps");
    const CliRun run = RunCli({"import-eq", eq, "--way", "Mid", "--into", in, "-o", out});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.startsWith("Mid section, from an Equalizer APO or AutoEq text\nLINE"));
    QVERIFY(run.out.contains("\n      Section"));
    const std::optional<OpenedPreset> written = OpenSinglePreset(out);
    QVERIFY(written.has_value());
    const EqFitReport expected = FitEqText(ParseEqText(Filters), SampleImage(), Mid, false);
    QVERIFY(written->image == expected.image);
    QCOMPARE(ReadAll(in).size(), ReadAll(out).size());

    // Exported again and imported into another set, the section comes back the same.
    const QString text = dir.filePath("mid.txt");
    QCOMPARE(RunCli({"export-eq", "--way", "mid", out, "-o", text}).exitCode, 0);
    const CliRun printed = RunCli({"export-eq", "--way", "mid", out});
    QCOMPARE(printed.exitCode, 0);
    QCOMPARE(printed.out, ReadAll(text));
    QVERIFY(printed.out.startsWith("# EQ filters of the Mid section, written by quellaton-cli "));
    const EqFitReport back = FitEqText(ParseEqText(ReadAll(text)), ParameterImage{}, Mid, false);
    for (int band = 0; band < BandsPerSection; ++band) {
        const EqBand& a = back.image.bands[std::size_t(BandIndex(Mid, band))];
        const EqBand& b = expected.image.bands[std::size_t(BandIndex(Mid, band))];
        QCOMPARE(a.frequencyIndex, b.frequencyIndex);
        QCOMPARE(a.activeGain(), b.activeGain());
        QCOMPARE(a.qIndex, b.qIndex);
        QCOMPARE(a.type, b.type);
    }
    QCOMPARE(back.image.highPassIndex[Mid], expected.image.highPassIndex[Mid]);
    QCOMPARE(back.image.gainIndex[Mid], expected.image.gainIndex[Mid]);

    const CliRun json =
        RunCli({"--json", "import-eq", eq, "--way", "low", "--into", in, "-o", out});
    QCOMPARE(json.exitCode, 0);
    const QJsonObject report = json.json().object();
    QCOMPARE(report.value("section").toString(), QStringLiteral("Low"));
    QCOMPARE(report.value("applied").toBool(), true);
    QCOMPARE(report.value("filters").toArray().size(), 5);
}

void TestCliEq::unusableFileExits3AndWritesNothing_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QString>("error");
    QTest::newRow("decimal comma")
        << QByteArray("Filter 1: ON PK Fc 63 Hz Gain -6 dB Q 4\nFilter 2: ON PK Fc 100 Hz "
                      "Gain 1,5 dB Q 1\n")
        << QStringList() << "line 2: \"1,5\" has a decimal comma";
    QTest::newRow("seven filters")
        << QByteArray("Filter: ON PK Fc 100 Hz Gain 1 dB Q 1\n").repeated(7) << QStringList()
        << "7 filters; a section has 6 bands";
    QTest::newRow("empty") << QByteArray() << QStringList() << "no Filter or Preamp line";
    QTest::newRow("junk") << QByteArray("\x7f\x45\x4c\x46\x02\x01\x01\0\0\0", 10) << QStringList()
                          << "not a text file";
    QTest::newRow("seven filters, --fit")
        << QByteArray("Filter: ON PK Fc 100 Hz Gain 1 dB Q 1\n").repeated(7) << QStringList{"--fit"}
        << QString();
}

void TestCliEq::unusableFileExits3AndWritesNothing() {
    QFETCH(QByteArray, content);
    QFETCH(QStringList, extra);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString eq = dir.filePath("bad.txt");
    QVERIFY(WriteAll(eq, content));
    const QString out = dir.filePath("out.sps");
    const QString in = WritePreset(dir, "in.sps", SampleImage());
    const CliRun run =
        RunCli(QStringList{"import-eq", eq, "--way", "high", "--into", in, "-o", out} + extra);
    if (error.isEmpty()) {
        QCOMPARE(run.exitCode, 0);
        QVERIFY(QFileInfo::exists(out));
        QVERIFY(run.out.contains("dropped: the six filters with the largest gain are kept"));
        return;
    }
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.err.startsWith("quellaton-cli: " + eq.toUtf8() + ": " + error.toUtf8()),
             run.err.constData());
    QVERIFY(run.out.isEmpty());
    QVERIFY(!QFileInfo::exists(out));
}

void TestCliEq::badUsageExits2_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no way") << QStringList{"import-eq", "a.txt", "--into", "a.sps", "-o", "b.sps"};
    QTest::newRow("unknown way") << QStringList{"import-eq", "a.txt", "--way", "sub",
                                                "--into",    "a.sps", "-o",    "b.sps"};
    QTest::newRow("file and unit")
        << QStringList{"import-eq", "a.txt",  "--way",     "high", "--into",
                       "a.sps",     "--port", "/dev/null", "--id", "1"};
    QTest::newRow("neither") << QStringList{"import-eq", "a.txt", "--way", "high"};
    QTest::newRow("into without -o")
        << QStringList{"import-eq", "a.txt", "--way", "high", "--into", "a.sps"};
    QTest::newRow("export, file and unit")
        << QStringList{"export-eq", "--way", "low", "a.sps", "--port", "/dev/null", "--id", "1"};
    QTest::newRow("export, nothing") << QStringList{"export-eq", "--way", "low"};
}

void TestCliEq::badUsageExits2() {
    QFETCH(QStringList, args);
    const CliRun run = RunCli(args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.err.startsWith("quellaton-cli: "));
}

void TestCliEq::importIntoUnitSendsOnlyTheChangedBlocks() {
    SimProcess sim(QStringLiteral("1"));
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString eq = dir.filePath("room.txt");
    QVERIFY(WriteAll(eq, Filters));
    const QByteArray before = sim.unitImage(1);
    QCOMPARE(before.size(), ImagePayloadSize);
    const ParameterImage start = ImageOfPayload(before);
    const EqFitReport expected = FitEqText(ParseEqText(Filters), start, High, false);
    const QList<QByteArray> changed = DifferingBlocks(start, expected.image);
    QVERIFY(changed.size() >= 3);

    const CliRun run =
        RunCli({"import-eq", eq, "--way", "high", "--port", sim.link(), "--id", "1"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.startsWith("High section"));
    QCOMPARE(ReceivedBlockWrites(sim), changed);
    const QByteArray after = sim.unitImage(1);
    for (int slot = 1; slot <= BlockSlotCount; ++slot) {
        const SlotBlock b = BlockOfSlot(slot);
        if (IsChannelBlock(b.block, b.group)) {
            QCOMPARE(after.mid(BlockOffset(b.block, b.group), 8),
                     BlockPayload(expected.image, b.block, b.group));
        }
    }

    // The unit's section, exported, is the section as set.
    const CliRun exported =
        RunCli({"export-eq", "--way", "high", "--port", sim.link(), "--id", "1"});
    QCOMPARE(exported.exitCode, 0);
    QVERIFY(exported.out.contains("# Source: unit ID 1 on " + sim.link().toUtf8()));
    const EqFitReport back = FitEqText(ParseEqText(exported.out), start, High, false);
    QVERIFY(back.image == expected.image);

    // A file it cannot use sends nothing; a unit that does not answer is status 1.
    sim.clearLog();
    QVERIFY(WriteAll(eq, "Filter 1: ON PK Fc 1,5 Hz Gain 1 dB Q 1\n"));
    QCOMPARE(RunCli({"import-eq", eq, "--way", "high", "--port", sim.link(), "--id", "1"}).exitCode,
             3);
    QVERIFY(sim.frames().isEmpty());
    QVERIFY(WriteAll(eq, Filters));
    const CliRun silent =
        RunCli({"import-eq", eq, "--way", "high", "--port", sim.link(), "--id", "9"});
    QCOMPARE(silent.exitCode, 1);
    QVERIFY(ReceivedBlockWrites(sim).isEmpty());
}

QTEST_GUILESS_MAIN(TestCliEq)
#include "test_cli_eq.moc"
