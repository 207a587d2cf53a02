// The driver on network ports against real TCP servers in the test: raw byte streams and
// RFC 2217 with 0xFF escaped both ways, a server that refuses COM port control, connects
// that fail or never complete, and a connection that drops while open.
#include "link/serial_driver.h"
#include "link/telnet_codec.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace quellaton;
using State = SerialDriver::DriverState;

namespace {

// A poll to every unit and a unit's reply with 0xFF in it: both must cross unchanged.
const QByteArray BroadcastPoll = QByteArray::fromHex("A5A5A5FFA2002B00000076AA");
const QByteArray ReplyWithFF = QByteArray::fromHex("A5A5A50052002B000008FF00FFFF03000000FFAA");

// A server on the loopback address that plays the device server's end.
class Server {
public:
    Server() { server_.listen(QHostAddress::LocalHost); }
    QString url(const char* scheme) const {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(QLatin1String(scheme))
            .arg(server_.serverPort());
    }
    // The connection the driver made, once it is there.
    QTcpSocket* peer(int timeoutMs = 3000) {
        if (!peer_) {
            QElapsedTimer clock;
            clock.start();
            while (!server_.hasPendingConnections() && clock.elapsed() < timeoutMs) {
                QTest::qWait(5);
            }
            peer_ = server_.nextPendingConnection();
        }
        return peer_;
    }
    // Every byte the driver sent within `ms`.
    QByteArray received(int ms) {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QTest::qWait(10);
            if (peer_) {
                got += peer_->readAll();
            }
        }
        return got;
    }
    QTcpServer server_;

private:
    QTcpSocket* peer_ = nullptr;
};

// Opens the driver while the test's server answers from a timer (the open goes on in the
// event loop until the driver says it has ended), with `onConnect` sent to the driver as soon
// as it has connected.
bool OpenAgainst(SerialDriver& driver, Server& server, const QString& url,
                 const QByteArray& onConnect) {
    QTimer answer;
    answer.setInterval(5);
    bool sent = false;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (!sent && server.server_.hasPendingConnections()) {
            if (QTcpSocket* peer = server.peer()) {
                peer->write(onConnect);
                sent = true;
            }
        }
    });
    answer.start();
    driver.OpenPort(url);
    if (driver.opening()) {
        QSignalSpy finished(&driver, &SerialDriver::openFinished);
        finished.wait(NetworkConnectLimitMs + 2000);
    }
    return driver.PortOpen();
}

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

QByteArray Rfc2217Accept() {
    return Bytes({255, 253, 44, 255, 251, 0, 255, 253, 0}) +
           Bytes({255, 250, 44, 101, 0, 0, 37, 128, 255, 240, 255, 250, 44, 102, 8, 255, 240}) +
           Bytes({255, 250, 44, 103, 1, 255, 240, 255, 250, 44, 104, 1, 255, 240}) +
           Bytes({255, 250, 44, 105, 1, 255, 240});
}

} // namespace

class TestNetworkPort : public QObject {
    Q_OBJECT
private slots:
    void framesCrossUnchanged_data();
    void framesCrossUnchanged();
    void serverRefusingComPortControlIsReported();
    void connectThatFailsOrHangsEndsWithinTheLimit_data();
    void connectThatFailsOrHangsEndsWithinTheLimit();
    void droppedConnectionBreaksTheLink();
};

void TestNetworkPort::framesCrossUnchanged_data() {
    QTest::addColumn<QString>("scheme");
    QTest::newRow("raw TCP") << "tcp";
    QTest::newRow("RFC 2217") << "rfc2217";
}

