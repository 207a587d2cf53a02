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
    driver.OpenPort(pty.path());
    driver.StartWatcher();
    return driver.state() == State::Receiving;
}

// What the driver hands on: the passes, and their bytes as upper-case hex text in arrival
// order (as the frame reader keeps them).
struct Passes {
    explicit Passes(SerialDriver& driver) {
        QObject::connect(&driver, &SerialDriver::received, [this](const QByteArray& bytes) {
            ++count;
            text += bytes.toHex().toUpper();
        });
    }
    int count = 0;
    QByteArray text;
};

// Writes `frame` and waits for the driver to say it has left the line (or will not). True when
// it left the line.
bool WriteAndWait(SerialDriver& driver, const QByteArray& frame, int timeoutMs = 10000) {
    const quint64 ticket = driver.WriteFrame(frame);
    if (ticket == 0)
        return false;
    bool done = false;
    bool left = false;
    const auto c = QObject::connect(&driver, &SerialDriver::frameLeft, [&](quint64 t, bool ok) {
        if (t == ticket) {
            done = true;
            left = ok;
        }
    });
    const bool ended = QTest::qWaitFor([&] { return done; }, timeoutMs);
    QObject::disconnect(c);
    return ended && left;
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
    void emptyPassHandsNothingOn();
    void listenerMayCloseThePort();
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
        driver.OpenPort(location);
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

void TestSerialDriver::receivedBytesAppendAsHexOncePerPass() {
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

void TestSerialDriver::bytesArrivingWhilePassArmedJoinThatPass() {
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

void TestSerialDriver::emptyPassHandsNothingOn() {
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

void TestSerialDriver::listenerMayCloseThePort() {
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

void TestSerialDriver::writeSendsNothingWithoutFrameOrPort() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    QSignalSpy left(&driver, &SerialDriver::frameLeft);

    // Closed port: nothing is sent, and no ticket is given.
    QCOMPARE(driver.WriteFrame(QByteArray::fromHex("A5A5A5")), quint64(0));
    QVERIFY(pty.read(1, 200).isEmpty());

    // Open port, empty frame: nothing is sent.
    driver.OpenPort(pty.path());
    driver.StartWatcher();
    QCOMPARE(driver.WriteFrame(QByteArray()), quint64(0));
    QVERIFY(pty.read(1, 200).isEmpty());

    // After a close nothing is sent either.
    driver.ClosePort();
    QCOMPARE(driver.WriteFrame(QByteArray::fromHex("A5A5A5")), quint64(0));
    QVERIFY(pty.read(1, 200).isEmpty());
    QCOMPARE(left.count(), 0);
}

void TestSerialDriver::writtenFrameArrivesWhole() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    driver.OpenPort(pty.path());

    // The port is usable before the watcher starts.
    const QByteArray poll = QByteArray::fromHex("A5A5A5000100000000000001AA");
    QVERIFY(WriteAndWait(driver, poll));
    QCOMPARE(pty.read(poll.size(), 5000), poll);

    // A frame longer than any single chunk, written while receiving, arrives whole and in order;
    // two frames written back to back arrive one after the other, and are told in that order.
    driver.StartWatcher();
    QList<quint64> order;
    connect(&driver, &SerialDriver::frameLeft, this, [&](quint64 t, bool) { order.append(t); });
    const QByteArray image = frameBytes(1400);
    const quint64 first = driver.WriteFrame(image);
    const quint64 second = driver.WriteFrame(poll);
    QVERIFY(first != 0 && second != 0 && first != second);
    QCOMPARE(pty.read(image.size() + poll.size(), 10000), image + poll);
    QTRY_COMPARE_WITH_TIMEOUT(order, (QList<quint64>{first, second}), 5000);

    // A frame written just before the port closes still goes out whole.
    driver.WriteFrame(poll + poll);
    driver.ClosePort();
    QCOMPARE(pty.read(2 * poll.size(), 5000), poll + poll);
}

void TestSerialDriver::closeIsBoundedInEveryState() {
    Pty pty;
    QVERIFY(pty.ok());
    SerialDriver driver;
    Passes passes(driver);

    // Open, no watcher.
    driver.OpenPort(pty.path());
    QCOMPARE(driver.state(), State::Open);
    QVERIFY(timedClose(driver) < CloseBoundMs);
    QCOMPARE(driver.state(), State::Closed);

    // Receiving, idle.
    driver.OpenPort(pty.path());
    driver.StartWatcher();
    QVERIFY(timedClose(driver) < CloseBoundMs);
    QCOMPARE(driver.state(), State::Closed);

    // Receiving with a pass armed and bytes queued: the pass is dropped with the port.
    driver.OpenPort(pty.path());
    driver.StartWatcher();
    QVERIFY(pty.write(QByteArray::fromHex("A5A5")));
    QTRY_VERIFY_WITH_TIMEOUT(driver.passArmed(), 5000);
    QVERIFY(timedClose(driver) < CloseBoundMs);
    QVERIFY(!driver.passArmed());
    QTest::qWait(150);
    QCOMPARE(passes.count, 0);

    // Receiving with a frame still being written.
    driver.OpenPort(pty.path());
    driver.StartWatcher();
    driver.WriteFrame(frameBytes(2000));
    QVERIFY(timedClose(driver) < CloseBoundMs);
    QCOMPARE(driver.state(), State::Closed);

    // Broken.
    driver.OpenPort(pty.path());
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
    Passes passes(driver);
    QSignalSpy states(&driver, &SerialDriver::stateChanged);
    driver.OpenPort(pty.path());
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
    QVERIFY(passes.count <= 1);

    // Writes do nothing now, and the driver stays Broken until ClosePort.
    QCOMPARE(driver.WriteFrame(QByteArray::fromHex("A5A5A5")), quint64(0));
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

    // The write returns at once; the frame is told to have left the line only after its line
    // time (behind the frame ahead of it, when there is one).
    const QByteArray ahead = frameBytes(322);
    QElapsedTimer clock;
    clock.start();
    if (framesAhead > 0) {
        QVERIFY(driver.WriteFrame(ahead) != 0);
    }
    QVERIFY(WriteAndWait(driver, frameBytes(size)));
    const qint64 tookNs = clock.nsecsElapsed();
    const qint64 lineNs = SerialDriver::LineTimeNs(size + framesAhead * ahead.size());
    QVERIFY2(tookNs >= lineNs, qPrintable(QStringLiteral("left after %1 us, line time %2 us")
                                              .arg(tookNs / 1000)
                                              .arg(lineNs / 1000)));
    QVERIFY(!driver.writing());
    QCOMPARE(pty.read(size + framesAhead * ahead.size(), 5000).size(),
             size + framesAhead * ahead.size());
}

void TestSerialDriver::writeWaitEndsWhenThePortCloses() {
    Pty pty;
    SerialDriver driver;
    QVERIFY(OpenReceiving(pty, driver));
    // 1400 bytes take about 1.46 s; the port is closed 100 ms into them. The frame behind it is
    // given up as well.
    QTimer::singleShot(100, &driver, [&] { driver.ClosePort(); });
    QSignalSpy left(&driver, &SerialDriver::frameLeft);
    const quint64 behind = [&] {
        driver.WriteFrame(frameBytes(1400));
        return driver.WriteFrame(frameBytes(12));
    }();
    QElapsedTimer clock;
    clock.start();
    QTRY_COMPARE_WITH_TIMEOUT(left.count(), 2, 5000);
    QVERIFY2(clock.elapsed() < 1000, "the frames are given up when their port goes");
    QCOMPARE(left.at(0).at(1).toBool(), false);
    QCOMPARE(left.at(1).at(0).value<quint64>(), behind);
    QCOMPARE(left.at(1).at(1).toBool(), false);
    QCOMPARE(driver.state(), State::Closed);
}

void TestSerialDriver::openDiscardsWhatArrivedBefore() {
    Pty pty;
    QVERIFY(pty.ok());
    // Late replies to an earlier connection wait in the terminal's input queue.
    QVERIFY(pty.write(QByteArray::fromHex("A5A5A500522B000008")));
    QTest::qWait(50);
    SerialDriver driver;
    Passes passes(driver);
    driver.OpenPort(pty.path());
    driver.StartWatcher();
    QTest::qWait(200);
    QCOMPARE(passes.count, 0);
    QVERIFY(passes.text.isEmpty());
    // What comes after the open is received as usual.
    QVERIFY(pty.write(QByteArray::fromHex("0AFF")));
    QTRY_COMPARE_WITH_TIMEOUT(passes.text, QByteArray("0AFF"), 3000);
}

void TestSerialDriver::shutdownLetsNoFurtherFrameOut() {
    Pty pty;
    SerialDriver driver;
    QVERIFY(OpenReceiving(pty, driver));
    const QByteArray inFlight = frameBytes(200);
    QSignalSpy left(&driver, &SerialDriver::frameLeft);
    // The program closes while a frame is on the line: it finishes, the one waiting behind it
    // is given up, and nothing written later goes out.
    const quint64 first = driver.WriteFrame(inFlight);
    const quint64 waiting = driver.WriteFrame(frameBytes(30));
    QVERIFY(first != 0 && waiting != 0);
    QTimer::singleShot(20, &driver, [&] {
        driver.Shutdown();
        QCOMPARE(driver.WriteFrame(frameBytes(12)), quint64(0));
    });
    QCOMPARE(pty.read(inFlight.size() + 42, 500), inFlight);
    QTRY_COMPARE_WITH_TIMEOUT(left.count(), 2, 5000);
    QCOMPARE(left.at(0).at(0).value<quint64>(), waiting);
    QCOMPARE(left.at(0).at(1).toBool(), false);
    QCOMPARE(left.at(1).at(0).value<quint64>(), first);
    QCOMPARE(left.at(1).at(1).toBool(), true);
}

QTEST_GUILESS_MAIN(TestSerialDriver)
#include "test_serial_driver.moc"
