// The main window against simulated units: the connect handshake, link supervision and the
// send queue, as seen on the wire and in the window.
#include "app_fixture.h"

#include "dsp/scales.h"
#include "protocol/frames.h"

#include <QElapsedTimer>
#include <QTest>

using namespace quellaton;

namespace {

// Index in `frames` of the first frame whose header (bytes 4..6 as hex) is `header`, from
// `from` on; -1 when there is none.
int IndexOf(const QList<QByteArray>& frames, const QByteArray& header, int from = 0) {
    for (int i = from; i < frames.size(); ++i) {
        if (frames[i].mid(8, header.size()) == header) {
            return i;
        }
    }
    return -1;
}

// Records when each new frame shows up in the simulator's log.
struct FrameClock {
    explicit FrameClock(const SimProcess& sim) : sim(sim) { timer.start(); }
    void sample() {
        const QList<QByteArray> frames = sim.frames();
        for (int i = seen.size(); i < frames.size(); ++i) {
            seen.append({frames[i], timer.elapsed()});
        }
    }
    const SimProcess& sim;
    QElapsedTimer timer;
    QList<QPair<QByteArray, qint64>> seen;
};

QColor PaneColour(ShellWidgets& w) {
    return w.connectionPane->palette().color(QPalette::WindowText);
}

} // namespace

class TestConnection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void handshakeOnTheWire();
    void silentUnitIsNotConnected();
    void unitWithoutNamesIsDroppedAfterTheNameTimeout();
    void unitFallingSilentInterruptsTheConnection();
    void vanishingPortDisconnects();
    void queueSendsLowestSlotFirstHalfASecondApart();
    void editsWhileClosedAreNotSent();
    void reconnectDropsPendingEdits();
    void connectWithoutPortsReportsTheFailure();
    void connectedWindowWaitsWithoutSpinning();
};

void TestConnection::handshakeOnTheWire() {
    AppFixture app;
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    QCOMPARE(w.connectionPane->text(), QStringLiteral("Disconnected"));
    QCOMPARE(PaneColour(w), QColor(255, 0, 0));
    QCOMPARE(w.connectButton->text(), QStringLiteral("Connect"));

    QVERIFY(app.connectTo(1));
    QCOMPARE(w.connectButton->text(), QStringLiteral("Disconnect"));
    QCOMPARE(w.connectionPane->text(), QStringLiteral("Connected ") + app.sim.link());
    QCOMPARE(PaneColour(w), QColor(0, 128, 0));
    QVERIFY(!w.portList->isEnabled());
    QVERIFY(!w.deviceIdList->isEnabled());

    // The preset list carries the unit's names; the system block's preset is selected.
    QVERIFY(WaitUntil(
        [&] { return w.lastLoadedLabel->text().startsWith("Last loaded preset:Pre0"); }, 3000));
    QCOMPARE(w.lastLoadedLabel->text(), QStringLiteral("Last loaded preset:Pre0         "));
    QCOMPARE(w.devicePresetList->count(), 8);
    QVERIFY(w.devicePresetList->itemText(0).startsWith(QStringLiteral("Pre0:")));
    QVERIFY(w.devicePresetList->itemText(0).size() > 5);
    QVERIFY(w.devicePresetList->itemText(7).startsWith(QStringLiteral("Usr7:")));
    QCOMPARE(w.devicePresetList->currentIndex(), 0);

    // Polls follow, and their replies fill the status labels.
    QVERIFY(WaitUntil([&] { return app.sim.framesWith("A2002B").size() >= 4; }, 5000));
    QCOMPARE(w.temperatureLabel->text(), QStringLiteral("    36"));
    QCOMPARE(w.attenuationLabel->text(), QStringLiteral("3 dB"));

    const QList<QByteArray> frames = app.sim.frames();
    const int image = IndexOf(frames, "A20028");
    const int names = IndexOf(frames, "A20026");
    const int system = IndexOf(frames, "A20021");
    const int poll = IndexOf(frames, "A2002B");
    QCOMPARE(image, 0);
    QCOMPARE(frames[image], ToHexText(ImageRead(0)));
    QCOMPARE(names, 1);
    QCOMPARE(system, 2);
    QCOMPARE(frames[system], ToHexText(SystemRead(0)));
    QCOMPARE(poll, 3);
    QCOMPARE(frames[poll], ToHexText(StatusPoll(0)));

    // About one poll every 500 ms.
    const int before = app.sim.framesWith("A2002B").size();
    QTest::qWait(3000);
    const int polls = app.sim.framesWith("A2002B").size() - before;
    QVERIFY2(polls >= 4 && polls <= 7, qPrintable(QString::number(polls)));
    QCOMPARE(app.window->connection().state(), UnitConnection::State::Connected);
    QVERIFY(app.answerer.messages().isEmpty());

    // Disconnect returns everything to the start.
    QVERIFY(WaitUntil([&] { return w.connectButton->isEnabled(); }, 3000));
    w.connectButton->click();
    QCOMPARE(w.connectButton->text(), QStringLiteral("Connect"));
    QCOMPARE(w.connectionPane->text(), QStringLiteral("Disconnected"));
    QCOMPARE(PaneColour(w), QColor(255, 0, 0));
    QVERIFY(!app.session().link().portOpen());
    QVERIFY(w.portList->isEnabled());
    const int afterDisconnect = app.sim.frames().size();
    QTest::qWait(1200);
    QCOMPARE(app.sim.frames().size(), afterDisconnect);
}

