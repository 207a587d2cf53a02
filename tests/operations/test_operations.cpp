// The operations of the core against simulated units: the connection's states, the live
// writer's queue, every transfer's state machine to its end, the search, the initial data
// load and "Filters reset". No widget is involved; the assertions read the simulator's frame
// log and state file.
#include "line_timing.h"
#include "sim_process.h"

#include "dsp/scales.h"
#include "operations/unit_session.h"
#include "protocol/frames.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

using namespace quellaton;
using State = UnitConnection::State;
using Result = Operation::Result;

namespace {

// Runs the event loop until `op` has finished, or `timeoutMs` has passed.
bool WaitEnded(Operation* op, int timeoutMs) {
    QPointer<Operation> guard(op);
    return QTest::qWaitFor([&] { return !guard || guard->ended(); }, timeoutMs);
}

// Starts `op` and waits for its result; Aborted when it did not end in time. `inspect` sees the
// operation as it ends (the session deletes it soon after).
Result Run(Operation* op, int timeoutMs = 30000,
           const std::function<void(Operation&)>& inspect = {}) {
    Result result = Result::Aborted;
    bool ended = false;
    QObject::connect(op, &Operation::finished, [&, op](Result r) {
        result = r;
        ended = true;
        if (inspect) {
            inspect(*op);
        }
    });
    op->start();
    const bool done = QTest::qWaitFor([&] { return ended; }, timeoutMs);
    return done ? result : Result::Aborted;
}

// A session with the simulator's link as the port, listed as the window lists given ports.
struct Rig {
    explicit Rig(QString ids = QStringLiteral("1"), QStringList args = {})
        : sim(std::move(ids), std::move(args)) {
        session.connection().setPortLister([this] { return FillPortList({sim.link()}); });
    }
    PortEntry port() const { return PortEntry{sim.link(), sim.link()}; }

    // Connects to device ID `id`; true once the names have arrived.
    bool connectTo(int id) {
        session.address().setDeviceId(id);
        session.connection().connectTo(port());
        return QTest::qWaitFor([&] { return session.connection().state() == State::Connected; },
                               5000);
    }
    // Opens the line without connecting (for the exchanges that need no connection).
    bool open() {
        session.link().driver().OpenPort(sim.link());
        session.link().driver().StartWatcher();
        return session.link().portOpen();
    }

    SimProcess sim;
    UnitSession session;
};

// A valid image reply text whose payload is `fill` everywhere.
QByteArray ImageText(char fill) {
    return ToHexText(
        DeviceFrame(0, ReadReply, 0, ParameterImageBlock, 0, QByteArray(ImagePayloadSize, fill)));
}

QList<QByteArray> SlotLines() {
    QList<QByteArray> lines;
    for (int slot = 1; slot <= PresetSlotCount; ++slot) {
        lines.append(ToHexText(DeviceFrame(0, ReadReply, quint8(slot), PresetSlotBlock, 0,
                                           QByteArray(ImagePayloadSize, char(slot)))));
    }
    return lines;
}

} // namespace

class TestOperations : public QObject {
    Q_OBJECT
private slots:
    void connectionWalksItsStates_data();
    void connectionWalksItsStates();
    void lostPollDisconnects();
    void queueSendsTheLowestSlotFirstHalfASecondApart();
    void blockEditedAgainLeavesOnceWithItsLatestValues();
    void broadcastWritesEveryBlockTwice();
    void pausePutsAPickedSlotBack();
    void transfersEndAsDone_data();
    void transfersEndAsDone();
    void unansweredRequestsTimeOut_data();
    void unansweredRequestsTimeOut();
    void idChangeAddressesTheNewIdBeforeTheAcknowledgement();
    void slotRepliesAreTakenOnlyInOrder();
    void slotReplyMustBeTheSlotAskedFor();
    void editsWithNoPortOpenBuildNothing();
    void portLossEndsATransfer();
    void aTransferAbandonsASaveAwaitingItsImage();
    void searchFindsTheUnits_data();
    void searchFindsTheUnits();
    void searchStopsBeforeTheNextProbe();
    void initialDataLoadReachesEveryUnit_data();
    void initialDataLoadReachesEveryUnit();
    void silentSourceUnitOpensTheChoiceAgain();
    void filtersResetEndsAfterTheSixthBlock();
};

