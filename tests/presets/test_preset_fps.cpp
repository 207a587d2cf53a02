// All-presets files (.fps) against simulated units: backing up the 20 slots of one unit and
// restoring them into another (with the restore's duration and CPU share measured), the file
// checks, and the save-all time-out that must stop collecting.
#include "preset_test_support.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

using namespace quellaton;
using namespace presettest;

namespace {

double CpuSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QByteArray SlotLine(const SimProcess& sim, int unit, int slot) {
    return ReplyLine(sim.unitSlot(unit, slot), PresetSlotBlock, unit - 1, quint8(slot));
}

QByteArray FpsContent(const QList<QByteArray>& lines) {
    QByteArray out;
    for (const QByteArray& line : lines) {
        out += line + "\r\n";
    }
    return out;
}

} // namespace

class TestPresetFps : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void allPresetsRoundTrip();
    void damagedFilesSendNothing();
    void emptyFileOrCancelEndsSilently();
    void saveAllTimeoutStopsCollecting();
};

void TestPresetFps::allPresetsRoundTrip() {
    AppFixture app(QStringLiteral("1,2"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    UnitSession& s = app.session();
    QList<QByteArray> slots1;
    for (int n = 1; n <= 20; ++n) {
        slots1.append(app.sim.unitSlot(1, n));
        QVERIFY(slots1.last() != app.sim.unitSlot(2, n));
    }

    // Back up unit 1: one slot read every 700 ms, then the save dialog.
    QTemporaryDir dir;
    ChooserLog log;
    AnswerSave(app, dir.filePath("all"), &log);
    wire.clear();
    app.answerer.clear();
    // Start while the queue is in the middle of a send: its pending steps must not restart the
    // poll during the backup (a poll empties the received text and loses a slot reply).
    s.writer().sendSlots().setPending(SystemReadSlot);
    QVERIFY(
        WaitUntil([&] { return s.writer().queueState() == LiveWriter::QueueState::Picked; }, 2000));
    app.widgets().saveAllButton->click();
    QCOMPARE(app.answerer.messages(),
             QStringList({"Saving all Presets to PC.Do you\rwant to proceed?"}));
    QVERIFY(WaitUntil([&] { return app.widgets().progressPanel->isVisible(); }, 2000));
    QCOMPARE(app.widgets().progressPanel->pos(), QPoint(208, 232));
    QVERIFY(!app.widgets().fileGroup->isEnabled());
    const QString path = dir.filePath("all.fps");
    QVERIFY(WaitUntil([&] { return QFile::exists(path); }, 25000));
    QCOMPARE(log.saved.size(), 1);
    QCOMPARE(log.saved[0].filter, QStringLiteral("quellatonfile(*.fps)"));
    QCOMPARE(log.saved[0].defaultName, QStringLiteral("myallstyle"));
    QVERIFY(Idle(app));
    QCOMPARE(app.widgets().progressBar->value(), 100);

    QList<QByteArray> reads;
    for (int n = 1; n <= 20; ++n) {
        reads.append(ToHexText(SlotRead(0, n)));
    }
    // The system read picked before the backup goes out after it; no poll in between.
    QCOMPARE(wire.frames().mid(0, 20), reads);
    const QByteArray content = ReadAll(path);
    QCOMPARE(content.size(), 20 * 666);
    QCOMPARE(content, content.toUpper());
    const QList<QByteArray> lines = SplitPresetLines(content);
    QCOMPARE(lines.size(), 20);
    for (int n = 1; n <= 20; ++n) {
        QCOMPARE(QByteArray::fromHex(lines[n - 1].mid(20, 640)), slots1[n - 1]);
        QCOMPARE(lines[n - 1].mid(8, 6), QByteArray("52") + ToHexText(QByteArray(1, char(n))) +
                                             "29"); // the unit's own header, slot n
    }

    // Restore into unit 2; one line in lower case loads all the same.
    QList<QByteArray> edited = lines;
    edited[2] = edited[2].toLower();
    QVERIFY(WriteAll(path, FpsContent(edited)));
    QVERIFY(WaitUntil([&] { return app.widgets().connectButton->isEnabled(); }, 3000));
    app.widgets().connectButton->click();
    QVERIFY(WaitUntil(
        [&] { return app.window->connection().state() == UnitConnection::State::Disconnected; },
        3000));
    QVERIFY(app.connectTo(2));
    QVERIFY(Settle(app));
    const ParameterImage shown = s.model().image();
    const QByteArray image2 = app.sim.unitImage(2);
    AnswerOpen(app, path, &log);
    wire.clear();
    app.answerer.clear();

    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = CpuSeconds();
    app.widgets().loadAllButton->click();
    QCOMPARE(app.answerer.messages(),
             QStringList({"Loading all Presets will overwrite all\rpresets already stored in the "
                          "unit.\rDo you want to proceed?"}));
    QVERIFY(WaitUntil([&] { return !wire.framesWith(NameTableHeader).isEmpty(); }, 40000));
    QVERIFY(WaitUntil([&] { return Idle(app); }, 3000));
    const qint64 took = clock.elapsed();
    const double cpu = CpuSeconds() - cpuBefore;
    qInfo("restore of 20 slots: %lld ms, process CPU %.2f s (%.1f %% of one core)",
          static_cast<long long>(took), cpu, 100.0 * cpu / (double(took) / 1000.0));
    QVERIFY2(took >= 19000 && took < 40000, qPrintable(QString::number(took)));
    QVERIFY2(cpu < 0.9 * double(took) / 1000.0, qPrintable(QString::number(cpu)));
    QCOMPARE(log.opened.size(), 1);
    QCOMPARE(log.opened[0].filter, QStringLiteral("quellatonfile(*.fps)"));
    QCOMPARE(log.opened[0].defaultName, QStringLiteral("myallstyle"));

    // Every slot byte for byte as backed up from unit 1; the working set is untouched.
    for (int n = 1; n <= 20; ++n) {
        QCOMPARE(app.sim.unitSlot(2, n), slots1[n - 1]);
    }
    QCOMPARE(app.sim.unitImage(2), image2);
    // Slot writes 1..20 in order to address 1, then the name table is read again.
    QList<QByteArray> expected;
    for (int n = 1; n <= 20; ++n) {
        expected.append(
            ToHexText(DeviceFrame(1, WriteBlock, quint8(n), PresetSlotBlock, 0, slots1[n - 1])));
    }
    expected.append(ToHexText(NameTableRead(1)));
    QList<QByteArray> sent = wire.nonPoll();
    sent.removeAll(ToHexText(SystemRead(1))); // the name table queues a system read
    QCOMPARE(sent, expected);
    // The program's own image is not changed by loading all presets.
    QVERIFY(s.model().image() == shown);
    QVERIFY(!RunningOperation<LoadAllPresets>(app));
    QVERIFY(WaitUntil([&] { return s.writer().pollTimer().isActive(); }, 1000));
    QCOMPARE(app.answerer.messages().size(), 1);
}

void TestPresetFps::damagedFilesSendNothing() {
    AppFixture app(QStringLiteral("1"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    UnitSession& s = app.session();
    QList<QByteArray> lines;
    for (int n = 1; n <= 20; ++n) {
        lines.append(SlotLine(app.sim, 1, n));
    }
    QList<QByteArray> shortLine = lines;
    shortLine[7].chop(1);
    QList<QByteArray> blank = lines;
    blank[19].append(' ');
    QList<QByteArray> nonHex = lines;
    nonHex[0].replace(100, 2, "-1");

    QTemporaryDir dir;
    const QList<QPair<QString, QByteArray>> cases = {
        {"19 lines", FpsContent(lines.mid(0, 19))},
        {"21 lines", FpsContent(lines + QList<QByteArray>{lines[0]})},
        {"an empty line after the 20th", FpsContent(lines) + "\r\n"},
        {"a line of 663 characters", FpsContent(shortLine)},
        {"a trailing blank", FpsContent(blank)},
        {"a non-hex pair", FpsContent(nonHex)},
        {"a lone line end", "\r\n"},
    };
    int n = 0;
    for (const auto& [name, content] : cases) {
        const QString path = dir.filePath(QStringLiteral("case%1.fps").arg(n++));
        QVERIFY(WriteAll(path, content));
        AnswerOpen(app, path);
        wire.clear();
        app.answerer.clear();
        app.widgets().loadAllButton->click();
        QVERIFY2(app.answerer.waitForMessage("File damaged.", 3000), qPrintable(name));
        QTest::qWait(300);
        // Only the keep-alive poll (restarted after the message) reached the unit.
        for (const QByteArray& frame : wire.frames()) {
            QCOMPARE(frame, ToHexText(StatusPoll(0)));
        }
        QVERIFY2(s.writer().pollTimer().isActive(), qPrintable(name));
        QVERIFY(Idle(app));
    }
    for (int slot = 1; slot <= 20; ++slot) {
        QCOMPARE(ReplyLine(app.sim.unitSlot(1, slot), PresetSlotBlock, 0, quint8(slot)),
                 lines[slot - 1]);
    }
}

void TestPresetFps::emptyFileOrCancelEndsSilently() {
    AppFixture app(QStringLiteral("1"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    QTemporaryDir dir;
    const QString path = dir.filePath("empty.fps");
    QVERIFY(WriteAll(path, QByteArray()));
    for (const QString& answer : {path, QString()}) {
        ChooserLog log;
        AnswerOpen(app, answer, &log);
        wire.clear();
        app.answerer.clear();
        app.widgets().loadAllButton->click();
        QVERIFY(WaitUntil([&] { return log.opened.size() == 1; }, 2000));
        QTest::qWait(500);
        QCOMPARE(app.answerer.messages().size(), 1); // the confirmation, nothing after it
        QVERIFY(wire.nonPoll().isEmpty());
        QVERIFY(app.session().writer().pollTimer().isActive());
        QVERIFY(Idle(app));
    }
}

void TestPresetFps::saveAllTimeoutStopsCollecting() {
    // The unit answers the connect, the system read, three polls and then (at most) five more
    // frames, so the backup stays short and times out.
    AppFixture app(QStringLiteral("1"), {"--silent-after", "11"});
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(WaitUntil([&] { return wire.frames().size() >= 6; }, 5000));
    UnitSession& s = app.session();
    ChooserLog log;
    AnswerSave(app, QDir::temp().filePath("never-written.fps"), &log);
    app.answerer.clear();
    QElapsedTimer clock;
    clock.start();
    qsizetype collected = -1;
    app.widgets().saveAllButton->click();
    QPointer<SaveAllPresets> save;
    QVERIFY(WaitUntil([&] { return (save = RunningOperation<SaveAllPresets>(app)); }, 1000));
    connect(save, &Operation::finished, this, [&] { collected = save->lines().size(); });

    QVERIFY(app.answerer.waitForMessage(QStringLiteral("overtime，try again."), 25000));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 15000 && took < 25000, qPrintable(QString::number(took)));
    QVERIFY2(collected >= 1 && collected <= 5, qPrintable(QString::number(collected)));
    QVERIFY(!RunningOperation<SaveAllPresets>(app));
    QVERIFY(!app.widgets().progressPanel->isVisible());
    QVERIFY(app.widgets().fileGroup->isEnabled());
    QCOMPARE(wire.framesWith("A20129").size(), 1);
    QCOMPARE(wire.framesWith("A21429").size(), 1); // all 20 were requested

    // Slot replies that arrive after the time-out (all 20 of them, handed on as the driver
    // would) are not collected and offer no save.
    for (int slot = 1; slot <= 20; ++slot) {
        emit s.link().driver().received(QByteArray::fromHex(
            ReplyLine(app.sim.unitSlot(1, slot), PresetSlotBlock, 0, quint8(slot))));
    }
    QTest::qWait(100);
    QVERIFY(s.runningOperations().isEmpty());
    QVERIFY(log.saved.isEmpty());
}

QTEST_MAIN(TestPresetFps)
#include "test_preset_fps.moc"
