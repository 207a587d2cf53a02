// The serial driver opening and releasing a pseudo-terminal, and handing on what it receives.
#include "pty_line.h"

using namespace quellaton;
using namespace quellaton::driver_test;

class TestSerialDriverOpen : public QObject {
    Q_OBJECT
private slots:
    void openConfiguresLineAndCloseReleases();
    void failedOpenReportsNothing();
    void heldDeviceCannotBeOpenedTwice();
    void receivedBytesAppendAsHexOncePerPass();
    void bytesArrivingWhilePassArmedJoinThatPass();
    void emptyPassHandsNothingOn();
    void listenerMayCloseThePort();
};

void TestSerialDriverOpen::openConfiguresLineAndCloseReleases() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    QSignalSpy states(&driver, &SerialDriver::stateChanged);
    QCOMPARE(driver.state(), State::Closed);
    QVERIFY(!driver.PortOpen());

    // StartWatcher on a closed driver does nothing.
    driver.StartWatcher();
    QCOMPARE(driver.state(), State::Closed);

    driver.OpenPort(pty.path());
    QVERIFY(driver.PortOpen());
    QCOMPARE(driver.state(), State::Open);
    QCOMPARE(states.count(), 1);

    termios t{};
    QCOMPARE(::tcgetattr(pty.slave(), &t), 0);
    QCOMPARE(::cfgetispeed(&t), speed_t(B9600));
    QCOMPARE(::cfgetospeed(&t), speed_t(B9600));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & PARENB, tcflag_t(0));
    QCOMPARE(t.c_cflag & CSTOPB, tcflag_t(0));

    // A second OpenPort on an open driver leaves it as it is.
    driver.OpenPort(pty.path());
    QCOMPARE(driver.state(), State::Open);

    driver.StartWatcher();
    QCOMPARE(driver.state(), State::Receiving);
    driver.ClosePort();
    QVERIFY(!driver.PortOpen());
    QCOMPARE(driver.state(), State::Closed);

    // The device is free again: another port, and then the driver, can open it.
    {
        QSerialPort other;
        other.setPortName(pty.path());
        QVERIFY(other.open(QIODevice::ReadWrite));
    }
    driver.OpenPort(pty.path());
    QVERIFY(driver.PortOpen());
    driver.ClosePort();

    // Closing a closed port does nothing.
    const int changes = states.count();
    driver.ClosePort();
    QCOMPARE(states.count(), changes);
    QVERIFY(!driver.PortOpen());
}

void TestSerialDriverOpen::failedOpenReportsNothing() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString plainFile = dir.filePath("not-a-tty");
    {
        QFile f(plainFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    for (const QString& location : {dir.filePath("missing"), plainFile}) {
        SerialDriver driver;
        QSignalSpy states(&driver, &SerialDriver::stateChanged);
        driver.OpenPort(location);
        QVERIFY(!driver.PortOpen());
        QCOMPARE(driver.state(), State::Closed);
        driver.StartWatcher();
        driver.ClosePort();
        QCOMPARE(driver.state(), State::Closed);
        QCOMPARE(states.count(), 0);
    }
}

void TestSerialDriverOpen::heldDeviceCannotBeOpenedTwice() {
    Pty pty;
    QVERIFY(pty.ok());

    // Held by another QSerialPort of the same process.
    {
        QSerialPort holder;
        holder.setPortName(pty.path());
        QVERIFY(holder.open(QIODevice::ReadWrite));

        SerialDriver driver;
        Passes passes(driver);
        driver.OpenPort(pty.path());
        QVERIFY(!driver.PortOpen());
        driver.StartWatcher();
        QCOMPARE(driver.state(), State::Closed);

        QVERIFY(pty.write(QByteArray::fromHex("A5A5A5")));
        QTest::qWait(200);
        QCOMPARE(passes.count, 0);
        QVERIFY(passes.text.isEmpty());
    }

    // Held by another driver.
    SerialDriver first;
    first.OpenPort(pty.path());
    QVERIFY(first.PortOpen());
    SerialDriver second;
    second.OpenPort(pty.path());
    QVERIFY(!second.PortOpen());
    second.StartWatcher();
    QCOMPARE(second.state(), State::Closed);
    QCOMPARE(first.state(), State::Open);
}

void TestSerialDriverOpen::receivedBytesAppendAsHexOncePerPass() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    Passes passes(driver);
    QByteArray seen;
    connect(&driver, &SerialDriver::received, this, [&](const QByteArray& bytes) { seen = bytes; });
    driver.OpenPort(pty.path());
    driver.StartWatcher();
    QCOMPARE(driver.state(), State::Receiving);

    passes.text = "A5";
    QVERIFY(pty.write(QByteArray("\x0A\xFF", 2)));
    QTRY_COMPARE_WITH_TIMEOUT(passes.count, 1, 5000);
    QCOMPARE(seen, QByteArray("\x0A\xFF", 2));
    QCOMPARE(passes.text, QByteArray("A50AFF"));

    // Nothing more arrives: no further pass.
    QTest::qWait(200);
    QCOMPARE(passes.count, 1);

    // The next burst is appended to what the reader left.
    passes.text = "51";
    QVERIFY(pty.write(QByteArray::fromHex("00abcdef")));
    QTRY_COMPARE_WITH_TIMEOUT(passes.count, 2, 5000);
    QCOMPARE(passes.text, QByteArray("5100ABCDEF"));

    driver.ClosePort();
}