void TestOperations::connectionWalksItsStates_data() {
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

void TestOperations::connectionWalksItsStates() {
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

void TestOperations::lostPollDisconnects() {
    // The unit answers the connect and then falls silent.
    Rig rig(QStringLiteral("1"), {"--silent-after", "3"});
    QVERIFY(rig.sim.start());
    QSignalSpy disconnected(&rig.session.connection(), &UnitConnection::disconnected);
    QVERIFY(rig.connectTo(1));
    QVERIFY(disconnected.wait(5000));
    QCOMPARE(disconnected.at(0).at(0).value<UnitConnection::Failure>(),
             UnitConnection::Failure::LinkInterrupted);
}

void TestOperations::queueSendsTheLowestSlotFirstHalfASecondApart() {
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

void TestOperations::blockEditedAgainLeavesOnceWithItsLatestValues() {
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

void TestOperations::broadcastWritesEveryBlockTwice() {
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

void TestOperations::pausePutsAPickedSlotBack() {
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

void TestOperations::transfersEndAsDone_data() {
    QTest::addColumn<QString>("transfer");
    for (const char* t :
         {"save one", "save all", "load one", "load all", "recall", "store name", "change ID"}) {
        QTest::newRow(t) << QString::fromLatin1(t);
    }
}

void TestOperations::transfersEndAsDone() {
    QFETCH(QString, transfer);
    Rig rig(QStringLiteral("3"));
    QVERIFY(rig.sim.start());
    QVERIFY(rig.connectTo(3));
    UnitSession& s = rig.session;
    const int address = 2;
    if (transfer == "save one") {
        // The reply goes to the file, not to the editors.
        s.model().setGainDb(High, -19.0);
        const ParameterImage shown = s.model().image();
        SaveOnePreset* op = s.saveOnePreset();
        QSignalSpy sent(op, &SaveOnePreset::requestSent);
        QByteArray text;
        QCOMPARE(Run(op, 30000,
                     [&](Operation& o) { text = static_cast<SaveOnePreset&>(o).imageText(); }),
                 Result::Done);
        // Said before it ends, however fast the unit answered.
        QCOMPARE(sent.count(), 1);
        QCOMPARE(QByteArray::fromHex(text).mid(10, ImagePayloadSize), rig.sim.unitImage(3));
        QVERIFY(s.model().image() == shown);
    } else if (transfer == "save all") {
        QList<QByteArray> lines;
        QCOMPARE(Run(s.saveAllPresets(), 30000,
                     [&](Operation& o) { lines = static_cast<SaveAllPresets&>(o).lines(); }),
                 Result::Done);
        QCOMPARE(lines.size(), PresetSlotCount);
        for (int slot = 1; slot <= PresetSlotCount; ++slot) {
            QCOMPARE(QByteArray::fromHex(lines[slot - 1]).mid(10, ImagePayloadSize),
                     rig.sim.unitSlot(3, slot));
        }
        QCOMPARE(rig.sim.framesWith("A20129").size(), 1);
        QCOMPARE(rig.sim.framesWith("A21429").size(), 1);
    } else if (transfer == "load one") {
        const QByteArray text = ImageText(0x11);
        QCOMPARE(Run(s.loadOnePreset(text), 15000), Result::Done);
        QCOMPARE(rig.sim.unitImage(3), QByteArray(ImagePayloadSize, 0x11));
        // The window shows what was sent.
        QVERIFY(s.model().image() == DecodeImageText(text));
    } else if (transfer == "load all") {
        bool names = false;
        QCOMPARE(
            Run(s.loadAllPresets(SlotLines(), pacing::NamesTimeoutMs), 40000,
                [&](Operation& o) { names = static_cast<LoadAllPresets&>(o).namesReceived(); }),
            Result::Done);
        QVERIFY(names);
        for (int slot = 1; slot <= PresetSlotCount; ++slot) {
            QCOMPARE(rig.sim.unitSlot(3, slot), QByteArray(ImagePayloadSize, char(slot)));
        }
    } else if (transfer == "recall") {
        rig.sim.clearLog();
        QCOMPARE(Run(s.recallPreset(8)), Result::Done);
        QCOMPARE(rig.sim.frames().first(), ToHexText(PresetRecall(address, 8)));
        QVERIFY(s.model().image() == DecodeImageText(ToHexText(DeviceFrame(
                                         0, ReadReply, 8, 0x28, 0, rig.sim.unitSlot(3, 8)))));
        // The system read that brings the last loaded preset follows through the queue.
        QTRY_COMPARE_WITH_TIMEOUT(rig.sim.framesWith("A20021").size(), 1, 3000);
    } else if (transfer == "store name") {
        StoreName* op = s.storeName(7, "Stage", 0);
        QSignalSpy acknowledged(op, &StoreName::acknowledged);
        QCOMPARE(Run(op), Result::Done);
        QCOMPARE(acknowledged.count(), 1);
        QCOMPARE(rig.sim.unitName(3, 7).left(5), QByteArray("Stage"));
        QCOMPARE(s.model().presetNames()[6].left(6), QByteArray("Stage\0", 6));
    } else {
        QCOMPARE(Run(s.changeId(9, 0)), Result::Done);
        QCOMPARE(rig.sim.stateValue("unit 3 id"), QByteArray("9"));
        QCOMPARE(s.address().deviceId(), 9);
        // The write went to the old address, through the send queue.
        QCOMPARE(rig.sim.framesWith("A10021").first().mid(6, 2), QByteArray("02"));
    }
    // Every transfer gives the line back: the poll runs again.
    const int polls = rig.sim.framesWith("A2002B").size();
    QTRY_VERIFY_WITH_TIMEOUT(rig.sim.framesWith("A2002B").size() > polls, 3000);
}

void TestOperations::unansweredRequestsTimeOut_data() {
    QTest::addColumn<QString>("request");
    QTest::newRow("save one") << "save one";
    QTest::newRow("store name") << "store name";
    QTest::newRow("change ID") << "change ID";
    QTest::newRow("status") << "status";
}

void TestOperations::unansweredRequestsTimeOut() {
    QFETCH(QString, request);
    Rig rig(QStringLiteral("1"));
    QVERIFY(rig.sim.start());
    QVERIFY(rig.open());
    UnitSession& s = rig.session;
    s.address().setDeviceId(5); // nobody answers ID 5
    Operation* op = nullptr;
    if (request == "save one") {
        op = s.saveOnePreset(300);
    } else if (request == "store name") {
        op = s.storeName(8, "Hall", 300);
    } else if (request == "change ID") {
        s.writer().setActive(true);
        s.writer().start();
        op = s.changeId(6, 800);
    } else {
        s.address().setDeviceId(5);
        op = s.readStatus(300);
    }
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(Run(op, 5000), Result::TimedOut);
    QVERIFY(clock.elapsed() >= 300);
}

void TestOperations::idChangeAddressesTheNewIdBeforeTheAcknowledgement() {
    Rig rig(QStringLiteral("2"));
    QVERIFY(rig.sim.start());
    QVERIFY(rig.connectTo(2));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.framesWith("A20021").size(), 1, 3000);
    rig.sim.clearLog();
    ChangeId* op = rig.session.changeId(4, 0);
    op->start();
    // Before anything has gone out, the program talks to the new ID.
    QCOMPARE(rig.session.address().address(), 3);
    QVERIFY(op->running());
    QVERIFY(WaitEnded(op, 3000));
    QCOMPARE(rig.sim.stateValue("unit 2 id"), QByteArray("4"));
    // The write went to the old address; the polls after it go to the new one, and the unit
    // answers them there: the connection stands.
    QTRY_VERIFY_WITH_TIMEOUT(!rig.sim.framesWith("A2002B").isEmpty(), 3000);
    QCOMPARE(rig.sim.frames().first().mid(6, 4), QByteArray("01A1"));
    QCOMPARE(rig.sim.framesWith("A2002B").first().mid(6, 2), QByteArray("03"));
    QTest::qWait(pacing::PollWatchdogMs + 500);
    QCOMPARE(rig.session.connection().state(), State::Connected);
}

void TestOperations::slotRepliesAreTakenOnlyInOrder() {
    // The reply to slot 3 is damaged: the backup does not file slot 4's reply as slot 3.
    Rig rig(QStringLiteral("1"), {"--fault", "check:SlotRead:3"});
    QVERIFY(rig.sim.start());
    QVERIFY(rig.connectTo(1));
    qsizetype taken = -1;
    QCOMPARE(Run(rig.session.saveAllPresets(), 30000,
                 [&](Operation& o) { taken = static_cast<SaveAllPresets&>(o).lines().size(); }),
             Result::TimedOut);
    QCOMPARE(taken, 2);
}

void TestOperations::slotReplyMustBeTheSlotAskedFor() {
    UnitAddress address;
    UnitLink link(address);
    UnitModel model;
    LiveWriter writer(link, model);
    SaveAllPresets save(link, writer);
    const auto slotReply = [](int slot) {
        Reply reply;
        reply.kind = Reply::Kind::Slot;
        reply.slot = slot;
        reply.text = SlotLines().value(slot - 1);
        return reply;
    };
    // A late reply of an abandoned transfer (slot 7) is taken out of the way, not filed.
    QVERIFY(save.claim(slotReply(7)));
    QVERIFY(save.lines().isEmpty());
    QVERIFY(save.claim(slotReply(1)));
    QCOMPARE(save.lines(), QList<QByteArray>{SlotLines().first()});
    // Slot 2's reply lost: slot 3's is not filed in its place.
    QVERIFY(save.claim(slotReply(3)));
    QCOMPARE(save.lines().size(), 1);
    // Other replies are not the backup's business.
    Reply status;
    status.kind = Reply::Kind::Status;
    QVERIFY(!save.claim(status));
}

void TestOperations::editsWithNoPortOpenBuildNothing() {
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

void TestOperations::portLossEndsATransfer() {
    Rig rig(QStringLiteral("1"), {"--exit-after", "6"});
    QVERIFY(rig.sim.start());
    QVERIFY(rig.connectTo(1));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(Run(rig.session.saveAllPresets(), 20000), Result::PortLost);
    QVERIFY2(clock.elapsed() < pacing::BackupTimeoutMs, "the loss ends it, not its time-out");
}

void TestOperations::aTransferAbandonsASaveAwaitingItsImage() {
    Rig rig(QStringLiteral("1"), {"--reply-delay", "600"});
    QVERIFY(rig.sim.start());
    QVERIFY(rig.connectTo(1));
    QPointer<SaveOnePreset> save = rig.session.saveOnePreset();
    QSignalSpy saveEnded(save, &Operation::finished);
    save->start();
    QTRY_COMPARE_WITH_TIMEOUT(save->state(), SaveOnePreset::State::AwaitingImage, 2000);
    RecallPreset* recall = rig.session.recallPreset(2);
    recall->start();
    QCOMPARE(saveEnded.count(), 1);
    QCOMPARE(saveEnded.at(0).at(0).value<Result>(), Result::Aborted);
    QVERIFY(WaitEnded(recall, 15000));
}

void TestOperations::searchFindsTheUnits_data() {
    QTest::addColumn<DeviceSearch::Mode>("mode");
    QTest::newRow("one port after another") << DeviceSearch::Mode::OneAfterAnother;
    QTest::newRow("every port at once") << DeviceSearch::Mode::AllAtOnce;
}

void TestOperations::searchFindsTheUnits() {
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

void TestOperations::searchStopsBeforeTheNextProbe() {
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

void TestOperations::initialDataLoadReachesEveryUnit_data() {
    QTest::addColumn<int>("sourceId");
    QTest::newRow("from a file") << 0;
    QTest::newRow("from unit 2") << 2;
}

void TestOperations::initialDataLoadReachesEveryUnit() {
    QFETCH(int, sourceId);
    Rig rig(QStringLiteral("1,2,3"));
    QVERIFY(rig.sim.start());
    rig.session.address().setBroadcast(true);
    rig.session.connection().connectTo(rig.port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.session.connection().state(), State::BroadcastPending, 3000);
    rig.session.connection().confirmBroadcast();
    const QByteArray expected =
        sourceId == 0 ? QByteArray(ImagePayloadSize, 0x22) : rig.sim.unitImage(sourceId);
    InitialDataLoad* load = rig.session.initialDataLoad();
    QSignalSpy progressStarted(load, &InitialDataLoad::progressStarted);
    Result result = Result::Aborted;
    connect(load, &Operation::finished, this, [&](Result r) { result = r; });
    load->start();
    if (sourceId == 0) {
        load->loadFromImage(ImageText(0x22));
    } else {
        load->loadFromUnit(sourceId);
    }
    QCOMPARE(progressStarted.count(), 1);
    QVERIFY(WaitEnded(load, 15000));
    QCOMPARE(result, Result::Done);
    for (int id = 1; id <= 3; ++id) {
        QCOMPARE(rig.sim.unitImage(id), expected);
    }
    // Two polls and the image twice, to every unit; the window shows it.
    QCOMPARE(rig.sim.framesWith("A2002B").size(), 2);
    QCOMPARE(rig.sim.framesWith("A10028").size(), 2);
    QVERIFY(rig.session.model().image() ==
            DecodeImageText(ToHexText(DeviceFrame(0, ReadReply, 0, 0x28, 0, expected))));
}

void TestOperations::silentSourceUnitOpensTheChoiceAgain() {
    Rig rig(QStringLiteral("1"));
    QVERIFY(rig.sim.start());
    rig.session.address().setBroadcast(true);
    rig.session.connection().connectTo(rig.port());
    QTRY_COMPARE_WITH_TIMEOUT(rig.session.connection().state(), State::BroadcastPending, 3000);
    InitialDataLoad* load = rig.session.initialDataLoad();
    QSignalSpy silent(load, &InitialDataLoad::sourceSilent);
    load->start();
    load->loadFromUnit(7);
    QVERIFY(silent.wait(3000));
    QCOMPARE(load->state(), InitialDataLoad::State::Choosing);
    QVERIFY(load->running());
    // The choice is open again: a file now.
    load->loadFromImage(ImageText(0x33));
    QVERIFY(WaitEnded(load, 15000));
    QCOMPARE(rig.sim.unitImage(1), QByteArray(ImagePayloadSize, 0x33));
}

void TestOperations::filtersResetEndsAfterTheSixthBlock() {
    Rig rig;
    QVERIFY(rig.sim.start());
    QVERIFY(rig.connectTo(1));
    QTRY_COMPARE_WITH_TIMEOUT(rig.sim.framesWith("A20021").size(), 1, 3000);
    rig.sim.clearLog();
    FiltersReset* reset = rig.session.resetFilters(Main);
    QList<int> progress;
    connect(reset, &Operation::progress, this, [&](int done, int) { progress.append(done); });
    QCOMPARE(Run(reset, 10000), Result::Done);
    QCOMPARE(progress, (QList<int>{0, 1, 2, 3, 4, 5, 6}));
    QList<QByteArray> bands;
    for (const QByteArray& f : rig.sim.frames()) {
        if (f.mid(8, 2) == "A1") {
            bands.append(f.mid(12, 2));
        }
    }
    QCOMPARE(bands, (QList<QByteArray>{"05", "06", "07", "08", "09", "0A"}));
}

QTEST_GUILESS_MAIN(TestOperations)
#include "test_operations.moc"
