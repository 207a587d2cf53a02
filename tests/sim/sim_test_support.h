// What the simulator tests share. They talk to the simulator's pseudo-terminal with plain
// POSIX I/O and build their frames here, so that neither side borrows the other's frame code.
#pragma once

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

namespace quellaton::sim_test {

constexpr int ImageSize = 320;
constexpr int SlotCount = 20;

inline quint8 Byte(const QByteArray& bytes, int at) {
    return static_cast<quint8>(bytes.at(at));
}

inline quint8 XorOf(const QByteArray& bytes, int from, int to) {
    quint8 value = 0;
    for (int i = from; i < to; ++i) {
        value ^= Byte(bytes, i);
    }
    return value;
}

inline QByteArray Frame(quint8 address, quint8 command, quint8 index, quint8 block, quint8 group,
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

inline QByteArray StatusPoll(quint8 a) {
    return Frame(a, 0xA2, 0, 0x2B, 0);
}
inline QByteArray SystemRead(quint8 a) {
    return Frame(a, 0xA2, 0, 0x21, 0, QByteArray(8, '\0'));
}
inline QByteArray NameTableRead(quint8 a) {
    return Frame(a, 0xA2, 0, 0x26, 0);
}
inline QByteArray ImageRead(quint8 a) {
    return Frame(a, 0xA2, 0, 0x28, 0);
}
inline QByteArray PresetRecall(quint8 a, quint8 n) {
    return Frame(a, 0xA2, n, 0x28, 0);
}
inline QByteArray SlotRead(quint8 a, quint8 n) {
    return Frame(a, 0xA2, n, 0x29, 0);
}
inline QByteArray BlockWrite(quint8 a, quint8 w, quint8 f, const QByteArray& p) {
    return Frame(a, 0xA1, 0, w, f, p);
}
inline QByteArray SystemWrite(quint8 a, const QByteArray& p) {
    return Frame(a, 0xA1, 0, 0x21, 0, p);
}
inline QByteArray NameWrite(quint8 a, quint8 n, const QByteArray& name) {
    QByteArray payload = name.left(19);
    payload.append(QByteArray(20 - payload.size(), '\0'));
    return Frame(a, 0xA1, n, 0x27, 0, payload);
}
inline QByteArray ImageWrite(quint8 a, const QByteArray& image) {
    return Frame(a, 0xA1, 0, 0x28, 0, image);
}
inline QByteArray SlotWrite(quint8 a, quint8 n, const QByteArray& image) {
    return Frame(a, 0xA1, n, 0x29, 0, image);
}

inline QByteArray Hex(const QByteArray& bytes) {
    return bytes.toHex().toUpper();
}

// Empty when reply is a well-formed frame with the given header and payload length, else
// what is wrong with it.
inline QString ReplyProblem(const QByteArray& reply, quint8 address, quint8 command, quint8 index,
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

inline QByteArray Payload(const QByteArray& reply) {
    return reply.mid(10, reply.size() - 12);
}

// Test image: every byte depends on its offset and the seed, none is zero.
inline QByteArray PatternImage(int seed) {
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

// Sends a request and reads its reply, checking the reply's frame layout.
inline QByteArray Ask(Port& port, const QByteArray& request, quint8 address, quint8 command,
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
inline QByteArray AskImage(Port& port, quint8 address) {
    return Payload(Ask(port, ImageRead(address), address, 0x52, 0, 0x28, ImageSize));
}
inline QByteArray AskSlot(Port& port, quint8 address, quint8 slot) {
    return Payload(Ask(port, SlotRead(address, slot), address, 0x52, slot, 0x29, ImageSize));
}
inline QByteArray AskNames(Port& port, quint8 address) {
    return Payload(Ask(port, NameTableRead(address), address, 0x52, 0, 0x26, 400));
}
inline QByteArray AskSystem(Port& port, quint8 address) {
    return Payload(Ask(port, SystemRead(address), address, 0x52, 0, 0x21, 8));
}
// Proves that everything sent before produced no reply: the next bytes on the line must be
// the status reply of the unit at address, and nothing may follow it.
inline bool OnlyStatusFollows(Port& port, quint8 address) {
    if (Ask(port, StatusPoll(address), address, 0x52, 0, 0x2B, 8).isEmpty()) {
        return false;
    }
    return port.ReadFor(30).isEmpty();
}

} // namespace quellaton::sim_test
