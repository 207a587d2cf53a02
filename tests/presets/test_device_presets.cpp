// The device preset group against a simulated unit: recalling a preset by its list position,
// the recall time-out, saving user preset names, and the name field's keys and selection.
#include "preset_test_support.h"

#include <QElapsedTimer>
#include <QKeyEvent>

using namespace quellaton;
using namespace presettest;

namespace {

// Recalls the preset at list position `position`; true once the window is usable again.
bool Recall(AppFixture& app, int position) {
    app.widgets().devicePresetList->setCurrentIndex(position);
    app.widgets().recallButton->click();
    if (!WaitUntil([&] { return RunningOperation<RecallPreset>(app) != nullptr; }, 2000)) {
        return false;
    }
    return WaitUntil([&] { return !RunningOperation<RecallPreset>(app) && Idle(app); }, 5000);
}

QByteArray PaddedName(const QByteArray& name) {
    return name + QByteArray(20 - name.size(), '\0');
}

} // namespace

class TestDevicePresets : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void recallSendsListPositionPlusOne();
    void recallNeedsConfirmationAndConnection();
    void recallWithoutReplyTimesOut();
    void namesAreSavedTrimmedAndPadded();
    void nameFieldKeysAndSelection();
};

void TestDevicePresets::recallSendsListPositionPlusOne() {
    AppFixture app(QStringLiteral("1"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    ShellWidgets& w = app.widgets();
    UnitSession& s = app.session();
    QVERIFY(w.lastLoadedLabel->text().startsWith("Last loaded preset:Pre0"));
    QCOMPARE(w.devicePresetList->itemText(7), QStringLiteral("Usr7:Rehearsal 1"));

    wire.clear();
    app.answerer.clear();
    QVERIFY(Recall(app, 7));
    QCOMPARE(app.answerer.messages(),
             QStringList({"Loading a Preset will replace the active\rPreset.Do you want to "
                          "proceed?"}));
    QCOMPARE(wire.nonPoll().value(0), ToHexText(PresetRecall(0, 8)));
    // The recalled values are shown, and the system read that follows selects the entry.
    QVERIFY(s.model().image() == DecodeImageText(ReplyLine(app.sim.unitSlot(1, 8))));
    QVERIFY(!TimerActive(RunningOperation<RecallPreset>(app), "recallTimeout"));
    QVERIFY(WaitUntil(
        [&] { return w.lastLoadedLabel->text() == "Last loaded preset:Usr7         "; }, 3000));
    QCOMPARE(w.devicePresetList->currentIndex(), 7);
    QVERIFY(s.writer().pollTimer().isActive() ||
            s.writer().queueState() != LiveWriter::QueueState::Idle);

    wire.clear();
    QVERIFY(Recall(app, 0));
    QCOMPARE(wire.nonPoll().value(0), ToHexText(PresetRecall(0, 1)));
    QVERIFY(s.model().image() == DecodeImageText(ReplyLine(app.sim.unitSlot(1, 1))));
    QVERIFY(WaitUntil(
        [&] { return w.lastLoadedLabel->text() == "Last loaded preset:Pre0         "; }, 3000));
    QCOMPARE(w.devicePresetList->currentIndex(), 0);
    QCOMPARE(app.answerer.messages().size(), 2); // the two confirmations only
}

void TestDevicePresets::recallNeedsConfirmationAndConnection() {
    AppFixture app(QStringLiteral("1"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    // Not connected: no question, nothing sent.
    w.recallButton->click();
    w.storeNameButton->click();
    QTest::qWait(200);
    QVERIFY(app.answerer.messages().isEmpty());

    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    const ParameterImage before = app.model().image();
    w.devicePresetList->setCurrentIndex(3);
    for (ModalAnswerer::Confirm answer :
         {ModalAnswerer::Confirm::Second, ModalAnswerer::Confirm::Close}) {
        app.answerer.setConfirmation(answer);
        app.answerer.clear();
        wire.clear();
        w.recallButton->click();
        QTest::qWait(300);
        QCOMPARE(app.answerer.messages().size(), 1);
        QVERIFY(!RunningOperation<RecallPreset>(app));
        QVERIFY(wire.nonPoll().isEmpty());
        QVERIFY(app.model().image() == before);
        QVERIFY(Idle(app));
    }
}

void TestDevicePresets::recallWithoutReplyTimesOut() {
    AppFixture app(QStringLiteral("1"), {"--silent-after", "6"});
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(WaitUntil([&] { return wire.frames().size() >= 6; }, 5000));
    ShellWidgets& w = app.widgets();
    UnitSession& s = app.session();
    const ParameterImage before = s.model().image();
    w.devicePresetList->setCurrentIndex(6);
    app.answerer.clear();
    QElapsedTimer clock;
    clock.start();
    w.recallButton->click();
    QVERIFY(WaitUntil([&] { return w.progressPanel->isVisible(); }, 2000));
    QCOMPARE(w.progressPanel->pos(), QPoint(208, 232));
    QVERIFY(!w.fileGroup->isEnabled() && !w.devicePresetGroup->isEnabled());

    // The bar reaches 100 % after ten seconds and stops there; the time-out comes at 12 s.
    int barAtTimeout = -1;
    QVERIFY(WaitUntil(
        [&] {
            if (app.answerer.messages().contains(QStringLiteral("overtime，try again."))) {
                return true;
            }
            barAtTimeout = w.progressBar->value();
            return false;
        },
        20000));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 11000 && took < 20000, qPrintable(QString::number(took)));
    QCOMPARE(barAtTimeout, 100);
    QVERIFY(!TimerActive(RunningOperation<RecallPreset>(app), "recallProgress"));
    QVERIFY(!RunningOperation<RecallPreset>(app));
    QVERIFY(!w.progressPanel->isVisible());
    QVERIFY(w.fileGroup->isEnabled() && w.devicePresetGroup->isEnabled());
    QVERIFY(s.model().image() == before);
    QCOMPARE(wire.framesWith("A20728").size(), 1); // Usr6: is preset 7
}

void TestDevicePresets::namesAreSavedTrimmedAndPadded() {
    AppFixture app(QStringLiteral("1"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    ShellWidgets& w = app.widgets();
    UnitSession& s = app.session();
    QCOMPARE(w.presetNameField->text(), QStringLiteral("Party 1")); // the "Usr6:" name

    // Blanks around the name are removed before it is sent, listed and stored.
    w.devicePresetList->setCurrentIndex(2);
    w.userSlotList->setCurrentIndex(0);
    w.presetNameField->setText(QStringLiteral("  Stage Left  "));
    wire.clear();
    app.answerer.clear();
    w.storeNameButton->click();
    QCOMPARE(w.presetNameField->text(), QStringLiteral("Stage Left"));
    QCOMPARE(w.devicePresetList->itemText(6), QStringLiteral("Usr6:Stage Left"));
    QCOMPARE(w.devicePresetList->currentIndex(), 2);
    QCOMPARE(s.model().presetNames()[6], PaddedName("Stage Left"));
    QVERIFY(app.answerer.waitForMessage(QStringLiteral("Successfully saved."), 3000));
    QCOMPARE(wire.nonPoll().value(0), ToHexText(NameWrite(0, 7, PaddedName("Stage Left"))));
    QVERIFY(WaitUntil([&] { return app.sim.unitName(1, 7) == PaddedName("Stage Left"); }, 2000));
    // The acknowledgement queues a system read.
    QVERIFY(WaitUntil([&] { return !wire.framesWith(SystemReadHeader).isEmpty(); }, 3000));
    QVERIFY(!RunningOperation<StoreName>(app));

    // An empty name sends 20 zero bytes and lists "Usr7:" alone.
    w.userSlotList->setCurrentIndex(1);
    QCOMPARE(w.presetNameField->text(), QStringLiteral("Rehearsal 1"));
    w.presetNameField->setText(QStringLiteral("   "));
    wire.clear();
    app.answerer.clear();
    w.storeNameButton->click();
    QCOMPARE(w.presetNameField->text(), QString());
    QCOMPARE(w.devicePresetList->itemText(7), QStringLiteral("Usr7:"));
    QVERIFY(app.answerer.waitForMessage(QStringLiteral("Successfully saved."), 3000));
    QCOMPARE(wire.nonPoll().value(0), ToHexText(NameWrite(0, 8, QByteArray(20, '\0'))));
    QVERIFY(WaitUntil([&] { return app.sim.unitName(1, 8) == QByteArray(20, '\0'); }, 2000));

    // 19 characters (the field takes no more) fill bytes 1..19; byte 20 stays zero. Enter in
    // the field saves.
    w.presetNameField->setFocus();
    w.presetNameField->clear();
    QTest::keyClicks(w.presetNameField, QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    QCOMPARE(w.presetNameField->text(), QStringLiteral("ABCDEFGHIJKLMNOPQRS"));
    wire.clear();
    app.answerer.clear();
    QTest::keyClick(w.presetNameField, Qt::Key_Return);
    QVERIFY(app.answerer.waitForMessage(QStringLiteral("Successfully saved."), 3000));
    const QByteArray sent = QByteArray::fromHex(wire.nonPoll().value(0));
    QCOMPARE(sent.size(), 32);
    QCOMPARE(sent.mid(10, 19), QByteArray("ABCDEFGHIJKLMNOPQRS"));
    QCOMPARE(sent.at(29), '\0');
    QCOMPARE(w.devicePresetList->itemText(7), QStringLiteral("Usr7:ABCDEFGHIJKLMNOPQRS"));

    // The slot selector shows each user slot's stored name.
    w.userSlotList->setCurrentIndex(0);
    QCOMPARE(w.presetNameField->text(), QStringLiteral("Stage Left"));
    w.userSlotList->setCurrentIndex(1);
    QCOMPARE(w.presetNameField->text(), QStringLiteral("ABCDEFGHIJKLMNOPQRS"));
    // A fresh name table (as after a reconnect) shows the unit's stored names.
    QCOMPARE(app.sim.unitName(1, 7), PaddedName("Stage Left"));
}

void TestDevicePresets::nameFieldKeysAndSelection() {
    AppFixture app(QStringLiteral("1"));
    FrameLog wire(app.sim);
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    ShellWidgets& w = app.widgets();
    app.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(app.window.get()));

    // Printable characters from blank to "~" only; others are dropped.
    w.presetNameField->setFocus();
    w.presetNameField->clear();
    QTest::keyClicks(w.presetNameField, QStringLiteral("a~ b"));
    // Characters above "~" (QTest types ASCII only, so these are sent as key events).
    for (const QString& text :
         {QStringLiteral("\u00E9"), QStringLiteral("\u20AC"), QStringLiteral("\u00A0")}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
        QApplication::sendEvent(w.presetNameField, &press);
    }
    QCOMPARE(w.presetNameField->text(), QStringLiteral("a~ b"));
    QTest::keyClick(w.presetNameField, Qt::Key_Backspace);
    QCOMPARE(w.presetNameField->text(), QStringLiteral("a~ "));

    // The first click after leaving the field selects the whole text; the next one does not.
    w.recallButton->setFocus(Qt::TabFocusReason);
    QVERIFY(app.window->devicePresets().selectAllArmed());
    QTest::mouseClick(w.presetNameField, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(w.presetNameField->selectedText(), QStringLiteral("a~ "));
    QVERIFY(!app.window->devicePresets().selectAllArmed());
    QTest::mouseClick(w.presetNameField, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(w.presetNameField->selectedText(), QString());
    w.storeNameButton->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(w.presetNameField, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(w.presetNameField->selectedText(), QStringLiteral("a~ "));
}

QTEST_MAIN(TestDevicePresets)
#include "test_device_presets.moc"
