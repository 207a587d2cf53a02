// The serial driver against a real pseudo-terminal: the test holds the master side and plays
// the amplifier unit; the driver opens the slave side by its path.
#include "link/serial_driver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

using namespace quellaton;
using State = SerialDriver::DriverState;

namespace {

// Bound asserted for ClosePort: at most its drain time for a frame still being written, with
// room for a loaded machine.
constexpr qint64 CloseBoundMs = quellaton::SerialDriver::CloseDrainMs + 500;

class Pty {
public:
    Pty() {
        if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
            return;
        termios t{};
        ::tcgetattr(slave_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave_, TCSANOW, &t);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        path_ = QString::fromLocal8Bit(::ttyname(slave_));
    }
    ~Pty() {
        closeMaster();
        if (slave_ >= 0)
            ::close(slave_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0 && !path_.isEmpty(); }
    QString path() const { return path_; }
    int slave() const { return slave_; }

    void closeMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

    // Hangs the terminal up for every descriptor open on it.
    bool hangUp() { return ::ioctl(slave_, TIOCVHANGUP) == 0; }

    bool write(const QByteArray& bytes) {
        return ::write(master_, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Collects what the driver wrote until `count` bytes arrived or `timeoutMs` passed, keeping
    // the event loop running (the driver writes from it).
    QByteArray read(qsizetype count, int timeoutMs) {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < count && clock.elapsed() < timeoutMs) {
            drainInto(got);
            if (got.size() < count)
                QTest::qWait(10);
        }
        drainInto(got);
        return got;
    }

private:
    void drainInto(QByteArray& got) {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, n);
        }
    }

    int master_ = -1;
    int slave_ = -1;
    QString path_;
};

double processCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

qint64 timedClose(SerialDriver& driver) {
    QElapsedTimer clock;
    clock.start();
    driver.ClosePort();
    return clock.elapsed();
}

// The driver on the test's terminal, receiving.
bool OpenReceiving(Pty& pty, SerialDriver& driver) {
    if (!pty.ok())
        return false;
    driver.PortLocation = pty.path();
    driver.OpenPort();
    driver.StartWatcher();
    return driver.state() == State::Receiving;
}

QByteArray frameBytes(int size) {
    QByteArray frame;
    for (int i = 0; i < size; ++i)
        frame.append(char((i * 37 + 0xA5) & 0xFF));
    return frame;
}

} // namespace

class TestSerialDriver : public QObject {
    Q_OBJECT
private slots:
    void openConfiguresLineAndCloseReleases();
    void failedOpenReportsNothing();
    void heldDeviceCannotBeOpenedTwice();
    void receivedBytesAppendAsHexOncePerPass();
    void bytesArrivingWhilePassArmedJoinThatPass();
    void emptyPassLeavesReceiveTextAlone();
    void parserMayCloseThePort();
    void writeSendsNothingWithoutFrameOrPort();
    void writtenFrameArrivesWhole();
    void writeReturnsWhenTheFrameHasLeftTheLine_data();
    void writeReturnsWhenTheFrameHasLeftTheLine();
    void writeWaitEndsWhenThePortCloses();
    void openDiscardsWhatArrivedBefore();
    void shutdownLetsNoFurtherFrameOut();
    void closeIsBoundedInEveryState();
    void vanishedDeviceBreaksWithoutSpinning_data();
    void vanishedDeviceBreaksWithoutSpinning();
};

void TestSerialDriver::openConfiguresLineAndCloseReleases() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    QSignalSpy states(&driver, &SerialDriver::stateChanged);
    QCOMPARE(driver.state(), State::Closed);
    QVERIFY(!driver.PortOpen());

    // StartWatcher on a closed driver does nothing.
    driver.StartWatcher();
    QCOMPARE(driver.state(), State::Closed);

    driver.PortLocation = pty.path();
    driver.OpenPort();
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
    driver.OpenPort();
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
    driver.OpenPort();
    QVERIFY(driver.PortOpen());
    driver.ClosePort();

    // Closing a closed port does nothing.
    const int changes = states.count();
    driver.ClosePort();
    QCOMPARE(states.count(), changes);
    QVERIFY(!driver.PortOpen());
}

