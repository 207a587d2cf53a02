// quellaton-cli against simulated units, as an installer's script runs it: transfers that
// round-trip, scans of several lines, ID changes, broadcasts, and the failures with their
// exit status and message.
#include "cli_process.h"
#include "sim_process.h"

#include "files/preset_file_format.h"
#include "protocol/frame_reader.h"

#include "test_files.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace quellaton;

namespace {

QByteArray Payload(const QByteArray& line) {
    return QByteArray::fromHex(line.mid(20, 640));
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void workingSetRoundTrips();
    void presetSlotsRoundTrip();
    void scanFindsExactlyTheUnitsOfEachLine();
    void setIdChangesTheId();
    void broadcastReachesEveryUnit();
    void damagedFileExits3AndSendsNothing_data();
    void damagedFileExits3AndSendsNothing();
    void silentUnitExits1WithWhereItFailed_data();
    void silentUnitExits1WithWhereItFailed();
    void badUsageExits2_data();
    void badUsageExits2();
    void namesAndRecall();
    void portWithoutPermissionSaysWhy();
};

void TestCli::workingSetRoundTrips() {
    SimProcess sim(QStringLiteral("1,3"));
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString a = dir.filePath("unit1.sps");
    const QString b = dir.filePath("unit3.sps");
    const QString c = dir.filePath("again.sps");
    QCOMPARE(RunCli({"read", "--port", sim.link(), "--id", "1", "-o", a}).exitCode, 0);
    // The unit's reply as it came: one line of 664 digits and CR LF, as the window saves it.
    const QByteArray file = ReadAll(a);
    QCOMPARE(file.size(), 666);
    QVERIFY(file.endsWith("\r\n"));
    QVERIFY(ReplyIntact(file.left(664), 664));
    QCOMPARE(Payload(file), sim.unitImage(1));

    QVERIFY(sim.unitImage(3) != sim.unitImage(1));
    QCOMPARE(RunCli({"write", "--port", sim.link(), "--id", "3", a}).exitCode, 0);
    QCOMPARE(sim.unitImage(3), sim.unitImage(1));
    // Read back, written again and read again: the same bytes each time.
    QCOMPARE(RunCli({"read", "--port", sim.link(), "--id", "3", "-o", b}).exitCode, 0);
    QCOMPARE(Payload(ReadAll(b)), Payload(file));
    QCOMPARE(RunCli({"write", "--port", sim.link(), "--id", "3", b}).exitCode, 0);
    QCOMPARE(RunCli({"read", "--port", sim.link(), "--id", "3", "-o", c}).exitCode, 0);
    QCOMPARE(ReadAll(c), ReadAll(b));
    // The write used the window's frames: head, then the rest.
    QCOMPARE(sim.framesWith("A10028").size(), 2);
}

void TestCli::presetSlotsRoundTrip() {
    SimProcess sim(QStringLiteral("1,2"));
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString one = dir.filePath("one.fps");
    const QString two = dir.filePath("two.fps");
    QCOMPARE(RunCli({"backup", "--port", sim.link(), "--id", "1", "-o", one}).exitCode, 0);
    const QList<QByteArray> lines = SplitPresetLines(ReadAll(one));
    QCOMPARE(lines.size(), 20);
    for (int n = 1; n <= 20; ++n) {
        QCOMPARE(Payload(lines[n - 1]), sim.unitSlot(1, n));
    }
    QCOMPARE(RunCli({"restore", "--port", sim.link(), "--id", "2", one}).exitCode, 0);
    for (int n = 1; n <= 20; ++n) {
        QCOMPARE(sim.unitSlot(2, n), sim.unitSlot(1, n));
    }
    QCOMPARE(RunCli({"backup", "--port", sim.link(), "--id", "2", "-o", two}).exitCode, 0);
    const QList<QByteArray> back = SplitPresetLines(ReadAll(two));
    QCOMPARE(back.size(), 20);
    for (int n = 1; n <= 20; ++n) {
        QCOMPARE(Payload(back[n - 1]), Payload(lines[n - 1]));
    }
}

void TestCli::scanFindsExactlyTheUnitsOfEachLine() {
    SimProcess a(QStringLiteral("1,4"));
    SimProcess b(QStringLiteral("2"));
    SimProcess c(QStringLiteral("3,5,6"));
    QVERIFY(a.start() && b.start() && c.start());
    const CliRun run = RunCli({"--json", "scan", "--port", a.link(), "--port", b.link(), "--port",
                               c.link(), "--ids", "1-8"});
    QCOMPARE(run.exitCode, 0);
    const QJsonArray lines = run.json().object().value("lines").toArray();
    QCOMPARE(lines.size(), 3);
    QMap<QString, QList<int>> found;
    for (const QJsonValue& line : lines) {
        QList<int> ids;
        for (const QJsonValue& unit : line.toObject().value("units").toArray()) {
            ids.append(unit.toObject().value("id").toInt());
            QCOMPARE(unit.toObject().value("temperature").toString(), QStringLiteral("36"));
            QCOMPARE(unit.toObject().value("attenuation").toString(), QStringLiteral("3 dB"));
        }
        found[line.toObject().value("port").toString()] = ids;
    }
    QCOMPARE(found.value(a.link()), (QList<int>{1, 4}));
    QCOMPARE(found.value(b.link()), (QList<int>{2}));
    QCOMPARE(found.value(c.link()), (QList<int>{3, 5, 6}));
    // Every line got the probes of IDs 1..8, and nothing else.
    for (const SimProcess* sim : {&a, &b, &c}) {
        QCOMPARE(sim->framesWith("A2002B").size(), 8);
        QCOMPARE(sim->frames().size(), 8);
    }
}

void TestCli::setIdChangesTheId() {
    SimProcess sim(QStringLiteral("3"));
    QVERIFY(sim.start());
    const CliRun run = RunCli({"set-id", "--port", sim.link(), "--id", "3", "7"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("Device ID changed to 7\n"));
    QCOMPARE(sim.stateValue("unit 3 id"), QByteArray("7"));
    // The unit answers to its new ID only; its other system values were kept.
    QCOMPARE(RunCli({"status", "--port", sim.link(), "--id", "7"}).exitCode, 0);
    QCOMPARE(RunCli({"status", "--port", sim.link(), "--id", "3"}).exitCode, 1);
}

void TestCli::broadcastReachesEveryUnit() {
    SimProcess sim(QStringLiteral("1,2,3"));
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString path = dir.filePath("show.sps");
    QCOMPARE(RunCli({"read", "--port", sim.link(), "--id", "2", "-o", path}).exitCode, 0);
    const QByteArray image = sim.unitImage(2);
    QVERIFY(sim.unitImage(1) != image && sim.unitImage(3) != image);
    QCOMPARE(RunCli({"broadcast", "--port", sim.link(), path}).exitCode, 0);
    for (int id = 1; id <= 3; ++id) {
        QCOMPARE(sim.unitImage(id), image);
    }
    // The distribution of the window: two polls and the image twice, all to every unit.
    QCOMPARE(sim.framesWith("A2002B").size(), 2);
    QCOMPARE(sim.framesWith("A10028").size(), 2);
}

void TestCli::damagedFileExits3AndSendsNothing_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("content");
    const QByteArray digits(664, 'A');
    QTest::newRow("write, a digit short") << "write" << digits.left(663);
    QTest::newRow("write, not hexadecimal") << "write" << QByteArray(664, 'G');
    QTest::newRow("broadcast, empty") << "broadcast" << QByteArray();
    QTest::newRow("restore, 19 lines") << "restore" << (digits + "\r\n").repeated(19);
    QTest::newRow("restore, a line too long")
        << "restore" << (digits + "\r\n").repeated(19) + digits + "A\r\n";
}

void TestCli::damagedFileExits3AndSendsNothing() {
    QFETCH(QString, command);
    QFETCH(QByteArray, content);
    SimProcess sim(QStringLiteral("1"));
    QVERIFY(sim.start());
    QTemporaryDir dir;
    const QString path = dir.filePath(command == "restore" ? "bad.fps" : "bad.sps");
    QVERIFY(WriteAll(path, content));
    QStringList args{command, "--port", sim.link()};
    if (command != "broadcast") {
        args += {"--id", "1"};
    }
    args.append(path);
    const CliRun run = RunCli(args);
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(run.err, "quellaton-cli: File damaged.: " + path.toUtf8() + "\n");
    QTest::qWait(100);
    QVERIFY(sim.frames().isEmpty());
}

void TestCli::silentUnitExits1WithWhereItFailed_data() {
    QTest::addColumn<QStringList>("command");
    QTest::newRow("status") << QStringList{"status"};
    QTest::newRow("read") << QStringList{"read", "-o", "out.sps"};
    QTest::newRow("backup") << QStringList{"backup", "-o", "out.fps"};
    QTest::newRow("recall") << QStringList{"recall", "2"};
    QTest::newRow("set-id") << QStringList{"set-id", "9"};
}

void TestCli::silentUnitExits1WithWhereItFailed() {
    QFETCH(QStringList, command);
    SimProcess sim(QStringLiteral("1"));
    QVERIFY(sim.start());
    QTemporaryDir dir;
    QStringList args = command;
    args.insert(1, "--id");
    args.insert(2, "4");
    args.insert(1, "--port");
    args.insert(2, sim.link());
    for (QString& a : args) {
        if (a.startsWith("out.")) {
            a = dir.filePath(a);
        }
    }
    const CliRun run = RunCli(args, 60000);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, "quellaton-cli: no reply from ID 4 on " + sim.link().toUtf8() + "\n");
    // Nothing half-written is left.
    QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());

    // A port that is not there: the system's reason, exit 1 as well.
    const CliRun missing = RunCli({"status", "--port", dir.filePath("nothing"), "--id", "1"});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY2(
        missing.err.startsWith("quellaton-cli: cannot open " + dir.filePath("nothing").toUtf8()),
        missing.err.constData());
}

