// The units behind a real serial device server (ser2net), in raw TCP mode and with RFC 2217:
// the window's connect handshake and edits, a broadcast initial data load (frames to
// address 255 are full of 0xFF, so a missing telnet escape shows), quellaton-cli read and
// write, and a server that stops.
#include "../cli/cli_process.h"
#include "app_fixture.h"
#include "ser2net_process.h"

#include "files/preset_file_format.h"
#include "protocol/frames.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace quellaton;

namespace {

const QString NoDevice =
    QStringLiteral("UNABLE TO CONNECT TO DEVICE!\rPlease make sure the device ID is correct.");
const QString PortFailed =
    QStringLiteral("CONNECTION INTERRUPTED!\rPlease check data cables and reconnect.");

// The window with the device server's port as its only port.
struct NetworkWindow {
    std::unique_ptr<MainWindow> window;
    ModalAnswerer answerer;

    bool open(const QString& url) {
        AppOptions options;
        options.extraPorts = {url};
        options.listSystemPorts = false;
        window = std::make_unique<MainWindow>(options);
        window->show();
        return WaitUntil([&] { return window->widgets().connectionGroup->isVisible(); }, 10000) &&
               window->widgets().portList->currentText() == url;
    }
    bool connectTo(int id) {
        ShellWidgets& w = window->widgets();
        w.deviceIdList->setCurrentIndex(id - 1);
        if (!WaitUntil([&] { return w.connectButton->isEnabled(); }, 3000)) {
            return false;
        }
        w.connectButton->click();
        return WaitUntil(
            [&] { return window->connection().state() == UnitConnection::State::Connected; }, 8000);
    }
    ~NetworkWindow() {
        if (window) {
            window->close();
        }
    }
};

// Simulated units on a pseudo-terminal, served by ser2net in the row's mode.
struct ServedLine {
    SimProcess sim;
    Ser2netProcess server;
    explicit ServedLine(const QString& ids) : sim(ids) {}
    bool start() {
        QFETCH_GLOBAL(int, mode);
        return sim.start() && server.start(sim.link(), Ser2netProcess::Mode(mode));
    }
};

QByteArray Header(const QByteArray& frameHex) {
    return frameHex.mid(8, 6);
}

} // namespace

class TestDeviceServer : public QObject {
    Q_OBJECT
private slots:
    // Every test runs once through the server in raw mode and once with RFC 2217.
    void initTestCase_data();
    void initTestCase();
    void connectAndEditAsOnASerialLine();
    void broadcastInitialDataLoad();
    void cliReadWriteRoundTrip();
    void stoppedServerIsReportedWithoutHanging();
};

void TestDeviceServer::initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    if (Ser2netProcess::program().isEmpty()) {
        QSKIP("ser2net is not installed (Debian package ser2net; scripts/setup installs it)");
    }
}

void TestDeviceServer::initTestCase_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("raw TCP") << int(Ser2netProcess::Mode::Raw);
    QTest::newRow("RFC 2217") << int(Ser2netProcess::Mode::Rfc2217);
}

void TestDeviceServer::connectAndEditAsOnASerialLine() {
    ServedLine line(QStringLiteral("1"));
    QVERIFY(line.start());
    SimProcess& sim = line.sim;
    Ser2netProcess& server = line.server;
    NetworkWindow app;
    QVERIFY(app.open(server.url()));
    QVERIFY(app.connectTo(1));
    QCOMPARE(app.window->widgets().connectionPane->text(),
             QStringLiteral("Connected ") + server.url());
    QVERIFY(WaitUntil([&] { return !sim.framesWith("A20021").isEmpty(); }, 3000));
    // An edit goes out through the send queue as on a serial line.
    app.window->session().model().setCrossoverFrequencyHz(High, UnitModel::Filter::HighPass,
                                                          FrequencyTable[77]);
    QVERIFY(WaitUntil([&] { return quint8(sim.unitImage(1).at(8)) == 77; }, 5000));
    QList<QByteArray> headers;
    for (const QByteArray& f : sim.frames()) {
        if (Header(f) != "A2002B") {
            headers.append(Header(f));
        }
    }
    QCOMPARE(headers, (QList<QByteArray>{"A20028", "A20026", "A20021", "A10000"}));
    // The unit's name table and image came through: the preset list shows its names.
    QVERIFY(app.window->widgets().devicePresetList->itemText(0).startsWith("Pre0:"));
    QVERIFY(app.window->widgets().devicePresetList->itemText(0).size() > 5);
    QVERIFY(app.answerer.messages().isEmpty());
}