void TestSerialDriver::failedOpenReportsNothing() {
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
        driver.PortLocation = location;
        driver.OpenPort();
        QVERIFY(!driver.PortOpen());
        QCOMPARE(driver.state(), State::Closed);
        driver.StartWatcher();
        driver.ClosePort();
        QCOMPARE(driver.state(), State::Closed);
        QCOMPARE(states.count(), 0);
    }
}

void TestSerialDriver::heldDeviceCannotBeOpenedTwice() {
    Pty pty;
    QVERIFY(pty.ok());

    // Held by another QSerialPort of the same process.
    {
        QSerialPort holder;
        holder.setPortName(pty.path());
        QVERIFY(holder.open(QIODevice::ReadWrite));

        SerialDriver driver;
        int parsed = 0;
        driver.parser = [&] { ++parsed; };
        driver.PortLocation = pty.path();
        driver.OpenPort();
        QVERIFY(!driver.PortOpen());
        driver.StartWatcher();
        QCOMPARE(driver.state(), State::Closed);

        QVERIFY(pty.write(QByteArray::fromHex("A5A5A5")));
        QTest::qWait(200);
        QCOMPARE(parsed, 0);
        QVERIFY(driver.ReceiveText.isEmpty());
    }

    // Held by another driver.
    SerialDriver first;
    first.PortLocation = pty.path();
    first.OpenPort();
    QVERIFY(first.PortOpen());
    SerialDriver second;
    second.PortLocation = pty.path();
    second.OpenPort();
    QVERIFY(!second.PortOpen());
    second.StartWatcher();
    QCOMPARE(second.state(), State::Closed);
    QCOMPARE(first.state(), State::Open);
}

void TestSerialDriver::receivedBytesAppendAsHexOncePerPass() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    int parsed = 0;
    QByteArray seenByParser;
    driver.parser = [&] {
        ++parsed;
        seenByParser = driver.ReceiveText;
    };
    driver.PortLocation = pty.path();
    driver.OpenPort();
    driver.StartWatcher();
    QCOMPARE(driver.state(), State::Receiving);

    driver.ReceiveText = "A5";
    QVERIFY(pty.write(QByteArray("\x0A\xFF", 2)));
    QTRY_COMPARE_WITH_TIMEOUT(parsed, 1, 5000);
    QCOMPARE(seenByParser, QByteArray("A50AFF"));
    QCOMPARE(driver.ReceiveText, QByteArray("A50AFF"));

    // Nothing more arrives: no further pass, no further parser call.
    QTest::qWait(200);
    QCOMPARE(parsed, 1);

    // A parser that consumed the text; the next burst is appended to what it left.
    driver.ReceiveText = "51";
    QVERIFY(pty.write(QByteArray::fromHex("00abcdef")));
    QTRY_COMPARE_WITH_TIMEOUT(parsed, 2, 5000);
    QCOMPARE(driver.ReceiveText, QByteArray("5100ABCDEF"));

    driver.ClosePort();
}

void TestSerialDriver::bytesArrivingWhilePassArmedJoinThatPass() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    int parsed = 0;
    driver.parser = [&] { ++parsed; };
    driver.PortLocation = pty.path();
    driver.OpenPort();

    // Bytes queued before the watcher starts are collected by the first pass.
    QVERIFY(pty.write(QByteArray::fromHex("0102")));
    QTest::qWait(100);
    QCOMPARE(parsed, 0);
    driver.StartWatcher();
    QTRY_COMPARE_WITH_TIMEOUT(parsed, 1, 5000);
    QCOMPARE(driver.ReceiveText, QByteArray("0102"));

    // A reply split in two parts: the second part arrives while the pass armed by the first is
    // still counting down, and both reach the parser in one call.
    driver.ReceiveText.clear();
    QVERIFY(pty.write(QByteArray::fromHex("A5A5A500")));
    QTRY_VERIFY_WITH_TIMEOUT(driver.passArmed(), 5000);
    QVERIFY(pty.write(QByteArray::fromHex("51AA")));
    QTRY_COMPARE_WITH_TIMEOUT(parsed, 2, 5000);
    QCOMPARE(driver.ReceiveText, QByteArray("A5A5A50051AA"));
    QTest::qWait(200);
    QCOMPARE(parsed, 2);

    // A long burst (more than one read buffer) arrives whole and in order over passes.
    driver.ReceiveText.clear();
    const QByteArray burst = frameBytes(6000);
    QVERIFY(pty.write(burst));
    QTRY_COMPARE_WITH_TIMEOUT(driver.ReceiveText.size(), burst.size() * 2, 10000);
    QCOMPARE(driver.ReceiveText, burst.toHex().toUpper());
    driver.ClosePort();
}