void TestConnection::silentUnitIsNotConnected() {
    AppFixture app(QStringLiteral("1"), {QStringLiteral("--silent-after"), QStringLiteral("0")});
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    QElapsedTimer clock;
    clock.start();
    w.connectButton->click();
    QVERIFY(!w.connectButton->isEnabled());
    QVERIFY(app.answerer.waitForMessage(
        QStringLiteral("UNABLE TO CONNECT TO DEVICE!\rPlease make sure the device ID is correct."),
        5000));
    const qint64 messageAt = clock.elapsed();
    QVERIFY2(messageAt >= 700 && messageAt < 2500, qPrintable(QString::number(messageAt)));
    QCOMPARE(w.connectButton->text(), QStringLiteral("Connect"));
    QCOMPARE(w.connectionPane->text(), QStringLiteral("Disconnected"));
    QVERIFY(WaitUntil([&] { return w.connectButton->isEnabled(); }, 4000));
    const qint64 enabledAt = clock.elapsed();
    QVERIFY2(enabledAt >= 1900 && enabledAt < 4000, qPrintable(QString::number(enabledAt)));
    // One failure, one message: the later time-outs were stopped with the first.
    QTest::qWait(2000);
    QCOMPARE(app.answerer.messages().size(), 1);
    QCOMPARE(app.window->connection().state(), UnitConnection::State::Disconnected);
}

void TestConnection::unitWithoutNamesIsDroppedAfterTheNameTimeout() {
    AppFixture app(QStringLiteral("1"), {QStringLiteral("--no-names")});
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    QElapsedTimer clock;
    clock.start();
    w.connectButton->click();
    QVERIFY(WaitUntil(
        [&] { return app.window->connection().state() == UnitConnection::State::AwaitingNames; },
        2000));
    QVERIFY(app.answerer.waitForMessage(
        QStringLiteral("UNABLE TO CONNECT TO DEVICE!\rPlease make sure the device ID is correct."),
        6000));
    const qint64 at = clock.elapsed();
    QVERIFY2(at >= 2300 && at < 4500, qPrintable(QString::number(at)));
    QCOMPARE(app.window->connection().state(), UnitConnection::State::Disconnected);
    QCOMPARE(w.connectButton->text(), QStringLiteral("Connect"));
    QVERIFY(!app.session().link().portOpen());
}

void TestConnection::unitFallingSilentInterruptsTheConnection() {
    // Silent after the image, name and system reads and a few polls.
    AppFixture app(QStringLiteral("1"), {QStringLiteral("--silent-after"), QStringLiteral("6")});
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(app.answerer.waitForMessage(
        QStringLiteral("CONNECTION INTERRUPTED!\rPlease check data cables and reconnect."), 8000));
    QCOMPARE(app.window->connection().state(), UnitConnection::State::Disconnected);
    QCOMPARE(app.widgets().connectButton->text(), QStringLiteral("Connect"));
    QCOMPARE(app.answerer.messages().size(), 1);
}

void TestConnection::vanishingPortDisconnects() {
    AppFixture app;
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    app.sim.stop(); // the link disappears and the line hangs up
    QVERIFY(WaitUntil(
        [&] { return app.window->connection().state() == UnitConnection::State::Disconnected; },
        8000));
    QVERIFY(WaitUntil([&] { return !app.answerer.messages().isEmpty(); }, 2000));
    const QString message = app.answerer.messages().constFirst();
    QVERIFY2(
        message == QStringLiteral("UNABLE TO CONNECT TO DEVICE!\rPlease make sure the device ID "
                                  "is correct.") ||
            message ==
                QStringLiteral("CONNECTION INTERRUPTED!\rPlease check data cables and reconnect."),
        qPrintable(message));
    QVERIFY(!app.session().link().portOpen());
    // With the port gone, the refresh drops it from the list.
    QVERIFY(WaitUntil([&] { return app.widgets().portList->count() == 0; }, 5000));
}