void TestCli::badUsageExits2_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"fly"};
    QTest::newRow("unknown option") << QStringList{"status", "--port", "x", "--id", "1", "--fast"};
    QTest::newRow("no id") << QStringList{"status", "--port", "x"};
    QTest::newRow("id 0") << QStringList{"status", "--port", "x", "--id", "0"};
    QTest::newRow("id 256") << QStringList{"status", "--port", "x", "--id", "256"};
    QTest::newRow("no port") << QStringList{"read", "--id", "1", "-o", "x.sps"};
    QTest::newRow("no output") << QStringList{"read", "--port", "x", "--id", "1"};
    QTest::newRow("file missing") << QStringList{"write", "--port", "x", "--id", "1"};
    QTest::newRow("recall slot 9") << QStringList{"recall", "--port", "x", "--id", "1", "9"};
    QTest::newRow("name slot 6") << QStringList{"name", "--port", "x", "--id", "1", "6", "A"};
    QTest::newRow("name too long")
        << QStringList{"name", "--port", "x", "--id", "1", "7", "twenty characters!!!"};
    QTest::newRow("ids reversed") << QStringList{"scan", "--ids", "9-2"};
    QTest::newRow("diff, port without id") << QStringList{"diff", "a.sps", "--port", "x"};
    QTest::newRow("venue, no subcommand") << QStringList{"venue", "list", "-o", "v.toml"};
    QTest::newRow("deploy, no venue file") << QStringList{"deploy", "/nonexistent/v.toml"};
    QTest::newRow("monitor, nothing to watch") << QStringList{"monitor"};
    QTest::newRow("monitor, interval 0")
        << QStringList{"monitor", "--port", "x", "--ids", "1-2", "--interval", "0"};
    QTest::newRow("monitor, temperature 90")
        << QStringList{"monitor", "--port", "x", "--ids", "1-2", "--max-temperature", "90"};
}

