// The connection's states, the live writer's queue and the search of the ports, against
// simulated units. No widget is involved; the assertions read the simulator's frame log.
#include "operations_rig.h"

using namespace quellaton;
using namespace quellaton::operations_test;

class TestConnectionOps : public QObject {
    Q_OBJECT
private slots:
    void connectionWalksItsStates_data();
    void connectionWalksItsStates();
    void lostPollDisconnects();
    void queueSendsTheLowestSlotFirstHalfASecondApart();
    void blockEditedAgainLeavesOnceWithItsLatestValues();
    void broadcastWritesEveryBlockTwice();
    void pausePutsAPickedSlotBack();
    void editsWithNoPortOpenBuildNothing();
    void searchFindsTheUnits_data();
    void searchFindsTheUnits();
    void searchStopsBeforeTheNextProbe();
};

void TestConnectionOps::connectionWalksItsStates_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("portThere");
    QTest::addColumn<QList<State>>("states");
    QTest::addColumn<UnitConnection::Failure>("failure");
    using F = UnitConnection::Failure;
    QTest::newRow("unit answers") << QStringList{} << 1 << true
                                  << QList<State>{State::Opening, State::AwaitingReply,
                                                  State::ReceivingImage, State::AwaitingNames,
                                                  State::Connected}
                                  << F::None;
    QTest::newRow("no unit with that ID") << QStringList{} << 4 << true
                                          << QList<State>{State::Opening, State::AwaitingReply,
                                                          State::Disconnecting, State::Disconnected}
                                          << F::NoUnit;
    QTest::newRow("the names never come")
        << QStringList{"--no-names"} << 1 << true
        << QList<State>{State::Opening,       State::AwaitingReply, State::ReceivingImage,
                        State::AwaitingNames, State::Disconnecting, State::Disconnected}
        << F::NoUnit;
    QTest::newRow("no such port") << QStringList{} << 1 << false
                                  << QList<State>{State::Opening, State::Disconnected}
                                  << F::PortUnavailable;
}

void TestConnectionOps::connectionWalksItsStates() {
    QFETCH(QStringList, simArgs);
    QFETCH(int, id);
    QFETCH(bool, portThere);
    QFETCH(QList<State>, states);
    QFETCH(UnitConnection::Failure, failure);
    Rig rig(QStringLiteral("1"), simArgs);
    QVERIFY(rig.sim.start());
    UnitConnection& connection = rig.session.connection();
    QList<State> seen;
    connect(&connection, &UnitConnection::stateChanged, this, [&](State s) { seen.append(s); });
    QSignalSpy disconnected(&connection, &UnitConnection::disconnected);
    rig.session.address().setDeviceId(id);
    QElapsedTimer clock;
    clock.start();
    connection.connectTo(portThere ? rig.port()
                                   : PortEntry{"missing", rig.sim.dirPath() + "/missing"});
    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), states.size(), 6000);
    QCOMPARE(seen, states);
    if (failure == UnitConnection::Failure::None) {
        QCOMPARE(disconnected.count(), 0);
        // The names bring the live writer to life: the system read goes out through the queue.
        QTRY_COMPARE_WITH_TIMEOUT(rig.sim.framesWith("A20021").size(), 1, 3000);
        QCOMPARE(rig.sim.frames().first(), ToHexText(ImageRead(0)));
        QCOMPARE(rig.sim.frames().at(1), ToHexText(NameTableRead(0)));
        QVERIFY(rig.session.model().image() ==
                DecodeImageText(
                    ToHexText(DeviceFrame(0, ReadReply, 0, 0x28, 0, rig.sim.unitImage(1)))));
        return;
    }
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(disconnected.at(0).at(0).value<UnitConnection::Failure>(), failure);
    QVERIFY(!rig.session.link().portOpen());
    if (failure == UnitConnection::Failure::PortUnavailable) {
        QVERIFY(!connection.openFailureReason().isEmpty());
    } else {
        // The time-out counts from the request: no earlier than its documented time.
        const int limit = simArgs.isEmpty() ? pacing::FirstByteTimeoutMs : pacing::NamesTimeoutMs;
        QVERIFY2(clock.elapsed() >= limit, qPrintable(QString::number(clock.elapsed())));
    }
}