void TestSerialDriver::emptyPassLeavesReceiveTextAlone() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    int parsed = 0;
    driver.parser = [&] { ++parsed; };
    driver.PortLocation = pty.path();
    driver.OpenPort();
    driver.StartWatcher();
    driver.ReceiveText = "ABCD";

    // A notification with nothing queued: the pass finds the queue empty.
    auto* port = driver.findChild<QSerialPort*>("serialPort");
    QVERIFY(port);
    emit port->readyRead();
    QVERIFY(driver.passArmed());
    QTRY_VERIFY_WITH_TIMEOUT(!driver.passArmed(), 5000);
    QTest::qWait(100);
    QCOMPARE(parsed, 0);
    QCOMPARE(driver.ReceiveText, QByteArray("ABCD"));
    QCOMPARE(driver.state(), State::Receiving);
    driver.ClosePort();
}

void TestSerialDriver::parserMayCloseThePort() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    int parsed = 0;
    driver.parser = [&] {
        ++parsed;
        driver.ClosePort();
    };
    driver.PortLocation = pty.path();
    driver.OpenPort();
    driver.StartWatcher();
    QVERIFY(pty.write(QByteArray::fromHex("A5")));
    QTRY_COMPARE_WITH_TIMEOUT(parsed, 1, 5000);
    QCOMPARE(driver.state(), State::Closed);
    QVERIFY(pty.write(QByteArray::fromHex("A5")));
    QTest::qWait(200);
    QCOMPARE(parsed, 1);
    QCOMPARE(driver.ReceiveText, QByteArray("A5"));
}

void TestSerialDriver::writeSendsNothingWithoutFrameOrPort() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    driver.PortLocation = pty.path();

    // Closed port: nothing is sent, SendText kept.
    driver.SendText = QByteArray::fromHex("A5A5A5");
    driver.WriteFrame();
    QVERIFY(pty.read(1, 200).isEmpty());
    QCOMPARE(driver.SendText, QByteArray::fromHex("A5A5A5"));

    // Open port, empty frame: nothing is sent.
    driver.OpenPort();
    driver.StartWatcher();
    driver.SendText.clear();
    driver.WriteFrame();
    QVERIFY(pty.read(1, 200).isEmpty());

    // After a close nothing is sent either.
    driver.SendText = QByteArray::fromHex("A5A5A5");
    driver.ClosePort();
    driver.WriteFrame();
    QVERIFY(pty.read(1, 200).isEmpty());
}

void TestSerialDriver::writtenFrameArrivesWhole() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    driver.PortLocation = pty.path();
    driver.OpenPort();

    // The port is usable before the watcher starts.
    const QByteArray poll = QByteArray::fromHex("A5A5A5000100000000000001AA");
    driver.SendText = poll;
    driver.WriteFrame();
    QCOMPARE(pty.read(poll.size(), 5000), poll);
    QCOMPARE(driver.SendText, poll);

    // A frame longer than any single chunk, written while receiving, arrives whole and in order;
    // two frames written back to back arrive one after the other.
    driver.StartWatcher();
    const QByteArray image = frameBytes(1400);
    driver.SendText = image;
    driver.WriteFrame();
    driver.SendText = poll;
    driver.WriteFrame();
    QCOMPARE(pty.read(image.size() + poll.size(), 10000), image + poll);
    QCOMPARE(driver.SendText, poll);

    // A frame written just before the port closes still goes out whole.
    driver.SendText = poll + poll;
    driver.WriteFrame();
    driver.ClosePort();
    QCOMPARE(pty.read(2 * poll.size(), 5000), poll + poll);
}

