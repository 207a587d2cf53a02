// Tests of quellaton-unit-sim, the simulated amplifier units. They talk to the simulator's
// pseudo-terminal with plain POSIX I/O and build their frames here, so that neither side
// borrows the other's frame code.

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int ImageSize = 320;
constexpr int SlotCount = 20;

quint8 Byte(const QByteArray& bytes, int at) {
    return static_cast<quint8>(bytes.at(at));
}

quint8 XorOf(const QByteArray& bytes, int from, int to) {
    quint8 value = 0;
    for (int i = from; i < to; ++i) {
        value ^= Byte(bytes, i);
    }
    return value;
}

QByteArray Frame(quint8 address, quint8 command, quint8 index, quint8 block, quint8 group,
                 const QByteArray& payload = {}) {
    QByteArray frame("\xA5\xA5\xA5", 3);
    for (quint8 b :
         {address, command, index, block, group, static_cast<quint8>(payload.size() >> 8),
          static_cast<quint8>(payload.size() & 0xFF)}) {
        frame.append(static_cast<char>(b));
    }
    frame.append(payload);
    frame.append(static_cast<char>(XorOf(frame, 3, frame.size())));
    frame.append('\xAA');
    return frame;
}

QByteArray StatusPoll(quint8 a) {
    return Frame(a, 0xA2, 0, 0x2B, 0);
}
QByteArray SystemRead(quint8 a) {
    return Frame(a, 0xA2, 0, 0x21, 0, QByteArray(8, '\0'));
}
QByteArray NameTableRead(quint8 a) {
    return Frame(a, 0xA2, 0, 0x26, 0);
}
QByteArray ImageRead(quint8 a) {
    return Frame(a, 0xA2, 0, 0x28, 0);
}
QByteArray PresetRecall(quint8 a, quint8 n) {
    return Frame(a, 0xA2, n, 0x28, 0);
}
QByteArray SlotRead(quint8 a, quint8 n) {
    return Frame(a, 0xA2, n, 0x29, 0);
}
QByteArray BlockWrite(quint8 a, quint8 w, quint8 f, const QByteArray& p) {
    return Frame(a, 0xA1, 0, w, f, p);
}
QByteArray SystemWrite(quint8 a, const QByteArray& p) {
    return Frame(a, 0xA1, 0, 0x21, 0, p);
}
QByteArray NameWrite(quint8 a, quint8 n, const QByteArray& name) {
    QByteArray payload = name.left(19);
    payload.append(QByteArray(20 - payload.size(), '\0'));
    return Frame(a, 0xA1, n, 0x27, 0, payload);
}
QByteArray ImageWrite(quint8 a, const QByteArray& image) {
    return Frame(a, 0xA1, 0, 0x28, 0, image);
}
QByteArray SlotWrite(quint8 a, quint8 n, const QByteArray& image) {
    return Frame(a, 0xA1, n, 0x29, 0, image);
}

QByteArray Hex(const QByteArray& bytes) {
    return bytes.toHex().toUpper();
}

// Empty when reply is a well-formed frame with the given header and payload length, else
// what is wrong with it.
QString ReplyProblem(const QByteArray& reply, quint8 address, quint8 command, quint8 index,
                     quint8 block, int length) {
    const int size = 12 + length;
    if (reply.size() != size) {
        return QString("reply has %1 bytes, expected %2: %3")
            .arg(reply.size())
            .arg(size)
            .arg(QString::fromLatin1(Hex(reply)));
    }
    QByteArray head("\xA5\xA5\xA5", 3);
    for (quint8 b : {address, command, index, block, quint8{0}, static_cast<quint8>(length >> 8),
                     static_cast<quint8>(length & 0xFF)}) {
        head.append(static_cast<char>(b));
    }
    if (reply.left(10) != head) {
        return QString("header %1, expected %2")
            .arg(QString::fromLatin1(Hex(reply.left(10))), QString::fromLatin1(Hex(head)));
    }
    if (Byte(reply, size - 2) != XorOf(reply, 3, size - 2)) {
        return QString("wrong check in %1").arg(QString::fromLatin1(Hex(reply)));
    }
    if (Byte(reply, size - 1) != 0xAA) {
        return QStringLiteral("wrong end byte");
    }
    return {};
}

QByteArray Payload(const QByteArray& reply) {
    return reply.mid(10, reply.size() - 12);
}

