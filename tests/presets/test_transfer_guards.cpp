// Transfers that overlap or outlive their connection: a save-one wait overtaken by another
// transfer, a broadcast load's flag carried into a later connection, a disconnect in the
// middle of a transfer, and the preset a recall loads.
#include "preset_test_support.h"

#include "protocol/frames.h"

#include <QPointer>
#include <QTest>

using namespace quellaton;
using namespace presettest;

class TestTransferGuards : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void saveOneWaitEndsWhenARecallStarts();
    void broadcastFlagDoesNotReachALaterConnection();
    void disconnectEndsTheTransfers();
    void recallLoadsThePresetChosenBeforeTheQuestion();
};

void TestTransferGuards::saveOneWaitEndsWhenARecallStarts() {
    // The unit falls silent after the handshake, so the image for the file never comes.
    AppFixture app(QStringLiteral("1"), {QStringLiteral("--silent-after"), QStringLiteral("3")});
    QVERIFY(app.open());
    AnswerSave(app, QString()); // a file dialog, should one come, is cancelled
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app)); // the three frames the unit answers are through
    ShellWidgets& w = app.widgets();
    w.saveOneButton->click(); // "Save this preset to PC", confirmed
    QPointer<SaveOnePreset> save;
    QVERIFY(WaitUntil(
        [&] {
            save = RunningOperation<SaveOnePreset>(app);
            return save && save->state() == SaveOnePreset::State::AwaitingImage;
        },
        3000));
    QVERIFY(TimerActive(save, "saveOneTimeout"));
    // A recall, confirmed, while the image is still awaited.
    w.devicePresetList->setCurrentIndex(3);
    w.recallButton->click();
    QVERIFY(WaitUntil(
        [&] {
            const RecallPreset* recall = RunningOperation<RecallPreset>(app);
            return recall && recall->state() == RecallPreset::State::AwaitingImage;
        },
        3000));
    QVERIFY(!save || !save->running());
    QVERIFY(RunningOperation<SaveOnePreset>(app) == nullptr);
    QVERIFY(TimerActive(RunningOperation<RecallPreset>(app), "recallTimeout"));
    QVERIFY(!w.fileGroup->isEnabled()); // the recall holds the window
}

void TestTransferGuards::broadcastFlagDoesNotReachALaterConnection() {
    AppFixture app;
    QVERIFY(app.open());
    UnitSession& s = app.session();
    // Left over from a broadcast load whose source never answered.
    QPointer<InitialDataLoad> load = s.initialDataLoad();
    load->start();
    load->loadFromUnit(1);
    QVERIFY(load->running());
    QVERIFY(app.connectTo(1));
    QVERIFY(!load || !load->running());
    // The unit's image was shown as on any connect, and nothing was written to it.
    QCOMPARE(s.model().image().Encode().left(280), app.sim.unitImage(1).left(280));
    QTest::qWait(1500);
    QVERIFY(app.sim.framesWith(ImageWriteHeader).isEmpty());
}

void TestTransferGuards::disconnectEndsTheTransfers() {
    AppFixture app(QStringLiteral("1"), {QStringLiteral("--silent-after"), QStringLiteral("3")});
    QVERIFY(app.open());
    AnswerSave(app, QString());
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    UnitSession& s = app.session();
    ShellWidgets& w = app.widgets();
    w.saveAllButton->click(); // "Save all presets to PC", confirmed; the unit stays silent
    QPointer<SaveAllPresets> save;
    QVERIFY(WaitUntil(
        [&] {
            save = RunningOperation<SaveAllPresets>(app);
            return save && TimerActive(save, "slotReadTimer");
        },
        3000));
    QVERIFY(!w.connectionGroup->isEnabled());
    app.window->connection().ForceDisconnect();
    QCOMPARE(app.window->connection().state(), UnitConnection::State::Disconnected);
    QVERIFY(!save || !save->running());
    QVERIFY(s.runningOperations().isEmpty());
    QVERIFY(Idle(app));
    QVERIFY(w.fileMenu->isEnabled());
    // The save-all time-out would have come 16 s after the start: it does not.
    QTest::qWait(1000);
    QVERIFY(!s.writer().pollTimer().isActive());
    QVERIFY(!app.answerer.messages().contains(QStringLiteral("overtime，try again.")));
}

void TestTransferGuards::recallLoadsThePresetChosenBeforeTheQuestion() {
    AppFixture app;
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    ShellWidgets& w = app.widgets();
    w.devicePresetList->setCurrentIndex(6); // "Usr6:"
    // While the question is open a system reply moves the selection to the last loaded one.
    app.answerer.setPaused(true);
    QTimer::singleShot(50, [&] {
        w.devicePresetList->setCurrentIndex(0);
        app.answerer.setPaused(false);
    });
    w.recallButton->click();
    QVERIFY(WaitUntil([&] { return !app.sim.framesWith("A20728").isEmpty(); }, 4000));
    QVERIFY(app.sim.framesWith("A20128").isEmpty());
    QVERIFY(WaitUntil([&] { return Idle(app); }, 4000));
}

QTEST_MAIN(TestTransferGuards)
#include "test_transfer_guards.moc"