void TestConnectionOps::lostPollDisconnects() {
    // The unit answers the connect and then falls silent.
    Rig rig(QStringLiteral("1"), {"--silent-after", "3"});
    QVERIFY(rig.sim.start());
    QSignalSpy disconnected(&rig.session.connection(), &UnitConnection::disconnected);
    QVERIFY(rig.connectTo(1));
    QVERIFY(disconnected.wait(5000));
    QCOMPARE(disconnected.at(0).at(0).value<UnitConnection::Failure>(),
             UnitConnection::Failure::LinkInterrupted);
}

void TestConnectionOps::queueSendsTheLowestSlotFirstHalfASecondApart() {
    Rig rig(QStringLiteral("1"), {"--realtime"});
    QVERIFY(rig.sim.start());
    QVERIFY(rig.connectTo(1));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.framesWith("A20021").size(), 1, 3000);
    rig.sim.clearLog();
    UnitModel& model = rig.session.model();
    // Slots 5, 2 and 9 (Mid crossover, High crossover, Low limiter) edited in that order.
    model.setCrossoverType(Mid, UnitModel::Filter::LowPass, 2);
    model.setCrossoverType(High, UnitModel::Filter::HighPass, 1);
    model.setLimiterAttack(Low, 3);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.framesWith("A10000").size() +
                                  rig.sim.framesWith("A10001").size() +
                                  rig.sim.framesWith("A10002").size(),
                              3, 5000);
    QList<SimProcess::TimedFrame> writes;
    for (const SimProcess::TimedFrame& f : rig.sim.timedFrames()) {
        if (f.hex.mid(8, 2) == "A1") {
            writes.append(f);
        }
    }
    QCOMPARE(writes.size(), 3);
    QCOMPARE(writes[0].hex, ToHexText(BuildBlockFrame(2, 0, model.image(), {})));
    QCOMPARE(writes[1].hex, ToHexText(BuildBlockFrame(5, 0, model.image(), {})));
    QCOMPARE(writes[2].hex, ToHexText(BuildBlockFrame(9, 0, model.image(), {})));
    PauseCheck pauses;
    for (int i = 1; i < writes.size(); ++i) {
        pauses.add(writes[i].start() - writes[i - 1].start(),
                   pacing::QueueWriteDelayMs + pacing::QueueResumeMs, BlockFrameSize, "slot");
    }
    QVERIFY2(pauses.ok(), qPrintable(pauses.notes()));
}

void TestConnectionOps::blockEditedAgainLeavesOnceWithItsLatestValues() {
    Rig rig;
    QVERIFY(rig.sim.start());
    QVERIFY(rig.connectTo(1));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.framesWith("A20021").size(), 1, 3000);
    rig.sim.clearLog();
    UnitModel& model = rig.session.model();
    const int band = BandIndex(High, 2);
    model.setBandFrequencyHz(band, 500);
    model.setBandGainDb(band, -6);
    model.setBandQ(band, 4);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.framesWith("A10000").size(), 1, 3000);
    QTest::qWait(800);
    const QList<QByteArray> writes = rig.sim.framesWith("A10000");
    QCOMPARE(writes.size(), 1);
    QCOMPARE(writes.first(), ToHexText(BuildBlockFrame(EqBandSlot(band), 0, model.image(), {})));
}

void TestConnectionOps::broadcastWritesEveryBlockTwice() {
    Rig rig(QStringLiteral("1,2"));
    QVERIFY(rig.sim.start());
    rig.session.address().setBroadcast(true);
    QSignalSpy confirm(&rig.session.connection(), &UnitConnection::broadcastConfirmationNeeded);
    rig.session.connection().connectTo(rig.port());
    QTRY_COMPARE_WITH_TIMEOUT(confirm.count(), 1, 3000);
    QCOMPARE(rig.session.connection().state(), State::BroadcastPending);
    // Nothing is asked of units that do not answer.
    QVERIFY(rig.sim.frames().isEmpty());
    rig.session.connection().confirmBroadcast();
    QCOMPARE(rig.session.connection().state(), State::Broadcasting);
    rig.session.writer().startQueue();
    rig.session.model().setGainDb(High, -3);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.frames().size(), 2, 3000);
    QCOMPARE(rig.sim.frames().at(0), rig.sim.frames().at(1));
    QCOMPARE(rig.sim.frames().at(0).mid(6, 2), QByteArray("FF"));
    // Silence never disconnects in broadcast mode.
    rig.session.writer().startPoll();
    QTest::qWait(pacing::PollWatchdogMs + 800);
    QCOMPARE(rig.session.connection().state(), State::Broadcasting);
}

