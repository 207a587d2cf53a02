// A pseudo-terminal for the serial driver tests: the test holds the master side and plays the
// amplifier unit; the driver opens the slave side by its path.
#pragma once

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

namespace quellaton::driver_test {

using State = SerialDriver::DriverState;

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

inline double processCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

inline qint64 timedClose(SerialDriver& driver) {
    QElapsedTimer clock;
    clock.start();
    driver.ClosePort();
    return clock.elapsed();
}

// The driver on the test's terminal, receiving.
inline bool OpenReceiving(Pty& pty, SerialDriver& driver) {
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
inline bool WriteAndWait(SerialDriver& driver, const QByteArray& frame, int timeoutMs = 10000) {
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

inline QByteArray frameBytes(int size) {
    QByteArray frame;
    for (int i = 0; i < size; ++i)
        frame.append(char((i * 37 + 0xA5) & 0xFF));
    return frame;
}

} // namespace quellaton::driver_test