void TestConnection::queueSendsLowestSlotFirstHalfASecondApart() {
    AppFixture app;
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(WaitUntil([&] { return app.sim.framesWith("A2002B").size() >= 1; }, 3000));
    UnitModel& model = app.model();
    LiveWriter& writer = app.session().writer();
    FrameClock clock(app.sim);
    using Filter = UnitModel::Filter;
    model.setCrossoverFrequencyHz(Mid, Filter::HighPass, FrequencyTable[40]);  // slot 5
    model.setCrossoverFrequencyHz(High, Filter::HighPass, FrequencyTable[50]); // slot 2
    model.setLimiterThreshold(Low, 7);                                         // slot 9
    // Marked again before its turn: goes out once, with the latest value.
    model.setCrossoverFrequencyHz(Mid, Filter::HighPass, FrequencyTable[41]);

    QVERIFY(WaitUntil(
        [&] {
            clock.sample();
            return !writer.sendSlots().anyPending() && writer.sendingSlot() == 0 &&
                   app.sim.framesWith("A10002").size() == 1;
        },
        5000));
    QTest::qWait(400);
    clock.sample();
    QList<QPair<QByteArray, qint64>> writes;
    for (const auto& entry : clock.seen) {
        if (entry.first.startsWith("A5A5A500A1")) {
            writes.append(entry);
        }
    }
    QCOMPARE(writes.size(), 3);
    QCOMPARE(writes[0].first.mid(8, 8), QByteArray("A1000001"));
    QCOMPARE(writes[1].first.mid(8, 8), QByteArray("A1000101"));
    QCOMPARE(writes[1].first.mid(20, 2), QByteArray("29")); // 41, the latest
    QCOMPARE(writes[2].first.mid(8, 8), QByteArray("A1000202"));
    for (int i = 1; i < writes.size(); ++i) {
        const qint64 gap = writes[i].second - writes[i - 1].second;
        QVERIFY2(gap >= 450, qPrintable(QString::number(gap)));
    }
    // The unit's image took the values.
    QCOMPARE(quint8(app.sim.unitImage(1).at(72 + 8)), quint8(41));
    QCOMPARE(quint8(app.sim.unitImage(1).at(144 + 16)), quint8(7));
}

void TestConnection::editsWhileClosedAreNotSent() {
    AppFixture app;
    QVERIFY(app.open());
    const SendSlots& queued = app.session().writer().sendSlots();
    app.model().toggleMute(High);
    app.model().setBandQ(5, 2.0);
    QVERIFY(!queued.anyPending());
    QVERIFY(queued.blockFrame(1).isEmpty());
}

void TestConnection::reconnectDropsPendingEdits() {
    AppFixture app;
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    LiveWriter& writer = app.session().writer();
    // Hold the queue so the edit stays pending, then connect again.
    writer.pause();
    app.model().setGainDb(High, OutputGainTable[10]);
    QVERIFY(writer.sendSlots().pending(1));
    ShellWidgets& w = app.widgets();
    QVERIFY(WaitUntil([&] { return w.connectButton->isEnabled(); }, 3000));
    w.connectButton->click(); // disconnect
    QVERIFY(WaitUntil([&] { return !app.session().link().portOpen(); }, 3000));
    QVERIFY(writer.sendSlots().pending(1)); // flags stay set while the port is closed
    app.sim.clearLog();
    QVERIFY(app.connectTo(1));
    QTest::qWait(1200);
    QVERIFY(app.sim.framesWith("A10000").isEmpty());
    // The image came from the unit again.
    QCOMPARE(app.model().image().gainIndex[High], int(quint8(app.sim.unitImage(1).at(0))));
}

void TestConnection::connectWithoutPortsReportsTheFailure() {
    ModalAnswerer answerer;
    AppOptions options;
    options.listSystemPorts = false;
    MainWindow window(options);
    window.show();
    QVERIFY(WaitUntil([&] { return window.widgets().connectionGroup->isVisible(); }, 5000));
    QCOMPARE(window.widgets().portList->count(), 0);
    window.widgets().connectButton->click();
    QVERIFY(answerer.waitForMessage(
        QStringLiteral("CONNECTION INTERRUPTED!\rPlease check data cables and reconnect."), 3000));
    QCOMPARE(window.widgets().connectButton->text(), QStringLiteral("Connect"));
    QVERIFY(!window.session().link().portOpen());
}

void TestConnection::connectedWindowWaitsWithoutSpinning() {
    // Every pause of the program is a timer: while connected, the poll runs and the window
    // keeps handling its events, at a small share of one core.
    AppFixture app;
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    int fired = 0;
    QTimer::singleShot(0, [&] { ++fired; });
    QElapsedTimer wall;
    wall.start();
    const std::clock_t cpuBefore = std::clock();
    const int polls = app.sim.framesWith("A2002B").size();
    QTest::qWait(2500);
    const double cpuMs = double(std::clock() - cpuBefore) * 1000.0 / CLOCKS_PER_SEC;
    QCOMPARE(fired, 1);
    QVERIFY(app.sim.framesWith("A2002B").size() >= polls + 2);
    QVERIFY2(cpuMs < 0.15 * double(wall.elapsed()), qPrintable(QString::number(cpuMs)));
}

QTEST_MAIN(TestConnection)
#include "test_connection.moc"
