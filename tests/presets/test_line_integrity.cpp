// Preset transfers on a hostile line: replies damaged on the way never reach a file, a stray
// byte costs no slot, a named pipe chosen as a preset file does not freeze the window, and a
// program closed during a transfer puts no burst of its remaining frames on the line. With
// the line run at 9600 baud, the pauses of the transfers count from the end of each frame.
#include "preset_test_support.h"

#include "line_timing.h"
#include "operations/pacing.h"
#include "protocol/frame_reader.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace quellaton;
using namespace presettest;

namespace {

const QString Overtime = QStringLiteral("overtime，try again.");
const QString Damaged = QStringLiteral("File damaged.");
const QByteArray OldContent = "the preset file saved before\r\n";

// Asks for a transfer and answers the confirmation with its first button.
void Start(AppFixture& app, QPushButton* button) {
    app.answerer.setConfirmation(ModalAnswerer::Confirm::First);
    button->click();
}

bool ConnectSettled(AppFixture& app) {
    return app.open() && app.connectTo(1) && Settle(app);
}

QByteArray SpsContent(const SimProcess& sim) {
    return ReplyLine(sim.unitImage(1)) + "\r\n";
}

QByteArray FpsContent(const SimProcess& sim) {
    QByteArray out;
    for (int n = 1; n <= 20; ++n) {
        out += ReplyLine(sim.unitSlot(1, n), PresetSlotBlock, 0, quint8(n)) + "\r\n";
    }
    return out;
}

// Mimics a real close: the window goes and the application leaves its event loops.
void CloseProgram(AppFixture& app) {
    app.window->close();
    QCoreApplication::exit(0);
}

// After CloseProgram the application must be able to run event loops again.
void ReviveEventLoops() {
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

} // namespace

class TestLineIntegrity : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void damagedRepliesNeverReachAFile_data();
    void damagedRepliesNeverReachAFile();
    void strayByteCostsNoSlot();
    void namedPipeIsDamagedAtOnce_data();
    void namedPipeIsDamagedAtOnce();
    void closingDuringATransferSendsNoBurst_data();
    void closingDuringATransferSendsNoBurst();
    void pausesCountFromTheEndOfEachFrame();
    void broadcastPausesCountFromTheEndOfEachFrame();
};

void TestLineIntegrity::damagedRepliesNeverReachAFile_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<bool>("all");
    // A fifth of the slot replies damaged on the way: the file holds 20 intact lines in slot
    // order, or nothing changes and the time-out is reported.
    QTest::newRow("save all, 20% changed data")
        << QStringList{"--fault", "data:SlotRead:20%", "--seed", "5"} << true;
    QTest::newRow("save all, 20% bad check")
        << QStringList{"--fault", "check:SlotRead:20%", "--seed", "9"} << true;
    // A short reply runs into the next one: neither is filed as a slot.
    QTest::newRow("save all, slot 7 short") << QStringList{"--fault", "short=3:SlotRead:7"} << true;
    QTest::newRow("save this, bad end") << QStringList{"--fault", "end:ImageRead:2"} << false;
}

void TestLineIntegrity::damagedRepliesNeverReachAFile() {
    QFETCH(QStringList, simArgs);
    QFETCH(bool, all);
    AppFixture app(QStringLiteral("1"), simArgs);
    QVERIFY(ConnectSettled(app));
    QTemporaryDir dir;
    const QString path = dir.filePath(all ? "backup.fps" : "mine.sps");
    QVERIFY(WriteAll(path, OldContent));
    AnswerSave(app, path);
    app.answerer.clear();

    Start(app, all ? app.widgets().saveAllButton : app.widgets().saveOneButton);
    const int limitMs = all ? 25000 : pacing::SaveOneTimeoutMs + 5000;
    QVERIFY(WaitUntil(
        [&] { return ReadAll(path) != OldContent || app.answerer.messages().contains(Overtime); },
        limitMs));
    const QByteArray content = ReadAll(path);
    if (content == OldContent) {
        QVERIFY(app.answerer.messages().contains(Overtime));
        return;
    }
    const QList<QByteArray> lines = SplitPresetLines(content);
    QCOMPARE(lines.size(), all ? 20 : 1);
    for (int n = 1; n <= lines.size(); ++n) {
        const QByteArray& line = lines[n - 1];
        QVERIFY2(ReplyIntact(line, PresetLineChars), qPrintable(QString("line %1").arg(n)));
        if (all) {
            QCOMPARE(HexToInt(QByteArrayView(line).sliced(10, 2)), n);
            QCOMPARE(QByteArray::fromHex(line.mid(20, 640)), app.sim.unitSlot(1, n));
        }
    }
}