// Test image: every byte depends on its offset and the seed, none is zero.
QByteArray PatternImage(int seed) {
    QByteArray image(ImageSize, '\0');
    for (int i = 0; i < ImageSize; ++i) {
        image[i] = static_cast<char>(1 + (i * 7 + seed * 31) % 255);
    }
    return image;
}

// The unit's end of the line as the program sees it: the published device, raw mode.
class Port {
public:
    explicit Port(const QString& path) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ >= 0) {
            termios tio{};
            if (tcgetattr(fd_, &tio) == 0) {
                cfmakeraw(&tio);
                tcsetattr(fd_, TCSANOW, &tio);
            }
        }
    }
    ~Port() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    bool Write(const QByteArray& bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.constData() + done, bytes.size() - done);
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    pollfd p{fd_, POLLOUT, 0};
                    ::poll(&p, 1, 1000);
                    continue;
                }
                return false;
            }
            done += n;
        }
        return true;
    }

    // Reads until count bytes have arrived or timeoutMs has passed; records when the first
    // and the last byte came.
    QByteArray Read(int count, int timeoutMs = 3000) {
        QByteArray data;
        QElapsedTimer clock;
        clock.start();
        firstByteMs_ = lastByteMs_ = -1;
        while (data.size() < count) {
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0) {
                break;
            }
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(left));
            if (ready <= 0) {
                continue;
            }
            if (!(p.revents & POLLIN)) {
                hungUp_ = (p.revents & (POLLHUP | POLLERR)) != 0;
                break;
            }
            char buffer[1024];
            const ssize_t n =
                ::read(fd_, buffer, std::min<qsizetype>(sizeof buffer, count - data.size()));
            if (n <= 0) {
                hungUp_ = n == 0 || errno == EIO;
                if (hungUp_) {
                    break;
                }
                continue;
            }
            if (firstByteMs_ < 0) {
                firstByteMs_ = clock.elapsed();
            }
            lastByteMs_ = clock.elapsed();
            data.append(buffer, n);
        }
        return data;
    }

    // Whatever arrives within ms (for checking that nothing does).
    QByteArray ReadFor(int ms) { return Read(1 << 20, ms); }

    qint64 FirstByteMs() const { return firstByteMs_; }
    qint64 LastByteMs() const { return lastByteMs_; }
    bool HungUp() const { return hungUp_; }

private:
    int fd_ = -1;
    qint64 firstByteMs_ = -1;
    qint64 lastByteMs_ = -1;
    bool hungUp_ = false;
};

// One simulator process on a temporary link, with its log and state files.
class Sim {
public:
    Sim()
        : link(dir.filePath("line")), log(dir.filePath("frames.log")),
          state(dir.filePath("state")) {}
    ~Sim() {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(5000)) {
                process.kill();
                process.waitForFinished(5000);
            }
        }
    }

    // Starts the simulator and waits for its "ready" line.
    bool Start(const QStringList& extra) {
        const QString program = qEnvironmentVariable("QUELLATON_UNIT_SIM");
        if (program.isEmpty() || !dir.isValid()) {
            return false;
        }
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, QStringList{"--link", link, "--log", log, "--state", state} + extra);
        if (!process.waitForStarted(5000)) {
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            while (process.canReadLine()) {
                if (process.readLine().trimmed() == "ready") {
                    return true;
                }
            }
            if (process.state() == QProcess::NotRunning) {
                return false;
            }
            process.waitForReadyRead(500);
        }
        return false;
    }

    QStringList LogLines() const {
        QFile file(log);
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    // "unit 1 image" -> hex text, "unit 1 address" -> "0", ...
    QMap<QString, QString> State() const {
        QMap<QString, QString> values;
        QFile file(state);
        if (!file.open(QIODevice::ReadOnly)) {
            return values;
        }
        for (const QString& line : QString::fromLatin1(file.readAll()).split('\n')) {
            const int split = line.lastIndexOf(' ');
            if (split > 0) {
                values.insert(line.left(split), line.mid(split + 1));
            }
        }
        return values;
    }

    QTemporaryDir dir;
    QString link;
    QString log;
    QString state;
    QProcess process;
};

} // namespace