void TestSerialDriverOpen::bytesArrivingWhilePassArmedJoinThatPass() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    Passes passes(driver);
    driver.OpenPort(pty.path());

    // Bytes queued before the watcher starts are collected by the first pass.
    QVERIFY(pty.write(QByteArray::fromHex("0102")));
    QTest::qWait(100);
    QCOMPARE(passes.count, 0);
    driver.StartWatcher();
    QTRY_COMPARE_WITH_TIMEOUT(passes.count, 1, 5000);
    QCOMPARE(passes.text, QByteArray("0102"));

    // A reply split in two parts: the second part arrives while the pass armed by the first is
    // still counting down, and both are handed on in one pass.
    passes.text.clear();
    QVERIFY(pty.write(QByteArray::fromHex("A5A5A500")));
    QTRY_VERIFY_WITH_TIMEOUT(driver.passArmed(), 5000);
    QVERIFY(pty.write(QByteArray::fromHex("51AA")));
    QTRY_COMPARE_WITH_TIMEOUT(passes.count, 2, 5000);
    QCOMPARE(passes.text, QByteArray("A5A5A50051AA"));
    QTest::qWait(200);
    QCOMPARE(passes.count, 2);

    // A long burst (more than one read buffer) arrives whole and in order over passes.
    passes.text.clear();
    const QByteArray burst = frameBytes(6000);
    QVERIFY(pty.write(burst));
    QTRY_COMPARE_WITH_TIMEOUT(passes.text.size(), burst.size() * 2, 10000);
    QCOMPARE(passes.text, burst.toHex().toUpper());
    driver.ClosePort();
}

void TestSerialDriverOpen::emptyPassHandsNothingOn() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    Passes passes(driver);
    driver.OpenPort(pty.path());
    driver.StartWatcher();

    // A notification with nothing queued: the pass finds the queue empty.
    auto* port = driver.findChild<QSerialPort*>("serialPort");
    QVERIFY(port);
    emit port->readyRead();
    QVERIFY(driver.passArmed());
    QTRY_VERIFY_WITH_TIMEOUT(!driver.passArmed(), 5000);
    QTest::qWait(100);
    QCOMPARE(passes.count, 0);
    QCOMPARE(driver.state(), State::Receiving);
    driver.ClosePort();
}

void TestSerialDriverOpen::listenerMayCloseThePort() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    Passes passes(driver);
    connect(&driver, &SerialDriver::received, this, [&] { driver.ClosePort(); });
    driver.OpenPort(pty.path());
    driver.StartWatcher();
    QVERIFY(pty.write(QByteArray::fromHex("A5")));
    QTRY_COMPARE_WITH_TIMEOUT(passes.count, 1, 5000);
    QCOMPARE(driver.state(), State::Closed);
    QVERIFY(pty.write(QByteArray::fromHex("A5")));
    QTest::qWait(200);
    QCOMPARE(passes.count, 1);
    QCOMPARE(passes.text, QByteArray("A5"));
}

QTEST_GUILESS_MAIN(TestSerialDriverOpen)
#include "test_serial_driver_open.moc"