void TestCli::badUsageExits2() {
    QFETCH(QStringList, args);
    const CliRun run = RunCli(args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY(run.err.startsWith("quellaton-cli: "));
}

void TestCli::namesAndRecall() {
    SimProcess sim(QStringLiteral("2"));
    QVERIFY(sim.start());
    CliRun run = RunCli({"name", "--port", sim.link(), "--id", "2", "8", "  Hall B "});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray("Successfully saved.\n"));
    QCOMPARE(sim.unitName(2, 8), QByteArray("Hall B") + QByteArray(14, '\0'));
    QCOMPARE(RunCli({"recall", "--port", sim.link(), "--id", "2", "4"}).exitCode, 0);
    QCOMPARE(sim.unitImage(2), sim.unitSlot(2, 4));
    run = RunCli({"--json", "status", "--port", sim.link(), "--id", "2"});
    QCOMPARE(run.exitCode, 0);
    const QJsonObject status = run.json().object();
    QCOMPARE(status.value("lastLoaded").toString(), QStringLiteral("Pre3"));
    QCOMPARE(status.value("presets").toArray().at(7).toObject().value("entry").toString(),
             QStringLiteral("Usr7:Hall B"));
    QCOMPARE(status.value("temperature").toString(), QStringLiteral("36"));
}

void TestCli::portWithoutPermissionSaysWhy() {
    SimProcess sim(QStringLiteral("1"));
    QVERIFY(sim.start());
    const QString device = QFileInfo(sim.link()).canonicalFilePath();
    QVERIFY(QFile::setPermissions(device, {}));
    QStringList args{"status", "--port", device, "--id", "1"};
    CliRun run;
    if (::geteuid() == 0) {
        // Root may open anything: the program runs as another user, from a folder that user
        // can reach.
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ExeOwner | QFile::ReadOther |
                                                      QFile::ExeOther));
        const QString copy = dir.filePath("quellaton-cli");
        QVERIFY(QFile::copy(qEnvironmentVariable("QUELLATON_CLI"), copy));
        QProcess process;
        process.start("setpriv",
                      QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", copy} + args);
        QVERIFY(process.waitForFinished(30000));
        run.exitCode = process.exitCode();
        run.err = process.readAllStandardError();
    } else {
        run = RunCli(args);
    }
    QFile::setPermissions(device, QFile::ReadOwner | QFile::WriteOwner | QFile::WriteGroup);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(QString::fromUtf8(run.err),
             QStringLiteral("quellaton-cli: cannot open ") + device +
                 QStringLiteral(": Permission denied; add your user to the dialout group, then "
                                "log in again.\n"));
    QVERIFY(sim.frames().isEmpty());
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