class TestUnitSim : public QObject {
    Q_OBJECT

private:
    // Sends a request and reads its reply, checking the reply's frame layout.
    static QByteArray Ask(Port& port, const QByteArray& request, quint8 address, quint8 command,
                          quint8 index, quint8 block, int length) {
        if (!port.Write(request)) {
            return {};
        }
        const QByteArray reply = port.Read(12 + length);
        const QString problem = ReplyProblem(reply, address, command, index, block, length);
        if (!problem.isEmpty()) {
            qWarning("%s", qPrintable(problem));
            return {};
        }
        return reply;
    }
    static QByteArray AskImage(Port& port, quint8 address) {
        return Payload(Ask(port, ImageRead(address), address, 0x52, 0, 0x28, ImageSize));
    }
    static QByteArray AskSlot(Port& port, quint8 address, quint8 slot) {
        return Payload(Ask(port, SlotRead(address, slot), address, 0x52, slot, 0x29, ImageSize));
    }
    static QByteArray AskNames(Port& port, quint8 address) {
        return Payload(Ask(port, NameTableRead(address), address, 0x52, 0, 0x26, 400));
    }
    static QByteArray AskSystem(Port& port, quint8 address) {
        return Payload(Ask(port, SystemRead(address), address, 0x52, 0, 0x21, 8));
    }
    // Proves that everything sent before produced no reply: the next bytes on the line must be
    // the status reply of the unit at address, and nothing may follow it.
    static bool OnlyStatusFollows(Port& port, quint8 address) {
        if (Ask(port, StatusPoll(address), address, 0x52, 0, 0x2B, 8).isEmpty()) {
            return false;
        }
        return port.ReadFor(30).isEmpty();
    }

private slots:
    void initTestCase() {
        QVERIFY2(!qEnvironmentVariable("QUELLATON_UNIT_SIM").isEmpty(),
                 "QUELLATON_UNIT_SIM must name the simulator binary");
        // The test's own frame builder against the protocol's example frames.
        QCOMPARE(Hex(StatusPoll(0)), QByteArray("A5A5A500A2002B00000089AA"));
        QCOMPARE(Byte(StatusPoll(0xFE), 10), quint8{0x77});
        QCOMPARE(Hex(BlockWrite(0, 0, 0, QByteArray::fromHex("C801000000000000"))),
                 QByteArray("A5A5A500A10000000008C80100000000000060AA"));
    }