void TestSerialDriver::closeIsBoundedInEveryState() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    int parsed = 0;
    driver.parser = [&] { ++parsed; };
    driver.PortLocation = pty.path();

    // Open, no watcher.
    driver.OpenPort();
    QCOMPARE(driver.state(), State::Open);
    QVERIFY(timedClose(driver) < CloseBoundMs);
    QCOMPARE(driver.state(), State::Closed);

    // Receiving, idle.
    driver.OpenPort();
    driver.StartWatcher();
    QVERIFY(timedClose(driver) < CloseBoundMs);
    QCOMPARE(driver.state(), State::Closed);

    // Receiving with a pass armed and bytes queued: the pass is dropped with the port.
    driver.OpenPort();
    driver.StartWatcher();
    QVERIFY(pty.write(QByteArray::fromHex("A5A5")));
    QTRY_VERIFY_WITH_TIMEOUT(driver.passArmed(), 5000);
    QVERIFY(timedClose(driver) < CloseBoundMs);
    QVERIFY(!driver.passArmed());
    QTest::qWait(150);
    QCOMPARE(parsed, 0);

    // Receiving with a frame still being written.
    driver.OpenPort();
    driver.StartWatcher();
    driver.SendText = frameBytes(2000);
    driver.WriteFrame();
    QVERIFY(timedClose(driver) < CloseBoundMs);
    QCOMPARE(driver.state(), State::Closed);

    // Broken.
    driver.OpenPort();
    driver.StartWatcher();
    pty.closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(driver.state(), State::Broken, 5000);
    QVERIFY(timedClose(driver) < CloseBoundMs);
    QCOMPARE(driver.state(), State::Closed);
    QVERIFY(!driver.PortOpen());
}

void TestSerialDriver::vanishedDeviceBreaksWithoutSpinning_data() {
    QTest::addColumn<bool>("watching");
    QTest::addColumn<bool>("midRead");
    QTest::addColumn<bool>("hangUp");
    // The other end closing (the unit's link goes away): reads fail with an I/O error.
    QTest::newRow("closed, receiving, bytes in flight") << true << true << false;
    QTest::newRow("closed, receiving, idle") << true << false << false;
    QTest::newRow("closed, open, no watcher") << false << false << false;
    // The terminal hung up, as when an adapter is unplugged: reads then return end-of-file
    // forever and the descriptor stays readable, without QSerialPort reporting an error.
    QTest::newRow("hung up, receiving, bytes in flight") << true << true << true;
    QTest::newRow("hung up, receiving, idle") << true << false << true;
    QTest::newRow("hung up, open, no watcher") << false << false << true;
}

void TestSerialDriver::vanishedDeviceBreaksWithoutSpinning() {
    QFETCH(bool, watching);
    QFETCH(bool, midRead);
    QFETCH(bool, hangUp);
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    int parsed = 0;
    driver.parser = [&] { ++parsed; };
    QSignalSpy states(&driver, &SerialDriver::stateChanged);
    driver.PortLocation = pty.path();
    driver.OpenPort();
    if (watching)
        driver.StartWatcher();

    if (midRead) {
        QVERIFY(pty.write(QByteArray::fromHex("A5A5A50001")));
        QTRY_VERIFY_WITH_TIMEOUT(driver.passArmed(), 5000);
    }
    if (hangUp) {
        if (!pty.hangUp())
            QSKIP("hanging up a terminal needs CAP_SYS_ADMIN");
    } else {
        pty.closeMaster();
    }
    QTRY_COMPARE_WITH_TIMEOUT(driver.state(), State::Broken, 5000);
    QVERIFY(driver.PortOpen());
    QCOMPARE(states.last().at(0).value<State>(), State::Broken);

    // Nothing keeps polling the dead handle: over a second of running event loop the process
    // uses a small share of one core (a spinning loop would use all of it).
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(1000);
    const double cpu = processCpuSeconds() - cpuBefore;
    QVERIFY2(cpu < 0.25 * double(wall.elapsed()) / 1000.0,
             qPrintable(QStringLiteral("%1 s CPU in %2 ms").arg(cpu).arg(wall.elapsed())));
    QVERIFY(parsed <= 1);

    // Writes do nothing now, and the driver stays Broken until ClosePort.
    driver.SendText = QByteArray::fromHex("A5A5A5");
    driver.WriteFrame();
    QTest::qWait(50);
    QCOMPARE(driver.state(), State::Broken);
    QVERIFY(driver.PortOpen());

    QVERIFY(timedClose(driver) < CloseBoundMs);
    QVERIFY(!driver.PortOpen());
    QCOMPARE(driver.state(), State::Closed);
}