void TestLineIntegrity::strayByteCostsNoSlot() {
    AppFixture app(QStringLiteral("1"), {"--fault", "stray=7:SlotRead:3"});
    QVERIFY(ConnectSettled(app));
    QTemporaryDir dir;
    const QString path = dir.filePath("all.fps");
    AnswerSave(app, path);
    app.answerer.clear();
    Start(app, app.widgets().saveAllButton);
    QVERIFY(WaitUntil([&] { return QFile::exists(path); }, 25000));
    QCOMPARE(ReadAll(path), FpsContent(app.sim));
    QVERIFY(!app.answerer.messages().contains(Overtime));
}

void TestLineIntegrity::namedPipeIsDamagedAtOnce_data() {
    QTest::addColumn<QString>("transfer");
    QTest::newRow("load a preset") << "one";
    QTest::newRow("load all presets") << "all";
    QTest::newRow("initial data from a file") << "broadcast";
}

void TestLineIntegrity::namedPipeIsDamagedAtOnce() {
    QFETCH(QString, transfer);
    AppFixture app(QStringLiteral("1"));
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    if (transfer == "broadcast") {
        QVERIFY(ConnectBroadcast(app));
    } else {
        QVERIFY(app.connectTo(1));
        QVERIFY(Settle(app));
    }
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    AnswerOpen(app, fifo);
    FrameLog wire(app.sim);
    wire.clear();
    app.answerer.clear();

    // Should the open wait for a writer after all, one comes after 3 s and writes nothing, so
    // that the test fails instead of hanging.
    std::atomic<bool> done{false};
    std::thread unblock([&] {
        for (int i = 0; i < 30 && !done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
        }
    });
    QElapsedTimer clock;
    clock.start();
    if (transfer == "broadcast") {
        QTimer::singleShot(0, w.sourceFileButton, &QPushButton::click);
    } else {
        Start(app, transfer == "one" ? w.loadOneButton : w.loadAllButton);
    }
    const bool shown = WaitUntil([&] { return app.answerer.messages().contains(Damaged); }, 4000);
    const qint64 tookMs = clock.elapsed();
    done = true;
    unblock.join();
    QVERIFY(shown);
    QVERIFY2(tookMs < 1000, qPrintable(QString("after %1 ms").arg(tookMs)));
    QTest::qWait(300);
    for (const QByteArray& frame : wire.frames()) {
        QVERIFY2(frame.mid(8, 2) != "A1", frame.constData()); // nothing written to the unit
    }
}

void TestLineIntegrity::closingDuringATransferSendsNoBurst_data() {
    QTest::addColumn<QString>("transfer");
    QTest::addColumn<QByteArray>("firstFrame"); // bytes 4..6 of the transfer's first frame
    QTest::newRow("load a preset") << "one" << QByteArray("A10028");
    QTest::newRow("load all presets") << "all" << QByteArray("A10129");
    QTest::newRow("broadcast image") << "broadcast" << QByteArray("A2002B");
}

void TestLineIntegrity::closingDuringATransferSendsNoBurst() {
    QFETCH(QString, transfer);
    QFETCH(QByteArray, firstFrame);
    AppFixture app(QStringLiteral("1"), {"--realtime"});
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    QTemporaryDir dir;
    const QString path = dir.filePath(transfer == "all" ? "all.fps" : "one.sps");
    if (transfer == "broadcast") {
        QVERIFY(WriteAll(path, SpsContent(app.sim)));
        QVERIFY(ConnectBroadcast(app));
    } else {
        QVERIFY(app.connectTo(1));
        QVERIFY(Settle(app));
        QVERIFY(WriteAll(path, transfer == "all" ? FpsContent(app.sim) : SpsContent(app.sim)));
    }
    AnswerOpen(app, path);
    FrameLog wire(app.sim);
    wire.clear();

    // The transfer runs inside the event loop; the close comes from it as a user's would,
    // as soon as the transfer's first frame is on the line.
    qsizetype framesAtClose = -1;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (framesAtClose < 0 && !wire.framesWith(firstFrame).isEmpty()) {
            framesAtClose = wire.frames().size();
            watch.stop();
            CloseProgram(app);
        }
    });
    watch.start();
    if (transfer == "broadcast") {
        QTimer::singleShot(0, w.sourceFileButton, &QPushButton::click);
    } else {
        Start(app, transfer == "one" ? w.loadOneButton : w.loadAllButton);
    }
    QVERIFY(WaitUntil([&] { return framesAtClose >= 0; }, 10000));
    // Long enough for every remaining step of the transfer, had it gone on.
    QTest::qWait(2500);
    ReviveEventLoops();
    const QList<QByteArray> after = wire.frames().mid(framesAtClose);
    QVERIFY2(after.size() <= 1, qPrintable(QString("%1 frames after the close: %2")
                                               .arg(after.size())
                                               .arg(QString::fromLatin1(after.join(' ')))));
}

