// The connection on a line that behaves like a real one: replies that come after the program
// has let go of the port, a broadcast connect that is not confirmed yet, and the send queue,
// the search and the connect sequence on a line run at 9600 baud.
#include "app_fixture.h"
#include "line_timing.h"

#include "protocol/frames.h"

#include <QFileInfo>
#include <QTest>

#include <unistd.h>

using namespace quellaton;

namespace {

const QString ProceedMessage =
    QStringLiteral("Please make sure you have selected\rthe same preset on all devices.");

bool Disconnected(AppFixture& app) {
    return app.window->connection().state() == UnitConnection::State::Disconnected;
}

QByteArray Header(const QByteArray& frameHex) {
    return frameHex.mid(8, 6); // command, index, block
}

} // namespace

class TestRealLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void lateRepliesDoNotBreakTheNextConnect();
    void broadcastShowsConnectedOnlyAfterProceed();
    void connectAndQueueKeepTheirOrderAndPace();
    void searchProbesArePacedByTheLine();
    void portWithoutPermissionSaysWhy();
};

void TestRealLine::lateRepliesDoNotBreakTheNextConnect() {
    // Every status reply comes a second late: the connection stands (each byte resets the
    // watchdog), and after a disconnect the replies still on their way land in the port's
    // input queue.
    AppFixture app(QStringLiteral("1"), {"--fault", "delay=1000:StatusPoll:100%"});
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    QVERIFY(WaitUntil([&] { return app.sim.framesWith("A2002B").size() >= 3; }, 5000));
    ShellWidgets& w = app.widgets();
    QVERIFY(WaitUntil([&] { return w.connectButton->isEnabled(); }, 3000));
    w.connectButton->click();
    QVERIFY(Disconnected(app));
    // The late replies arrive at the closed port; "Connect" is enabled again after 2 s.
    QTest::qWait(2200);
    QVERIFY(w.connectButton->isEnabled());
    app.answerer.clear();
    w.connectButton->click();
    QVERIFY2(
        WaitUntil(
            [&] { return app.window->connection().state() == UnitConnection::State::Connected; },
            5000),
        qPrintable(app.answerer.messages().join('|')));
    QVERIFY(app.answerer.messages().isEmpty());
}