void TestNetworkPort::framesCrossUnchanged() {
    QFETCH(QString, scheme);
    const bool telnet = scheme == "rfc2217";
    Server server;
    SerialDriver driver;
    QVERIFY(OpenAgainst(driver, server, server.url(qPrintable(scheme)),
                        telnet ? Rfc2217Accept() : QByteArray()));
    driver.StartWatcher();
    QVERIFY(server.peer());
    if (telnet) {
        // The client asked for COM port control at 9600 8N1 first.
        QByteArray opening;
        QTRY_VERIFY((opening += server.peer()->readAll()).size() >=
                    TelnetCodec::OpeningRequests().size());
        QVERIFY(opening.startsWith(TelnetCodec::OpeningRequests()));
    }
    QVERIFY(driver.WriteFrame(BroadcastPoll) != 0);
    const QByteArray wire = server.received(200);
    QCOMPARE(wire.toHex(), (telnet ? TelnetCodec::Escape(BroadcastPoll) : BroadcastPoll).toHex());

    QByteArray received;
    connect(&driver, &SerialDriver::received, this,
            [&](const QByteArray& bytes) { received += bytes; });
    server.peer()->write(telnet ? TelnetCodec::Escape(ReplyWithFF) : ReplyWithFF);
    QTRY_COMPARE_WITH_TIMEOUT(received.toHex(), ReplyWithFF.toHex(), 3000);
    driver.ClosePort();
    QCOMPARE(driver.state(), State::Closed);
}

void TestNetworkPort::serverRefusingComPortControlIsReported() {
    Server server;
    SerialDriver driver;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!OpenAgainst(driver, server, server.url("rfc2217"), Bytes({255, 254, 44})));
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(driver.state(), State::Closed);
    QVERIFY2(driver.openFailureReason().contains(QStringLiteral("refuses COM port control")),
             qPrintable(driver.openFailureReason()));
}

void TestNetworkPort::connectThatFailsOrHangsEndsWithinTheLimit_data() {
    QTest::addColumn<QString>("server");
    QTest::newRow("refused") << "refused";
    QTest::newRow("never answers") << "silent";
    QTest::newRow("telnet never negotiates") << "mute telnet";
}

void TestNetworkPort::connectThatFailsOrHangsEndsWithinTheLimit() {
    QFETCH(QString, server);
    int port = 0;
    int listener = -1;
    std::vector<int> fillers;
    QTcpServer mute;
    if (server == "refused") {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort(); // closed again when `probe` goes
    } else if (server == "silent") {
        // A listener whose backlog is full and that never accepts: the handshake never ends.
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        QCOMPARE(::listen(listener, 0), 0);
        socklen_t size = sizeof address;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
        for (int i = 0; i < 4; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            fillers.push_back(fd);
        }
        QTest::qWait(100);
    } else {
        QVERIFY(mute.listen(QHostAddress::LocalHost));
        port = mute.serverPort();
    }
    const QString scheme = server == "mute telnet" ? "rfc2217" : "tcp";
    SerialDriver driver;
    // The window keeps running while the port connects.
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(50);
    QElapsedTimer clock;
    clock.start();
    QSignalSpy finished(&driver, &SerialDriver::openFinished);
    driver.OpenPort(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port));
    // The open returns at once and goes on in the event loop.
    QVERIFY(driver.opening());
    QVERIFY(clock.elapsed() < 500);
    QVERIFY(finished.wait(NetworkConnectLimitMs + 2000));
    const qint64 took = clock.elapsed();
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    for (int fd : fillers) {
        ::close(fd);
    }
    if (listener >= 0) {
        ::close(listener);
    }
    QVERIFY(!driver.PortOpen());
    QVERIFY2(!driver.openFailureReason().isEmpty(), "the reason is given");
    QVERIFY2(took < NetworkConnectLimitMs + 1500, qPrintable(QString::number(took)));
    if (server == "refused") {
        QVERIFY2(took < 1000, qPrintable(QString::number(took)));
    } else {
        QVERIFY2(took >= NetworkConnectLimitMs - 100, qPrintable(QString::number(took)));
        QVERIFY2(ticks >= 20, qPrintable(QString("%1 ticks while connecting").arg(ticks)));
    }
}

void TestNetworkPort::droppedConnectionBreaksTheLink() {
    Server server;
    SerialDriver driver;
    QVERIFY(OpenAgainst(driver, server, server.url("tcp"), {}));
    driver.StartWatcher();
    QVERIFY(server.peer());
    server.peer()->close();
    QTRY_COMPARE_WITH_TIMEOUT(driver.state(), State::Broken, 2000);
    // Writes on the broken line change nothing; the next close ends it.
    QCOMPARE(driver.WriteFrame(BroadcastPoll), quint64(0));
    driver.ClosePort();
    QCOMPARE(driver.state(), State::Closed);
}

QTEST_GUILESS_MAIN(TestNetworkPort)
#include "test_network_port.moc"
