// A venue of simulated units on four lines, driven by quellaton-cli as an installer would:
// scan into a venue file, deploy (dry run first), verify, and monitor.
#include "../cli/cli_process.h"
#include "sim_process.h"

#include "files/preset_file_format.h"
#include "protocol/frames.h"
#include "protocol/parameter_image.h"
#include "protocol/send_slots.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {

using namespace quellaton;

constexpr int LineCount = 4;

bool WaitUntil(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(20);
    }
    return true;
}

// The preset file holding `payload`, as a unit's image reply.
void WritePreset(const QString& path, int id, const QByteArray& payload) {
    QVERIFY(WritePresetFile(
        path, {DeviceFrame(id - 1, ReadReply, 0, ParameterImageBlock, 0, payload).toHex()}));
}

struct Lines {
    explicit Lines(const QStringList& ids) {
        for (const QString& list : ids) {
            sims.push_back(std::make_unique<SimProcess>(list));
        }
    }
    bool start() {
        return std::all_of(sims.begin(), sims.end(), [](auto& sim) { return sim->start(); });
    }
    std::vector<std::unique_ptr<SimProcess>> sims;
};

// Frames written to the units (block, image and slot writes), as "BBGG" block headers or the
// whole header of an image write.
QList<QByteArray> Writes(const SimProcess& sim) {
    QList<QByteArray> writes;
    for (const QByteArray& frame : sim.frames()) {
        if (frame.mid(8, 2) == "A1") {
            writes.append(frame.mid(12, 4));
        }
    }
    return writes;
}

QByteArray BlockHeader(int slot) {
    const SlotBlock b = BlockOfSlot(slot);
    return QByteArray::number(b.block, 16).rightJustified(2, '0').toUpper() +
           QByteArray::number(b.group, 16).rightJustified(2, '0').toUpper();
}

} // namespace

class TestFleet : public QObject {
    Q_OBJECT
private slots:
    void portsListsTheGivenPorts();
    void scannedVenueVerifies();
    void deployWritesOnlyWhatDiffers();
    void badPresetOrAbsentUnit_data();
    void badPresetOrAbsentUnit();
    void monitorReportsOfflineAndOnline();
};

// As the window lists them with the same options: the given paths after the system's ports.
void TestFleet::portsListsTheGivenPorts() {
    QTemporaryDir dir;
    const QString device = dir.filePath("ttyFAKE");
    QVERIFY(WritePresetContent(device, "x"));
    const CliRun run =
        RunCli({QStringLiteral("ports"), QStringLiteral("--json"), QStringLiteral("--port"), device,
                QStringLiteral("--port"), QStringLiteral("tcp://127.0.0.1:4001"),
                QStringLiteral("--port"), dir.filePath("missing")});
    QCOMPARE(run.exitCode, 0);
    const QJsonArray ports = run.json().array();
    QVERIFY(ports.size() >= 2);
    QCOMPARE(ports[ports.size() - 2].toObject().value("name").toString(), device);
    QCOMPARE(ports.last().toObject().value("name").toString(),
             QStringLiteral("tcp://127.0.0.1:4001"));
}

void TestFleet::scannedVenueVerifies() {
    Lines lines(
        {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});
    QVERIFY(lines.start());
    QTemporaryDir dir;
    QStringList args{QStringLiteral("venue"),  QStringLiteral("scan"), QStringLiteral("--ids"),
                     QStringLiteral("1-4"),    QStringLiteral("-o"),   dir.filePath("venue.toml"),
                     QStringLiteral("--save"), dir.filePath("presets")};
    for (auto& sim : lines.sims) {
        args << QStringLiteral("--port") << sim->link();
    }
    const CliRun scan = RunCli(args);
    QVERIFY2(scan.exitCode == 0, scan.err.constData());
    QFile venue(dir.filePath("venue.toml"));
    QVERIFY(venue.open(QIODevice::ReadOnly));
    const QByteArray text = venue.readAll();
    for (int l = 0; l < LineCount; ++l) {
        QVERIFY2(text.contains("port = \"" + lines.sims[l]->link().toUtf8() + "\""),
                 text.constData());
        QVERIFY(QFile::exists(
            dir.filePath(QStringLiteral("presets/line%1-id%2.sps").arg(l + 1).arg(l + 1))));
    }
    QCOMPARE(text.count("[[line.unit]]"), LineCount);

    const CliRun verify = RunCli({QStringLiteral("verify"), dir.filePath("venue.toml")});
    QVERIFY2(verify.exitCode == 0, verify.out + verify.err);
    QCOMPARE(verify.out.count("unchanged"), LineCount);
    for (auto& sim : lines.sims) {
        QVERIFY(Writes(*sim).isEmpty());
    }
}

