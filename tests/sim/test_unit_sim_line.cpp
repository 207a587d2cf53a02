// quellaton-unit-sim as a line: damaged and abandoned frames, real-time pacing, chosen faults,
// lossy and silent units, the link coming and going, and its command-line options.
#include "sim_test_support.h"

using namespace quellaton::sim_test;

class TestUnitSimLine : public QObject {
    Q_OBJECT

private slots:
    void damagedFramesAreIgnoredButLogged() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "1"}));
        Port port(sim.link);

        QByteArray wrongCheck = StatusPoll(0);
        wrongCheck[10] = '\x88';
        QByteArray wrongEnd = ImageRead(0);
        wrongEnd[11] = '\xAB';
        const QByteArray unknownBlock = Frame(0, 0xA2, 0, 0x30, 0);
        const QByteArray unknownCommand = Frame(0, 0x52, 0, 0x2B, 0);
        for (const QByteArray& frame : {wrongCheck, wrongEnd, unknownBlock, unknownCommand}) {
            QVERIFY(port.Write(frame));
        }
        QVERIFY(OnlyStatusFollows(port, 0));

        // Junk in front of a frame (ending in sync bytes that belong to no frame) and a frame
        // dribbling in byte by byte.
        QVERIFY(port.Write(QByteArray::fromHex("0013A5A5") + SystemRead(0)));
        const QByteArray system = port.Read(20);
        QVERIFY2(ReplyProblem(system, 0, 0x52, 0, 0x21, 8).isEmpty(), Hex(system).constData());
        const QByteArray poll = StatusPoll(0);
        for (char c : poll) {
            QVERIFY(port.Write(QByteArray(1, c)));
            QTest::qWait(2);
        }
        const QByteArray status = port.Read(20);
        QVERIFY2(ReplyProblem(status, 0, 0x52, 0, 0x2B, 8).isEmpty(), Hex(status).constData());

        // A frame with a command no unit knows is no frame at all: its bytes are junk.
        const QByteArray noCommand = Frame(0, 0x00, 0, 0x2B, 0);
        QVERIFY(port.Write(noCommand));
        QVERIFY(OnlyStatusFollows(port, 0));

        const QStringList log = sim.LogLines();
        const QStringList expected = {
            QString::fromLatin1(Hex(wrongCheck)),    QString::fromLatin1(Hex(wrongEnd)),
            QString::fromLatin1(Hex(unknownBlock)),  QString::fromLatin1(Hex(unknownCommand)),
            QString::fromLatin1(Hex(StatusPoll(0))), QStringLiteral("0013A5A5"),
            QString::fromLatin1(Hex(SystemRead(0))), QString::fromLatin1(Hex(poll)),
            QString::fromLatin1(Hex(noCommand)),     QString::fromLatin1(Hex(StatusPoll(0)))};
        QCOMPARE(log, expected);
    }

    void abandonedHeadIsGivenUp() {
        // The program wrote the head of an image write and never the rest (it closed the port,
        // say). The next request must not vanish inside the missing payload for good.
        Sim sim;
        QVERIFY(sim.Start({"--ids", "1"}));
        Port port(sim.link);
        const QByteArray before = AskImage(port, 0);
        const QByteArray head = ImageWrite(0, PatternImage(3)).left(10);
        QVERIFY(port.Write(head));
        QTest::qWait(20);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(port.Write(StatusPoll(0)));
        const QByteArray status = port.Read(20, 6000);
        QVERIFY2(ReplyProblem(status, 0, 0x52, 0, 0x2B, 8).isEmpty(), Hex(status).constData());
        QVERIFY2(clock.elapsed() >= 1500, "the head waits for its rest for a while");
        QCOMPARE(AskImage(port, 0), before);
        const QStringList log = sim.LogLines();
        QCOMPARE(log.mid(1, 2), (QStringList{QString::fromLatin1(Hex(head)),
                                             QString::fromLatin1(Hex(StatusPoll(0)))}));
    }

    void realtimePacingAndReplyDelay() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "1", "--realtime", "--reply-delay", "150"}));
        Port port(sim.link);
        QVERIFY(port.Write(StatusPoll(0)));
        QCOMPARE(port.Read(20).size(), 20);
        QVERIFY2(port.FirstByteMs() >= 120, "the reply waits for the reply delay");

        QVERIFY(port.Write(ImageRead(0)));
        const QByteArray reply = port.Read(332, 10000);
        QVERIFY(ReplyProblem(reply, 0, 0x52, 0, 0x28, ImageSize).isEmpty());
        // 331 byte times after the first byte at 1.04 ms each: about 345 ms.
        const qint64 spread = port.LastByteMs() - port.FirstByteMs();
        QVERIFY2(spread >= 270, qPrintable(QString("332 bytes in %1 ms").arg(spread)));
        QVERIFY2(spread <= 3000, qPrintable(QString("332 bytes in %1 ms").arg(spread)));
    }

    void faultsHitTheChosenReplies_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("faulty");    // which of three slot reads gets the fault, 1-based
        QTest::addColumn<QString>("fault"); // what is wrong with it
        QTest::newRow("bad check") << QStringList{"--fault", "check:SlotRead:2"} << 2 << "check";
        QTest::newRow("bad end") << QStringList{"--fault", "end:SlotRead:3"} << 3 << "end";
        QTest::newRow("short") << QStringList{"--fault", "short=4:SlotRead:1"} << 1 << "short";
        QTest::newRow("stray byte")
            << QStringList{"--fault", "stray=171:SlotRead:2"} << 2 << "stray";
        // Faults for other requests leave slot reads alone.
        QTest::newRow("other request") << QStringList{"--fault", "check:StatusPoll:1-9"} << 0 << "";
        QTest::newRow("every one") << QStringList{"--fault", "end:100%"} << -1 << "end";
    }

    void faultsHitTheChosenReplies() {
        QFETCH(QStringList, args);
        QFETCH(int, faulty);
        QFETCH(QString, fault);
        Sim sim;
        QVERIFY(sim.Start(args));
        Port port(sim.link);
        for (int n = 1; n <= 3; ++n) {
            QVERIFY(port.Write(SlotRead(0, quint8(n))));
            const QByteArray reply = port.ReadFor(600);
            const bool hit = faulty == n || faulty < 0;
            const QString problem = ReplyProblem(reply.left(332), 0, 0x52, quint8(n), 0x29, 320);
            if (!hit || fault == "stray") {
                QVERIFY2(problem.isEmpty(), qPrintable(problem));
            }
            if (!hit) {
                QCOMPARE(reply.size(), 332);
            } else if (fault == "check") {
                QCOMPARE(reply.size(), 332);
                QVERIFY(Byte(reply, 330) != XorOf(reply, 3, 330));
                QCOMPARE(Byte(reply, 331), quint8{0xAA});
            } else if (fault == "end") {
                QCOMPARE(reply.size(), 332);
                QVERIFY(Byte(reply, 331) != 0xAA);
            } else if (fault == "short") {
                QCOMPARE(reply.size(), 328);
                QCOMPARE(reply.mid(8, 2), QByteArray::fromHex("0140")); // Length still says 320
            } else if (fault == "stray") {
                QCOMPARE(reply.size(), 333);
                QCOMPARE(Byte(reply, 332), quint8{171});
            }
        }
    }

    void lateReplyWaitsForAClosedPort() {
        Sim sim;
        QVERIFY(sim.Start({"--fault", "delay=300:StatusPoll:1"}));
        {
            Port port(sim.link);
            QVERIFY(port.Write(StatusPoll(0)));
        } // closed before the reply comes
        QTest::qWait(500);
        Port port(sim.link);
        const QByteArray stale = port.Read(20, 1000);
        QVERIFY2(ReplyProblem(stale, 0, 0x52, 0, 0x2B, 8).isEmpty(), Hex(stale).constData());
        // Only the first poll was chosen.
        QVERIFY(port.Write(StatusPoll(0)));
        QCOMPARE(port.Read(20, 1000).size(), 20);
        QVERIFY(port.FirstByteMs() < 250);
    }

    void realtimeLogGivesLineTimes() {
        Sim sim;
        QVERIFY(sim.Start({"--realtime"}));
        Port port(sim.link);
        // An image write in two pieces, 100 ms apart, then a poll.
        const QByteArray write = ImageWrite(0, PatternImage(3));
        QVERIFY(port.Write(write.left(10)));
        QTest::qWait(100);
        QVERIFY(port.Write(write.mid(10)));
        QTest::qWait(400);
        QVERIFY(port.Write(StatusPoll(0)));
        QCOMPARE(port.Read(20, 2000).size(), 20);
        const QStringList log = sim.LogLines();
        QCOMPARE(log.size(), 2);
        auto stretches = [](const QString& line) {
            QList<QPair<double, double>> out;
            for (const QString& field : line.split(' ').mid(1)) {
                const QStringList range = field.split('-');
                out.append({range.value(0).toDouble(), range.value(1).toDouble()});
            }
            return out;
        };
        QCOMPARE(log[0].split(' ').first().toLatin1(), Hex(write));
        const auto image = stretches(log[0]);
        QCOMPARE(image.size(), 2);
        // 10 and 322 byte times of 1.0417 ms, with the pause in between.
        QVERIFY(qAbs(image[0].second - image[0].first - 10.417) < 0.01);
        QVERIFY(qAbs(image[1].second - image[1].first - 335.417) < 0.01);
        QVERIFY(image[1].first - image[0].second >= 85);
        const auto poll = stretches(log[1]);
        QCOMPARE(poll.size(), 1);
        QVERIFY(qAbs(poll[0].second - poll[0].first - 12.5) < 0.01);
        QVERIFY(poll[0].first >= image[1].second);
    }

    void lossyAndSilentUnits() {
        {
            Sim sim;
            QVERIFY(sim.Start({"--drop", "100"}));
            Port port(sim.link);
            QVERIFY(port.Write(StatusPoll(0)));
            QVERIFY(port.ReadFor(250).isEmpty());
            QCOMPARE(sim.LogLines().size(), 1);
        }
        {
            Sim sim;
            QVERIFY(sim.Start({"--corrupt", "100", "--seed", "7"}));
            Port port(sim.link);
            for (int i = 0; i < 5; ++i) {
                QVERIFY(port.Write(SystemRead(0)));
                const QByteArray reply = port.Read(20);
                QCOMPARE(reply.size(), 20);
                QCOMPARE(Hex(reply.left(10)), QByteArray("A5A5A500520021000008"));
                QCOMPARE(Byte(reply, 19), quint8{0xAA});
                QVERIFY2(Byte(reply, 18) != XorOf(reply, 3, 18),
                         "a corrupted reply fails its check");
            }
        }
        {
            Sim sim;
            QVERIFY(sim.Start({"--silent-after", "2"}));
            Port port(sim.link);
            QVERIFY(!Ask(port, StatusPoll(0), 0, 0x52, 0, 0x2B, 8).isEmpty());
            QVERIFY(!Ask(port, StatusPoll(0), 0, 0x52, 0, 0x2B, 8).isEmpty());
            const QByteArray block = QByteArray::fromHex("0102030405060708");
            QVERIFY(port.Write(BlockWrite(0, 3, 0, block)));
            QVERIFY(port.Write(StatusPoll(0)));
            QVERIFY(port.ReadFor(250).isEmpty());
            QCOMPARE(sim.LogLines().size(), 4);
            // A silent unit still takes what it is sent.
            QCOMPARE(sim.State().value("unit 1 image").mid(2 * 216, 16).toLatin1(), Hex(block));
        }
        {
            Sim sim;
            QVERIFY(sim.Start({"--no-names"}));
            Port port(sim.link);
            QVERIFY(port.Write(NameTableRead(0)));
            QVERIFY(OnlyStatusFollows(port, 0));
            QCOMPARE(AskImage(port, 0).size(), ImageSize);
        }
    }

    void exitAfterRemovesTheLink() {
        Sim sim;
        QVERIFY(sim.Start({"--exit-after", "2"}));
        Port port(sim.link);
        QVERIFY(!Ask(port, StatusPoll(0), 0, 0x52, 0, 0x2B, 8).isEmpty());
        // The last frame is still answered, then the unit is gone.
        QVERIFY(!Ask(port, ImageRead(0), 0, 0x52, 0, 0x28, ImageSize).isEmpty());
        QVERIFY(sim.process.waitForFinished(5000));
        QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process.exitCode(), 0);
        QVERIFY(!QFileInfo(sim.link).isSymLink());
        port.Read(1, 1000);
        QVERIFY2(port.HungUp(), "the line hangs up when the simulator is gone");
    }

    void reopeningAndStopping() {
        Sim sim;
        // A stale link from an earlier run is replaced.
        QVERIFY(QFile::link(sim.dir.filePath("gone"), sim.link));
        QVERIFY(sim.Start({"--ids", "1"}));
        {
            Port port(sim.link);
            QVERIFY(!Ask(port, StatusPoll(0), 0, 0x52, 0, 0x2B, 8).isEmpty());
        }
        {
            Port port(sim.link); // closed and opened again: the line still works
            QVERIFY(!Ask(port, StatusPoll(0), 0, 0x52, 0, 0x2B, 8).isEmpty());
        }
        sim.process.terminate();
        QVERIFY(sim.process.waitForFinished(5000));
        QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(sim.link) && !QFileInfo(sim.link).isSymLink());

        // Something at the link path that is not a link is never replaced.
        Sim blocked;
        QFile file(blocked.link);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep");
        file.close();
        QVERIFY(!blocked.Start({}));
        if (blocked.process.state() != QProcess::NotRunning) {
            QVERIFY(blocked.process.waitForFinished(5000));
        }
        QCOMPARE(blocked.process.exitCode(), 1);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep"));
    }

    void optionsAreCheckedAndDocumented() {
        const QString program = qEnvironmentVariable("QUELLATON_UNIT_SIM");
        QProcess help;
        help.start(program, {"--help"});
        QVERIFY(help.waitForFinished(5000));
        QCOMPARE(help.exitCode(), 0);
        const QByteArray text = help.readAllStandardOutput();
        for (const char* option :
             {"--link", "--ids", "--log", "--state", "--realtime", "--reply-delay", "--drop",
              "--corrupt", "--seed", "--silent-after", "--exit-after", "--no-names",
              "--temperature", "--attenuation", "--fault", "--help"}) {
            QVERIFY2(text.contains(option), option);
        }
        const QList<QStringList> wrong = {{},
                                          {"--link"},
                                          {"--link", "x", "--ids", "0"},
                                          {"--link", "x", "--ids", "1,1"},
                                          {"--link", "x", "--ids", "256"},
                                          {"--link", "x", "--ids", "1,"},
                                          {"--link", "x", "--drop", "101"},
                                          {"--link", "x", "--temperature", "-1"},
                                          {"--link", "x", "--exit-after", "0"},
                                          {"--link", "x", "--fault", "check"},
                                          {"--link", "x", "--fault", "bogus:10%"},
                                          {"--link", "x", "--fault", "check:101%"},
                                          {"--link", "x", "--fault", "delay:1"},
                                          {"--link", "x", "--fault", "check:Nothing:1"},
                                          {"--link", "x", "--fault", "stray=256:1"},
                                          {"--link", "x", "--fault", "end:3-2"},
                                          {"--link", "x", "--bogus"}};
        for (const QStringList& args : wrong) {
            QProcess run;
            run.start(program, args);
            QVERIFY(run.waitForFinished(5000));
            QVERIFY2(run.exitCode() == 2, qPrintable(args.join(' ')));
        }
    }
};

QTEST_GUILESS_MAIN(TestUnitSimLine)
#include "test_unit_sim_line.moc"