void TestConnectionOps::pausePutsAPickedSlotBack() {
    Rig rig;
    QVERIFY(rig.sim.start());
    QVERIFY(rig.connectTo(1));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.framesWith("A20021").size(), 1, 3000);
    LiveWriter& writer = rig.session.writer();
    rig.session.model().toggleMute(Low);
    QTRY_COMPARE_WITH_TIMEOUT(writer.queueState(), LiveWriter::QueueState::Picked, 1000);
    QCOMPARE(writer.sendingSlot(), OutputSlot(Low));
    writer.pause();
    QVERIFY(writer.sendSlots().pending(OutputSlot(Low)));
    QTest::qWait(pacing::QueueWriteDelayMs + 200);
    QVERIFY(rig.sim.framesWith("A10002").isEmpty());
    writer.start();
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.framesWith("A10002").size(), 1, 2000);
}

void TestConnectionOps::editsWithNoPortOpenBuildNothing() {
    UnitAddress address;
    UnitLink link(address);
    UnitModel model;
    LiveWriter writer(link, model);
    writer.setActive(true);
    model.toggleMute(High);
    model.setBandQ(5, 2.0);
    model.setMasterLevel(100);
    QVERIFY(!writer.sendSlots().anyPending());
    QVERIFY(writer.sendSlots().blockFrame(OutputSlot(High)).isEmpty());
    // The edits are in the model all the same.
    QCOMPARE(model.image().onFlag[High], 0);
    QCOMPARE(model.image().masterLevel, 100);
}

void TestConnectionOps::searchFindsTheUnits_data() {
    QTest::addColumn<DeviceSearch::Mode>("mode");
    QTest::newRow("one port after another") << DeviceSearch::Mode::OneAfterAnother;
    QTest::newRow("every port at once") << DeviceSearch::Mode::AllAtOnce;
}

void TestConnectionOps::searchFindsTheUnits() {
    QFETCH(DeviceSearch::Mode, mode);
    SimProcess a(QStringLiteral("1,3"));
    SimProcess b(QStringLiteral("2"));
    QVERIFY(a.start());
    QVERIFY(b.start());
    UnitAddress address;
    UnitLink line(address);
    const PortList ports{PortEntry{a.link(), a.link()}, PortEntry{"absent", "/nonexistent/x"},
                         PortEntry{b.link(), b.link()}};
    DeviceSearch search(&line, ports, 0, 3, pacing::ProbePauseMs, mode);
    QSignalSpy probing(&search, &DeviceSearch::probingFinished);
    QSignalSpy finished(&search, &DeviceSearch::finished);
    QList<int> progress;
    connect(&search, &DeviceSearch::progress, this, [&](int done, int) { progress.append(done); });
    search.start();
    QVERIFY(finished.wait(15000));
    QCOMPARE(probing.count(), 1);
    QList<int> foundA;
    for (const ProbeHit& hit : search.probe(0)->hits()) {
        foundA.append(hit.address);
    }
    QCOMPARE(foundA, (QList<int>{0, 2}));
    QCOMPARE(search.probe(2)->hits().size(), 1);
    QCOMPARE(search.probe(2)->hits().first().address, 1);
    QVERIFY(!search.probe(1)->opened());
    QVERIFY(!search.probe(1)->openFailure().isEmpty());
    // Twelve probes in all: a port that could not be opened counts as probed.
    QCOMPARE(progress.last(), 12);
    // Each line got the four probes and nothing else, and every port is closed again.
    for (const SimProcess* sim : {&a, &b}) {
        QCOMPARE(sim->framesWith("A2002B").size(), 4);
        QCOMPARE(sim->frames().size(), 4);
    }
    QVERIFY(!line.portOpen());
}

void TestConnectionOps::searchStopsBeforeTheNextProbe() {
    SimProcess sim(QStringLiteral("1"));
    QVERIFY(sim.start());
    UnitAddress address;
    UnitLink line(address);
    DeviceSearch search(&line, {PortEntry{sim.link(), sim.link()}}, 0, 255, pacing::ProbePauseMs,
                        DeviceSearch::Mode::OneAfterAnother);
    QSignalSpy finished(&search, &DeviceSearch::finished);
    connect(&search, &DeviceSearch::progress, this, [&](int done, int) {
        if (done == 3) {
            search.requestStop();
        }
    });
    search.start();
    QVERIFY(finished.wait(5000));
    QCOMPARE(sim.frames().size(), 3);
    QCOMPARE(search.probe(0)->hits().size(), 1);
    QVERIFY(!line.portOpen());
}

QTEST_GUILESS_MAIN(TestConnectionOps)
#include "test_connection_ops.moc"