void TestFleet::deployWritesOnlyWhatDiffers() {
    Lines lines({QStringLiteral("1,2"), QStringLiteral("1,2"), QStringLiteral("3,4"),
                 QStringLiteral("5,6")});
    QVERIFY(lines.start());
    QTemporaryDir dir;
    // Each unit's preset is what it holds now, with one or two parameters changed on some:
    // unit 1 of line 1 a gain and a band (two blocks), unit 4 of line 3 its Main level.
    QString venue = QStringLiteral("[venue]\nname = \"Test\"\n");
    QMap<QString, QList<QByteArray>> expected; // "line/id" -> block headers written
    for (int l = 0; l < LineCount; ++l) {
        venue += QStringLiteral("[[line]]\nport = \"%1\"\n").arg(lines.sims[l]->link());
        for (const QString& idText : lines.sims[l]->ids().split(QLatin1Char(','))) {
            const int id = idText.toInt();
            QByteArray payload = lines.sims[l]->unitImage(id);
            QCOMPARE(payload.size(), ImagePayloadSize);
            QList<int> changed;
            if (l == 0 && id == 1) {
                payload[BlockOffset(0, 0)] = char(180);     // High gain
                payload[BlockOffset(1, 3) + 2] = char(130); // Mid band 1 peaking gain
                changed = {OutputSlot(High), EqBandSlot(BandIndex(Mid, 0))};
            }
            if (l == 2 && id == 4) {
                payload[BlockOffset(3, 0) + 2] = char(200); // Main level, low byte
                changed = {MainBlockSlot};
            }
            QList<QByteArray> headers;
            std::sort(changed.begin(), changed.end());
            for (int slot : changed) {
                headers.append(BlockHeader(slot));
            }
            expected.insert(QStringLiteral("%1/%2").arg(l).arg(id), headers);
            const QString file = QStringLiteral("l%1-%2.sps").arg(l).arg(id);
            WritePreset(dir.filePath(file), id, payload);
            venue += QStringLiteral("[[line.unit]]\nid = %1\npreset = \"%2\"\n").arg(id).arg(file);
        }
    }
    const QString venuePath = dir.filePath("venue.toml");
    QVERIFY(WritePresetContent(venuePath, venue.toUtf8()));

    const CliRun dry = RunCli({QStringLiteral("deploy"), venuePath, QStringLiteral("--dry-run")});
    QVERIFY2(dry.exitCode == 0, dry.out + dry.err);
    QVERIFY2(dry.out.contains("High     Gain"), dry.out.constData());
    QCOMPARE(dry.out.count("differs ("), 2);
    for (auto& sim : lines.sims) {
        QVERIFY2(Writes(*sim).isEmpty(), sim->frames().join('\n').constData());
    }
    const CliRun failing = RunCli({QStringLiteral("verify"), venuePath});
    QCOMPARE(failing.exitCode, 1);

    const CliRun deploy = RunCli({QStringLiteral("deploy"), venuePath, QStringLiteral("--json")});
    QVERIFY2(deploy.exitCode == 0, deploy.out + deploy.err);
    const QJsonArray units = deploy.json().object().value("units").toArray();
    QCOMPARE(units.size(), 8);
    QCOMPARE(units[0].toObject().value("result").toString(), QStringLiteral("updated"));
    QCOMPARE(units[0].toObject().value("blocksWritten").toInt(), 2);
    QCOMPARE(units[1].toObject().value("result").toString(), QStringLiteral("unchanged"));
    for (int l = 0; l < LineCount; ++l) {
        QList<QByteArray> written = Writes(*lines.sims[l]);
        QList<QByteArray> wanted;
        for (const QString& idText : lines.sims[l]->ids().split(QLatin1Char(','))) {
            wanted += expected.value(QStringLiteral("%1/%2").arg(l).arg(idText));
        }
        QCOMPARE(written, wanted);
        // Every unit now holds its preset, byte for byte.
        for (const QString& idText : lines.sims[l]->ids().split(QLatin1Char(','))) {
            const SinglePresetText preset =
                LoadSinglePresetFile(dir.filePath(QStringLiteral("l%1-%2.sps").arg(l).arg(idText)));
            QCOMPARE(lines.sims[l]->unitImage(idText.toInt()), ImagePayloadFromText(preset.text));
        }
    }
    const CliRun verify = RunCli({QStringLiteral("verify"), venuePath});
    QVERIFY2(verify.exitCode == 0, verify.out + verify.err);
}

void TestFleet::badPresetOrAbsentUnit_data() {
    QTest::addColumn<bool>("damaged");
    QTest::newRow("damaged preset") << true;
    QTest::newRow("absent unit") << false;
}