void TestLineIntegrity::pausesCountFromTheEndOfEachFrame() {
    // One preset and all presets on a line run at 9600 baud: each pause after a write is the
    // documented pause plus that frame's time on the line.
    AppFixture app(QStringLiteral("1"), {"--realtime"});
    QVERIFY(ConnectSettled(app));
    ShellWidgets& w = app.widgets();
    QTemporaryDir dir;
    const QString sps = dir.filePath("one.sps");
    const QString fps = dir.filePath("all.fps");
    QVERIFY(WriteAll(sps, SpsContent(app.sim)));
    QVERIFY(WriteAll(fps, FpsContent(app.sim)));
    PauseCheck pauses;
    auto writesOf = [&](qsizetype mark, const QByteArray& block) {
        QList<SimProcess::TimedFrame> out;
        for (const auto& f : app.sim.timedFrames().mid(mark)) {
            if (f.hex.mid(8, 2) == "A1" && f.hex.mid(12, 2) == block) {
                out.append(f);
            }
        }
        return out;
    };

    // Load a preset: head, 100 ms, rest.
    qsizetype mark = app.sim.timedFrames().size();
    AnswerOpen(app, sps);
    Start(app, w.loadOneButton);
    QVERIFY(WaitUntil([&] { return !writesOf(mark, "28").isEmpty(); }, 5000));
    // A stretch is what the simulator read without a pause between bytes. On a busy machine it
    // now and then reads a head and its rest together, and that write cannot be measured; most
    // writes must be.
    int writes = 1;
    int unmeasured = 0;
    const auto image = writesOf(mark, "28").first().stretches;
    if (image.size() == 2) {
        pauses.add(image[1].start - image[0].start, 100, 10, "head-rest");
    } else {
        ++unmeasured;
    }
    QVERIFY(WaitUntil([&] { return Idle(app); }, 15000));

    // Load all presets: head, 50 ms, rest; the next slot 1000 ms after the rest has left.
    mark = app.sim.timedFrames().size();
    AnswerOpen(app, fps);
    Start(app, w.loadAllButton);
    QVERIFY(WaitUntil([&] { return writesOf(mark, "29").size() >= 20; }, 30000));
    const auto slotWrites = writesOf(mark, "29");
    for (int i = 0; i < slotWrites.size(); ++i) {
        const auto& s = slotWrites[i].stretches;
        ++writes;
        if (s.size() != 2) {
            ++unmeasured;
            continue;
        }
        pauses.add(s[1].start - s[0].start, 50, 10, "head-rest");
        if (i > 0 && slotWrites[i - 1].stretches.size() == 2) {
            pauses.add(s[0].start - slotWrites[i - 1].stretches[1].start, 1000, 322, "rest-head");
        }
    }
    QVERIFY2(unmeasured <= writes / 4,
             qPrintable(QString("%1 of %2 writes not in two parts").arg(unmeasured).arg(writes)));
    QVERIFY2(pauses.ok(), qPrintable(pauses.notes()));
    QVERIFY(WaitUntil([&] { return Idle(app); }, 10000));
}

void TestLineIntegrity::broadcastPausesCountFromTheEndOfEachFrame() {
    AppFixture app(QStringLiteral("1,2"), {"--realtime"});
    QVERIFY(app.open());
    ShellWidgets& w = app.widgets();
    QTemporaryDir dir;
    const QString sps = dir.filePath("one.sps");
    QVERIFY(WriteAll(sps, SpsContent(app.sim)));
    QVERIFY(ConnectBroadcast(app));
    AnswerOpen(app, sps);
    const qsizetype mark = app.sim.timedFrames().size();
    QTimer::singleShot(0, w.sourceFileButton, &QPushButton::click);
    QVERIFY(WaitUntil([&] { return app.sim.framesWith("A10028").size() >= 2; }, 15000));
    const QList<SimProcess::TimedFrame> frames = app.sim.timedFrames().mid(mark);
    QCOMPARE(frames.size(), 4);
    const auto& poll1 = frames[0].stretches;
    const auto& poll2 = frames[1].stretches;
    const auto& write1 = frames[2].stretches;
    const auto& write2 = frames[3].stretches;
    QCOMPARE(write1.size(), 2);
    QCOMPARE(write2.size(), 2);
    PauseCheck pauses;
    pauses.add(poll2[0].start - poll1[0].start, 500, 12, "poll-poll");
    pauses.add(write1[0].start - poll2[0].start, 500, 12, "poll-head");
    pauses.add(write1[1].start - write1[0].start, 100, 10, "head-rest");
    pauses.add(write2[0].start - write1[1].start, 1000, 322, "rest-head");
    pauses.add(write2[1].start - write2[0].start, 100, 10, "head-rest");
    QVERIFY2(pauses.ok(), qPrintable(pauses.notes()));
    QVERIFY(WaitUntil([&] { return Idle(app); }, 10000));
}

QTEST_MAIN(TestLineIntegrity)
#include "test_line_integrity.moc"