void TestRealLine::broadcastShowsConnectedOnlyAfterProceed() {
    AppFixture app(QStringLiteral("1,2"));
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    w.broadcastButton->click();
    QCOMPARE(app.session().address().address(), BroadcastAddress);
    // The question stays up while the window is looked at.
    app.answerer.setPaused(true);
    QString paneWhileAsked;
    QString captionWhileAsked;
    QTimer::singleShot(300, [&] {
        paneWhileAsked = w.connectionPane->text();
        captionWhileAsked = w.connectButton->text();
        app.answerer.setPaused(false);
    });
    w.connectButton->click();
    QVERIFY(WaitUntil([&] { return w.initialDataPanel->isVisible(); }, 3000));
    QCOMPARE(app.answerer.messages(), QStringList{ProceedMessage});
    QCOMPARE(paneWhileAsked, QStringLiteral("Disconnected"));
    QCOMPARE(captionWhileAsked, QStringLiteral("Connect"));
    // After "Proceed" the program is connected to every unit.
    QCOMPARE(w.connectionPane->text(), QStringLiteral("Connected ") + app.sim.link());
    QCOMPARE(w.connectButton->text(), QStringLiteral("Disconnect"));
    QCOMPARE(w.connectionPane->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    w.closeInitialDataButton->click();
    QVERIFY(Disconnected(app));
    QCOMPARE(w.connectionPane->text(), QStringLiteral("Disconnected"));
}

void TestRealLine::connectAndQueueKeepTheirOrderAndPace() {
    AppFixture app(QStringLiteral("1"), {"--realtime"});
    QVERIFY(app.open());
    QVERIFY(app.connectTo(1));
    UnitModel& model = app.model();
    QVERIFY(WaitUntil([&] { return !app.sim.framesWith("A20021").isEmpty(); }, 3000));
    QList<QByteArray> first;
    for (const QByteArray& f : app.sim.frames().mid(0, 3)) {
        first.append(Header(f));
    }
    // Image, then names as soon as the image has come, then the system block via the queue.
    QCOMPARE(first, (QList<QByteArray>{"A20028", "A20026", "A20021"}));

    // Three blocks marked 5, 2, 9 leave as 2, 5, 9, each a queue turn after the one before
    // has left the line.
    const qsizetype mark = app.sim.timedFrames().size();
    model.setCrossoverFrequencyHz(Mid, UnitModel::Filter::HighPass, FrequencyTable[40]);
    model.setCrossoverFrequencyHz(High, UnitModel::Filter::HighPass, FrequencyTable[50]);
    model.setLimiterThreshold(Low, 7);
    QVERIFY(WaitUntil([&] { return app.sim.framesWith("A10002").size() == 1; }, 5000));
    QList<SimProcess::TimedFrame> writes;
    for (const auto& f : app.sim.timedFrames().mid(mark)) {
        if (f.hex.mid(8, 2) == "A1") {
            writes.append(f);
        }
    }
    QCOMPARE(writes.size(), 3);
    QCOMPARE(Header(writes[0].hex) + writes[0].hex.mid(14, 2), QByteArray("A1000001"));
    QCOMPARE(Header(writes[1].hex) + writes[1].hex.mid(14, 2), QByteArray("A1000101"));
    QCOMPARE(Header(writes[2].hex) + writes[2].hex.mid(14, 2), QByteArray("A1000202"));
    // Resume 300 ms after the write, pick on the next 10 ms tick, write 200 ms later.
    PauseCheck pauses;
    for (int i = 1; i < writes.size(); ++i) {
        pauses.add(writes[i].start() - writes[i - 1].start(), 510, BlockFrameSize, "slot-slot");
    }
    QVERIFY2(pauses.ok(), qPrintable(pauses.notes()));
}

void TestRealLine::searchProbesArePacedByTheLine() {
    AppFixture app(QStringLiteral("1,2"), {"--realtime"});
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    // The search runs in the event loop: it is started, watched and cancelled from timers.
    QTimer watch;
    watch.setInterval(20);
    bool cancelled = false;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!cancelled && app.window->addressing().searching() &&
            app.window->addressing().probeAddress() >= 8) {
            cancelled = true;
            w.cancelSearchButton->click();
        }
    });
    watch.start();
    QTimer::singleShot(0, w.searchButton, &QPushButton::click);
    QVERIFY(WaitUntil([&] { return cancelled && !app.window->addressing().searching(); }, 20000));
    watch.stop();
    QList<SimProcess::TimedFrame> probes;
    for (const auto& f : app.sim.timedFrames()) {
        if (Header(f.hex) == "A2002B") {
            probes.append(f);
        }
    }
    QVERIFY(probes.size() >= 8);
    PauseCheck pauses;
    for (int a = 1; a < probes.size(); ++a) {
        // Each probe goes to the next address.
        QCOMPARE(probes[a].hex.mid(6, 2).toInt(nullptr, 16), a);
        pauses.add(probes[a].start() - probes[a - 1].start(), 100, 12, "probe-probe");
    }
    QVERIFY2(pauses.ok(), qPrintable(pauses.notes()));
    // Both units were found before the cancel.
    QVERIFY(w.searchResultList->toPlainText().contains(QStringLiteral("--Device ID2 , ")));
}

void TestRealLine::portWithoutPermissionSaysWhy() {
    SimProcess sim(QStringLiteral("1"));
    QVERIFY(sim.start());
    // The line's device itself, readable and writable by nobody; root is held to that by
    // taking another user's identity for the connect.
    const QString device = QFileInfo(sim.link()).canonicalFilePath();
    QVERIFY(!device.isEmpty());
    QVERIFY(QFile::setPermissions(device, {}));
    AppOptions options;
    options.extraPorts = {device};
    options.listSystemPorts = false;
    MainWindow window(options);
    window.show();
    ModalAnswerer answerer;
    ShellWidgets& w = window.widgets();
    QVERIFY(WaitUntil(
        [&] { return w.connectionGroup->isVisible() && w.connectButton->isEnabled(); }, 10000));
    QCOMPARE(w.portList->currentText(), device);
    const bool root = ::geteuid() == 0;
    if (root) {
        QCOMPARE(::seteuid(65534), 0);
    }
    w.connectButton->click();
    if (root) {
        QCOMPARE(::seteuid(0), 0);
    }
    QFile::setPermissions(device, QFile::ReadOwner | QFile::WriteOwner | QFile::WriteGroup);
    QVERIFY(WaitUntil([&] { return !answerer.messages().isEmpty(); }, 3000));
    QCOMPARE(answerer.lastMessage(),
             QStringLiteral("CONNECTION INTERRUPTED!\rPlease check data cables and reconnect.\r") +
                 device +
                 QStringLiteral(": Permission denied; add your user to the dialout group, then "
                                "log in again."));
    QCOMPARE(window.connection().state(), UnitConnection::State::Disconnected);
    window.close();
}

QTEST_MAIN(TestRealLine)
#include "test_real_line.moc"
