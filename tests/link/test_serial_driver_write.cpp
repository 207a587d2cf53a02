// The serial driver writing frames, closing in every state, and breaking when the device
// vanishes.
#include "pty_line.h"

using namespace quellaton;
using namespace quellaton::driver_test;

class TestSerialDriverWrite : public QObject {
    Q_OBJECT
private slots:
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

void TestSerialDriverWrite::writeSendsNothingWithoutFrameOrPort() {
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

void TestSerialDriverWrite::writtenFrameArrivesWhole() {
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

void TestSerialDriverWrite::closeIsBoundedInEveryState() {
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

void TestSerialDriverWrite::vanishedDeviceBreaksWithoutSpinning_data() {
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

void TestSerialDriverWrite::vanishedDeviceBreaksWithoutSpinning() {
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

void TestSerialDriverWrite::writeReturnsWhenTheFrameHasLeftTheLine_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("framesAhead");
    QTest::newRow("status poll") << 12 << 0;
    QTest::newRow("image rest") << 322 << 0;
    // A frame handed over while another is still on the line follows it.
    QTest::newRow("poll behind an image rest") << 12 << 1;
}

void TestSerialDriverWrite::writeReturnsWhenTheFrameHasLeftTheLine() {
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

void TestSerialDriverWrite::writeWaitEndsWhenThePortCloses() {
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

void TestSerialDriverWrite::openDiscardsWhatArrivedBefore() {
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

void TestSerialDriverWrite::shutdownLetsNoFurtherFrameOut() {
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

QTEST_GUILESS_MAIN(TestSerialDriverWrite)
#include "test_serial_driver_write.moc"