    void startDataIsPlausibleAndDistinct() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "1"}));
        Port port(sim.link);
        QVERIFY(port.IsOpen());

        QSet<QByteArray> distinct;
        QList<QByteArray> images;
        for (int slot = 1; slot <= SlotCount; ++slot) {
            const QByteArray image = AskSlot(port, 0, static_cast<quint8>(slot));
            QCOMPARE(image.size(), ImageSize);
            images.append(image);
            distinct.insert(image);
            // Every decoded field lies inside the range the program limits it to.
            for (int way = 0; way < 3; ++way) {
                const int b = 72 * way;
                QVERIFY(Byte(image, b) <= (way == 2 ? 200 : 250));
                QVERIFY(Byte(image, b + 2) + 256 * Byte(image, b + 3) <= 412);
                QVERIFY(Byte(image, b + 16) <= 19);
                QVERIFY(Byte(image, b + 17) <= 6);
                QVERIFY(Byte(image, b + 18) <= 6);
            }
            for (int section = 0; section < 4; ++section) {
                const int crossover = section < 3 ? 72 * section + 8 : 224;
                QVERIFY(Byte(image, crossover) <= 243 && Byte(image, crossover + 1) <= 8);
                QVERIFY(Byte(image, crossover + 4) <= 243 && Byte(image, crossover + 5) <= 8);
                QVERIFY(Byte(image, crossover) < Byte(image, crossover + 4)); // HPF below LPF
                for (int band = 0; band < 6; ++band) {
                    const int o = (section < 3 ? 72 * section + 24 : 232) + 8 * band;
                    QVERIFY(Byte(image, o) <= 243);
                    QVERIFY(Byte(image, o + 1) <= 2);
                    QVERIFY(Byte(image, o + 2) + 256 * Byte(image, o + 3) <= 180);
                    QVERIFY(Byte(image, o + 4) + 256 * Byte(image, o + 5) <= 180);
                    QVERIFY(Byte(image, o + 6) <= 179);
                }
            }
            const int level = Byte(image, 218) + 256 * Byte(image, 219);
            QVERIFY(level >= 1 && level <= 301);
            for (int i = 280; i < ImageSize; ++i) {
                QVERIFY2(Byte(image, i) != 0, "the uninterpreted tail is non-zero filler");
            }
        }
        QCOMPARE(distinct.size(), SlotCount);

        // Working image = preset 1, last loaded preset 1, device ID in byte 3.
        QCOMPARE(AskImage(port, 0), images.first());
        const QByteArray system = AskSystem(port, 0);
        QCOMPARE(Byte(system, 0), quint8{1});
        QCOMPARE(Byte(system, 3), quint8{1});

        // Names for every slot: printable, at most 19 characters, zero filled.
        const QByteArray names = AskNames(port, 0);
        QCOMPARE(names.size(), 400);
        QSet<QByteArray> distinctNames;
        for (int slot = 0; slot < SlotCount; ++slot) {
            const QByteArray name = names.mid(20 * slot, 20);
            const int length = name.indexOf('\0');
            QVERIFY(length >= 1 && length <= 19);
            QCOMPARE(name.mid(length), QByteArray(20 - length, '\0'));
            distinctNames.insert(name);
        }
        QCOMPARE(distinctNames.size(), SlotCount);
        QCOMPARE(names.left(6), QByteArray("Stage\0", 6));

        // The state file tells the same story as the replies.
        const auto state = sim.State();
        QCOMPARE(state.value("unit 1 image").toLatin1(), Hex(images.first()));
        QCOMPARE(state.value("unit 1 slot 20").toLatin1(), Hex(images.last()));
        QCOMPARE(state.value("unit 1 name 1").toLatin1(), Hex(names.left(20)));
        QCOMPARE(state.value("unit 1 address"), QString("0"));
        QCOMPARE(state.value("unit 1 system").toLatin1(), Hex(system));
    }

    void statusAndSystemRepliesCarryTheUnitsValues() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "4", "--temperature", "2906", "--attenuation", "7"}));
        Port port(sim.link);
        const QByteArray status = Ask(port, StatusPoll(3), 3, 0x52, 0, 0x2B, 8);
        QCOMPARE(Hex(Payload(status)), QByteArray("00000B5A07000000"));
        const QByteArray system = AskSystem(port, 3);
        QCOMPARE(system.size(), 8);
        QCOMPARE(Byte(system, 0), quint8{1}); // last loaded preset
        QCOMPARE(Byte(system, 3), quint8{4}); // device ID
        QVERIFY(Byte(system, 5) <= 30);       // protect temperature index
    }

    void presetRecallLoadsTheSlot() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "1"}));
        Port port(sim.link);
        const QByteArray slot5 = AskSlot(port, 0, 5);
        const QByteArray recalled =
            Payload(Ask(port, PresetRecall(0, 5), 0, 0x52, 5, 0x28, ImageSize));
        QCOMPARE(recalled, slot5);
        QCOMPARE(AskImage(port, 0), slot5);
        QCOMPARE(Byte(AskSystem(port, 0), 0), quint8{5});
        QCOMPARE(sim.State().value("unit 1 image").toLatin1(), Hex(slot5));

        // Only presets 1..8 can be recalled; slot 0 and 21 do not exist for SlotRead.
        QVERIFY(port.Write(PresetRecall(0, 9)));
        QVERIFY(port.Write(SlotRead(0, 0)));
        QVERIFY(port.Write(SlotRead(0, 21)));
        QVERIFY(OnlyStatusFollows(port, 0));
        QCOMPARE(AskImage(port, 0), slot5);
    }

    void unitsAnswerOnlyTheirOwnAddress() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "1,3"}));
        Port port(sim.link);
        QVERIFY(!Ask(port, StatusPoll(0), 0, 0x52, 0, 0x2B, 8).isEmpty());
        QVERIFY(!Ask(port, StatusPoll(2), 2, 0x52, 0, 0x2B, 8).isEmpty());
        QCOMPARE(Byte(AskSystem(port, 2), 3), quint8{3});
        // Nobody has address 1: the next reply on the line is unit 1's.
        QVERIFY(port.Write(StatusPoll(1)));
        QVERIFY(port.Write(ImageRead(1)));
        QVERIFY(OnlyStatusFollows(port, 0));
        // The two units are distinguishable.
        QVERIFY(AskImage(port, 0) != AskImage(port, 2));
        QVERIFY(AskNames(port, 0) != AskNames(port, 2));
    }

    void broadcastImageWriteReachesEveryUnitSilently() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "1,3"}));
        Port port(sim.link);
        const QByteArray image = PatternImage(1);
        const QByteArray frame = ImageWrite(0xFF, image);
        QVERIFY(port.Write(frame.left(10)));
        QTest::qWait(120);
        QVERIFY(port.Write(frame.mid(10)));
        QVERIFY(port.Write(StatusPoll(0xFF))); // applied by all, answered by none
        QVERIFY(OnlyStatusFollows(port, 2));
        const auto state = sim.State();
        QCOMPARE(state.value("unit 1 image").toLatin1(), Hex(image));
        QCOMPARE(state.value("unit 3 image").toLatin1(), Hex(image));
        QCOMPARE(AskImage(port, 0), image);
        // The frame was logged once, as one line, although it came in two writes.
        QCOMPARE(sim.LogLines().value(0).toLatin1(), Hex(frame));
    }

    void blockWritesLandAtTheirOffsets() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "2"}));
        Port port(sim.link);
        QByteArray expected = AskImage(port, 1);
        QCOMPARE(expected.size(), ImageSize);
        struct Case {
            quint8 block, group;
            int offset;
        };
        const Case cases[] = {{0, 0, 0},   {0, 8, 64},  {1, 3, 96},  {2, 0, 144}, {2, 8, 208},
                              {3, 0, 216}, {4, 0, 224}, {5, 0, 232}, {10, 0, 272}};
        int n = 0;
        for (const Case& c : cases) {
            const QByteArray block = PatternImage(++n).left(8);
            QVERIFY(port.Write(BlockWrite(1, c.block, c.group, block)));
            expected.replace(c.offset, 8, block);
        }
        // Blocks that do not exist change nothing.
        QVERIFY(port.Write(BlockWrite(1, 0, 9, QByteArray(8, '\x11'))));
        QVERIFY(port.Write(BlockWrite(1, 3, 1, QByteArray(8, '\x22'))));
        QVERIFY(port.Write(BlockWrite(1, 11, 0, QByteArray(8, '\x33'))));
        QVERIFY(port.Write(BlockWrite(1, 0, 0, QByteArray(7, '\x44'))));
        QVERIFY(OnlyStatusFollows(port, 1)); // and none of them was answered
        QCOMPARE(Hex(AskImage(port, 1)), Hex(expected));
        QCOMPARE(sim.State().value("unit 2 image").toLatin1(), Hex(expected));
    }

    void nameWriteStoresNameAndWorkingSet() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "1"}));
        Port port(sim.link);
        const QByteArray block = QByteArray::fromHex("C801000000000000");
        QVERIFY(port.Write(BlockWrite(0, 0, 0, block)));
        const QByteArray ack = Ask(port, NameWrite(0, 7, "Party"), 0, 0x51, 0, 0x00, 0);
        QCOMPARE(Hex(ack), QByteArray("A5A5A50051000000000051AA"));
        const QByteArray names = AskNames(port, 0);
        QCOMPARE(names.mid(120, 20), QByteArray("Party").append(QByteArray(15, '\0')));
        QVERIFY(names.left(20) != names.mid(120, 20)); // the other names are untouched
        const QByteArray working = AskImage(port, 0);
        QCOMPARE(working.left(8), block);
        QCOMPARE(AskSlot(port, 0, 7), working);
        QCOMPARE(sim.State().value("unit 1 name 7").toLatin1(),
                 Hex(QByteArray("Party").append(QByteArray(15, '\0'))));
    }

    void slotWriteThenSlotReadRoundTrips() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "5"}));
        Port port(sim.link);
        const QByteArray image = PatternImage(12);
        const QByteArray frame = SlotWrite(4, 12, image);
        QVERIFY(port.Write(frame.left(10)));
        QTest::qWait(60);
        QVERIFY(port.Write(frame.mid(10)));
        QVERIFY(OnlyStatusFollows(port, 4));
        QCOMPARE(AskSlot(port, 4, 12), image);
        QVERIFY(AskImage(port, 4) != image); // the working image is not touched
        QCOMPARE(sim.State().value("unit 5 slot 12").toLatin1(), Hex(image));
    }

    void systemWriteMovesTheUnitToItsNewAddress() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "2"}));
        Port port(sim.link);
        const QByteArray values = QByteArray::fromHex("035AC309000C0000");
        const QByteArray ack = Ask(port, SystemWrite(1, values), 1, 0x51, 0, 0x21, 0);
        QCOMPARE(Hex(ack), QByteArray("A5A5A50151002100000071AA"));
        QVERIFY(port.Write(StatusPoll(1))); // the old address is dead now
        QVERIFY(OnlyStatusFollows(port, 8));
        const QByteArray system = AskSystem(port, 8);
        QCOMPARE(Hex(system), Hex(values));
        const auto state = sim.State();
        QCOMPARE(state.value("unit 2 address"), QString("8"));
        QCOMPARE(state.value("unit 2 id"), QString("9"));
    }

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

QTEST_GUILESS_MAIN(TestUnitSim)
#include "test_unit_sim.moc"