void TestSerialDriver::writeReturnsWhenTheFrameHasLeftTheLine_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("framesAhead");
    QTest::newRow("status poll") << 12 << 0;
    QTest::newRow("image rest") << 322 << 0;
    // A frame handed over while another is still on the line follows it.
    QTest::newRow("poll behind an image rest") << 12 << 1;
}

void TestSerialDriver::writeReturnsWhenTheFrameHasLeftTheLine() {
    QFETCH(int, size);
    QFETCH(int, framesAhead);
    Pty pty;
    SerialDriver driver;
    QVERIFY(OpenReceiving(pty, driver));

    // Events keep running while the write waits: a timer started now fires inside it, and
    // writes the frame ahead first when asked to.
    const QByteArray ahead = frameBytes(322);
    bool timerRan = false;
    QTimer::singleShot(0, &driver, [&] { timerRan = true; });
    QElapsedTimer clock;
    clock.start();
    if (framesAhead > 0) {
        driver.SendText = ahead;
        QVERIFY(driver.WriteFrame());
    }
    driver.SendText = frameBytes(size);
    QVERIFY(driver.WriteFrame());
    const qint64 tookNs = clock.nsecsElapsed();
    const qint64 lineNs = SerialDriver::LineTimeNs(size + framesAhead * ahead.size());
    QVERIFY2(tookNs >= lineNs, qPrintable(QStringLiteral("returned after %1 us, line time %2 us")
                                              .arg(tookNs / 1000)
                                              .arg(lineNs / 1000)));
    QVERIFY(timerRan);
    QCOMPARE(pty.read(size + framesAhead * ahead.size(), 5000).size(),
             size + framesAhead * ahead.size());
}

void TestSerialDriver::writeWaitEndsWhenThePortCloses() {
    Pty pty;
    SerialDriver driver;
    QVERIFY(OpenReceiving(pty, driver));
    // 1400 bytes take about 1.46 s; the port is closed 100 ms into them.
    QTimer::singleShot(100, &driver, [&] { driver.ClosePort(); });
    driver.SendText = frameBytes(1400);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!driver.WriteFrame());
    QVERIFY2(clock.elapsed() < 1000, "the write stops waiting when its port goes");
    QCOMPARE(driver.state(), State::Closed);
}

void TestSerialDriver::openDiscardsWhatArrivedBefore() {
    Pty pty;
    QVERIFY(pty.ok());
    // Late replies to an earlier connection wait in the terminal's input queue.
    QVERIFY(pty.write(QByteArray::fromHex("A5A5A500522B000008")));
    QTest::qWait(50);
    SerialDriver driver;
    driver.PortLocation = pty.path();
    int passes = 0;
    driver.parser = [&] { ++passes; };
    driver.OpenPort();
    driver.StartWatcher();
    QTest::qWait(200);
    QCOMPARE(passes, 0);
    QVERIFY(driver.ReceiveText.isEmpty());
    // What comes after the open is received as usual.
    QVERIFY(pty.write(QByteArray::fromHex("0AFF")));
    QTRY_COMPARE_WITH_TIMEOUT(driver.ReceiveText, QByteArray("0AFF"), 3000);
}

void TestSerialDriver::shutdownLetsNoFurtherFrameOut() {
    Pty pty;
    SerialDriver driver;
    QVERIFY(OpenReceiving(pty, driver));
    const QByteArray inFlight = frameBytes(200);
    // The program closes while a frame is on the line: it finishes, nothing follows it.
    QTimer::singleShot(20, &driver, [&] {
        driver.Shutdown();
        driver.SendText = frameBytes(12);
        QVERIFY(!driver.WriteFrame());
    });
    driver.SendText = inFlight;
    driver.WriteFrame();
    driver.SendText = frameBytes(30);
    QVERIFY(!driver.WriteFrame());
    QCOMPARE(pty.read(inFlight.size() + 42, 500), inFlight);
}

QTEST_GUILESS_MAIN(TestSerialDriver)
#include "test_serial_driver.moc"
