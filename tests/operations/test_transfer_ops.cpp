// Every transfer's state machine to its end, the ID change, the initial data load and
// "Filters reset", against simulated units. The assertions read the simulator's frame log and
// state file.
#include "operations_rig.h"

using namespace quellaton;
using namespace quellaton::operations_test;

class TestTransferOps : public QObject {
    Q_OBJECT
private slots:
    void transfersEndAsDone_data();
    void transfersEndAsDone();
    void unansweredRequestsTimeOut_data();
    void unansweredRequestsTimeOut();
    void idChangeAddressesTheNewIdBeforeTheAcknowledgement();
    void slotRepliesAreTakenOnlyInOrder();
    void slotReplyMustBeTheSlotAskedFor();
    void portLossEndsATransfer();
    void aTransferAbandonsASaveAwaitingItsImage();
    void initialDataLoadReachesEveryUnit_data();
    void initialDataLoadReachesEveryUnit();
    void silentSourceUnitOpensTheChoiceAgain();
    void filtersResetEndsAfterTheSixthBlock();
};

void TestTransferOps::transfersEndAsDone_data() {
    QTest::addColumn<QString>("transfer");
    for (const char* t :
         {"save one", "save all", "load one", "load all", "recall", "store name", "change ID"}) {
        QTest::newRow(t) << QString::fromLatin1(t);
    }
}

void TestTransferOps::transfersEndAsDone() {
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

void TestTransferOps::unansweredRequestsTimeOut_data() {
    QTest::addColumn<QString>("request");
    QTest::newRow("save one") << "save one";
    QTest::newRow("store name") << "store name";
    QTest::newRow("change ID") << "change ID";
    QTest::newRow("status") << "status";
}

void TestTransferOps::unansweredRequestsTimeOut() {
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

void TestTransferOps::idChangeAddressesTheNewIdBeforeTheAcknowledgement() {
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

void TestTransferOps::slotRepliesAreTakenOnlyInOrder() {
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

void TestTransferOps::slotReplyMustBeTheSlotAskedFor() {
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

void TestTransferOps::portLossEndsATransfer() {
    Rig rig(QStringLiteral("1"), {"--exit-after", "6"});
    QVERIFY(rig.sim.start());
    QVERIFY(rig.connectTo(1));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(Run(rig.session.saveAllPresets(), 20000), Result::PortLost);
    QVERIFY2(clock.elapsed() < pacing::BackupTimeoutMs, "the loss ends it, not its time-out");
}

void TestTransferOps::aTransferAbandonsASaveAwaitingItsImage() {
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

void TestTransferOps::initialDataLoadReachesEveryUnit_data() {
    QTest::addColumn<int>("sourceId");
    QTest::newRow("from a file") << 0;
    QTest::newRow("from unit 2") << 2;
}

void TestTransferOps::initialDataLoadReachesEveryUnit() {
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

void TestTransferOps::silentSourceUnitOpensTheChoiceAgain() {
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

void TestTransferOps::filtersResetEndsAfterTheSixthBlock() {
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
    auto bands = [&] {
        QList<QByteArray> written;
        for (const QByteArray& f : rig.sim.frames()) {
            if (f.mid(8, 2) == "A1") {
                written.append(f.mid(12, 2));
            }
        }
        return written;
    };
    // The last block has left the program when the reset ends; the simulator logs it a moment
    // later on a busy machine.
    QTRY_COMPARE_WITH_TIMEOUT(bands(), (QList<QByteArray>{"05", "06", "07", "08", "09", "0A"}),
                              3000);
}

QTEST_GUILESS_MAIN(TestTransferOps)
#include "test_transfer_ops.moc"