void TestDeviceServer::broadcastInitialDataLoad() {
    ServedLine line(QStringLiteral("1,2,3"));
    QVERIFY(line.start());
    SimProcess& sim = line.sim;
    Ser2netProcess& server = line.server;
    NetworkWindow app;
    QVERIFY(app.open(server.url()));
    ShellWidgets& w = app.window->widgets();
    w.broadcastButton->click();
    QVERIFY(WaitUntil([&] { return w.connectButton->isEnabled(); }, 3000));
    w.connectButton->click();
    QVERIFY(WaitUntil([&] { return w.initialDataPanel->isVisible(); }, 5000));
    // The source is unit 2, read by its own ID, then written to every unit twice.
    const QByteArray image = sim.unitImage(2);
    QVERIFY(sim.unitImage(1) != image);
    w.sourceIdField->setText(QStringLiteral("2"));
    QTimer::singleShot(0, w.sourceIdButton, &QPushButton::click);
    QVERIFY(WaitUntil([&] { return sim.framesWith("A10028").size() >= 2; }, 15000));
    QVERIFY(
        WaitUntil([&] { return sim.unitImage(1) == image && sim.unitImage(3) == image; }, 3000));
    // (The start-up search probed IDs 1..10 through the server as well.)
    const QByteArray poll = ToHexText(StatusPoll(BroadcastAddress));
    QCOMPARE(sim.frames().count(poll), 2);
    const QByteArray write =
        ToHexText(DeviceFrame(BroadcastAddress, WriteBlock, 0, ParameterImageBlock, 0, image));
    QCOMPARE(sim.framesWith("A10028"), (QList<QByteArray>{write, write}));
}

void TestDeviceServer::cliReadWriteRoundTrip() {
    ServedLine line(QStringLiteral("1,2"));
    QVERIFY(line.start());
    SimProcess& sim = line.sim;
    Ser2netProcess& server = line.server;
    QTemporaryDir dir;
    const QString one = dir.filePath("one.sps");
    const QString back = dir.filePath("back.sps");
    CliRun run = RunCli({"read", "--port", server.url(), "--id", "1", "-o", one});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    run = RunCli({"write", "--port", server.url(), "--id", "2", one});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(sim.unitImage(2), sim.unitImage(1));
    run = RunCli({"read", "--port", server.url(), "--id", "2", "-o", back});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QFile a(one);
    QFile b(back);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(QByteArray::fromHex(b.readAll().mid(20, 640)),
             QByteArray::fromHex(a.readAll().mid(20, 640)));
    // A scan through the server finds both units.
    run = RunCli({"scan", "--port", server.url(), "--ids", "1-3"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.count('\n'), 3);
}

void TestDeviceServer::stoppedServerIsReportedWithoutHanging() {
    ServedLine line(QStringLiteral("1"));
    QVERIFY(line.start());
    SimProcess& sim = line.sim;
    Ser2netProcess& server = line.server;
    NetworkWindow app;
    QVERIFY(app.open(server.url()));
    QVERIFY(app.connectTo(1));
    ShellWidgets& w = app.window->widgets();

    // The server stops while connected: the port has vanished.
    QElapsedTimer clock;
    clock.start();
    server.stop();
    QVERIFY(WaitUntil([&] { return app.answerer.messages().contains(NoDevice); }, 5000));
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(app.window->connection().state(), UnitConnection::State::Disconnected);
    QCOMPARE(w.connectionPane->text(), QStringLiteral("Disconnected"));

    // "Connect" with the server still stopped: the port cannot be opened, with the reason.
    QVERIFY(WaitUntil([&] { return w.connectButton->isEnabled(); }, 3000));
    app.answerer.clear();
    clock.restart();
    w.connectButton->click();
    QVERIFY(WaitUntil([&] { return !app.answerer.messages().isEmpty(); }, 5000));
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    const QStringList lines = app.answerer.lastMessage().split(QLatin1Char('\r'));
    QCOMPARE(lines.mid(0, 2).join(QLatin1Char('\r')), PortFailed);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[2].contains(QStringLiteral("refused")), qPrintable(lines[2]));

    // The server is back: the next "Connect" opens a new connection.
    QFETCH_GLOBAL(int, mode);
    QVERIFY(server.start(sim.link(), Ser2netProcess::Mode(mode), server.port()));
    QVERIFY(app.connectTo(1));
}

QTEST_MAIN(TestDeviceServer)
#include "test_device_server.moc"