void TestFleet::badPresetOrAbsentUnit() {
    QFETCH(bool, damaged);
    Lines lines({QStringLiteral("1"), QStringLiteral("2")});
    QVERIFY(lines.start());
    QTemporaryDir dir;
    QByteArray payload = lines.sims[0]->unitImage(1);
    payload[BlockOffset(0, 0)] = char(150);
    WritePreset(dir.filePath("good.sps"), 1, payload);
    QVERIFY(WritePresetContent(dir.filePath("bad.sps"), QByteArray(600, 'Z') + "\r\n"));
    const QString venue =
        QStringLiteral("[[line]]\nport = \"%1\"\n[[line.unit]]\nid = 1\npreset = \"good.sps\"\n"
                       "[[line]]\nport = \"%2\"\n[[line.unit]]\nid = %3\npreset = \"%4\"\n")
            .arg(lines.sims[0]->link(), lines.sims[1]->link())
            .arg(damaged ? 2 : 9)
            .arg(damaged ? QStringLiteral("bad.sps") : QStringLiteral("good.sps"));
    QVERIFY(WritePresetContent(dir.filePath("venue.toml"), venue.toUtf8()));
    const CliRun run = RunCli({QStringLiteral("deploy"), dir.filePath("venue.toml")});
    if (damaged) {
        QCOMPARE(run.exitCode, 3);
        QVERIFY2(run.err.contains("bad.sps"), run.err.constData());
        // Nothing at all went out: the file was read before any port was opened.
        QVERIFY(lines.sims[0]->frames().isEmpty());
        QVERIFY(lines.sims[1]->frames().isEmpty());
        return;
    }
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("ID 9"), run.err.constData());
    // The unit that is there was deployed all the same.
    QCOMPARE(Writes(*lines.sims[0]), QList<QByteArray>{BlockHeader(OutputSlot(High))});
}

void TestFleet::monitorReportsOfflineAndOnline() {
    // The unit on the first line stops answering after three rounds (a status poll and a
    // system read a round).
    Lines lines(
        {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});
    lines.sims[0]->setExtraArgs({QStringLiteral("--silent-after"), QStringLiteral("6")});
    QVERIFY(lines.start());
    QTemporaryDir dir;
    const QString prometheus = dir.filePath("units.prom");
    QStringList venue;
    for (int l = 0; l < LineCount; ++l) {
        venue +=
            QStringLiteral("[[line]]\nport = \"%1\"\n[[line.unit]]\nid = %2\nlabel = \"L%2\"\n")
                .arg(lines.sims[l]->link())
                .arg(l + 1);
    }
    QVERIFY(WritePresetContent(dir.filePath("venue.toml"), venue.join(QString()).toUtf8()));
    QProcess monitor;
    monitor.setProgram(qEnvironmentVariable("QUELLATON_CLI"));
    monitor.setArguments({QStringLiteral("monitor"), dir.filePath("venue.toml"),
                          QStringLiteral("--interval"), QStringLiteral("0.5"),
                          QStringLiteral("--json"), QStringLiteral("--prometheus"), prometheus});
    monitor.start();
    QVERIFY(monitor.waitForStarted(5000));
    QList<QJsonObject> events;
    auto collect = [&] {
        while (monitor.canReadLine()) {
            events.append(QJsonDocument::fromJson(monitor.readLine()).object());
        }
    };
    auto seen = [&](int id, const char* event) {
        collect();
        return std::find_if(events.begin(), events.end(), [&](const QJsonObject& e) {
                   return e.value("id").toInt() == id && e.value("event").toString() == event;
               }) != events.end();
    };
    QVERIFY(WaitUntil([&] { return seen(1, "online") && seen(4, "online"); }, 10000));
    // Silent after its third round, offline after three polls more: about six intervals after
    // the first answer, with time for a slow machine.
    QElapsedTimer sinceOnline;
    sinceOnline.start();
    QVERIFY(WaitUntil([&] { return seen(1, "offline"); }, 15000));
    QVERIFY2(sinceOnline.elapsed() < 6 * 500 + 2500,
             qPrintable(QString::number(sinceOnline.elapsed())));
    QCOMPARE(events.last().value("missedPolls").toInt(), 3);
    QCOMPARE(events.last().value("label").toString(), QStringLiteral("L1"));
    QVERIFY(!seen(2, "offline"));
    QVERIFY(WaitUntil(
        [&] {
            QFile file(prometheus);
            return file.open(QIODevice::ReadOnly) &&
                   file.readAll().contains("quellaton_unit_up{port=\"" +
                                           lines.sims[0]->link().toUtf8() +
                                           "\",id=\"1\",label=\"L1\"} 0");
        },
        5000));

    // It comes back, answering again.
    lines.sims[0]->stop();
    lines.sims[0]->setExtraArgs({});
    QVERIFY(lines.sims[0]->start());
    const int before = int(events.size());
    QVERIFY(WaitUntil(
        [&] {
            collect();
            return std::any_of(events.begin() + before, events.end(), [](const QJsonObject& e) {
                return e.value("id").toInt() == 1 && e.value("event").toString() == "online";
            });
        },
        10000));
    QFile file(prometheus);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray metrics = file.readAll();
    QVERIFY2(metrics.contains("# TYPE quellaton_unit_temperature_celsius gauge"),
             metrics.constData());
    QVERIFY(metrics.contains("quellaton_unit_attenuation_db{port=\"" +
                             lines.sims[3]->link().toUtf8() + "\",id=\"4\",label=\"L4\"} 3"));

    ::kill(pid_t(monitor.processId()), SIGTERM);
    QVERIFY(monitor.waitForFinished(5000));
    QCOMPARE(monitor.exitStatus(), QProcess::NormalExit);
    QCOMPARE(monitor.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestFleet)
#include "test_fleet.moc"
