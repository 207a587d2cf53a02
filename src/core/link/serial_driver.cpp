#include "link/serial_driver.h"

#include <QEventLoop>
#include <QFile>
#include <QMetaObject>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace quellaton {

namespace {

// True when the device exists but this user may not read and write it (serial devices
// usually belong to the dialout group). A device held by another program is not this case.
bool LacksPermission(const QString& location) {
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(location);
    return ::access(path.constData(), F_OK) == 0 && ::access(path.constData(), R_OK | W_OK) != 0 &&
           errno == EACCES;
#else
    Q_UNUSED(location);
    return false;
#endif
}

} // namespace

SerialDriver::SerialDriver(QObject* parent) : QObject(parent) {
    port_.setObjectName(QStringLiteral("serialPort"));
    passTimer_.setObjectName(QStringLiteral("receivePassTimer"));
    passTimer_.setSingleShot(true);
    passTimer_.setInterval(ReceivePassDelayMs);
    passTimer_.setTimerType(Qt::PreciseTimer);
    connect(&passTimer_, &QTimer::timeout, this, &SerialDriver::runPass);
    connect(&port_, &QSerialPort::readyRead, this, &SerialDriver::onReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialDriver::onPortError);
    clock_.start();
}

SerialDriver::~SerialDriver() {
    passTimer_.stop();
    // Not inside the notifier's own signal here, so it can go at once.
    delete hangupNotifier_;
    hangupNotifier_ = nullptr;
    closeHangupFd();
    if (port_.isOpen()) {
        closing_ = true;
        port_.close();
    }
}

void SerialDriver::setState(DriverState state) {
    if (state_ == state)
        return;
    state_ = state;
    emit stateChanged(state);
}

void SerialDriver::OpenPort() {
    // Callers close before opening; an open (or broken) port is not opened over.
    if (state_ != DriverState::Closed)
        return;
    const QString location =
        PortLocation.isEmpty() ? QStringLiteral("COM%1").arg(PortNumber) : PortLocation;
    port_.setPortName(location);
    // Set before opening: QSerialPort applies them while opening and refuses the open when the
    // port does not accept them. The driver sets nothing else: the modem lines stay as they
    // are, and flow control is what QSerialPort itself applies on every open (none).
    port_.setBaudRate(BaudRate);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setReadBufferSize(ReadBufferSize);
    openFailure_.clear();
    const bool opened = port_.open(QIODevice::ReadWrite);
    if (!opened) {
        openFailure_ = location + QStringLiteral(": ") + port_.errorString();
        if (LacksPermission(location)) {
            openFailure_ +=
                QStringLiteral("; add your user to the dialout group, then log in again.");
        }
    }
    port_.clearError();
    if (!opened)
        return;
    // Whatever the line delivered before this open (late replies to an earlier connection,
    // noise) belongs to nobody: the first reply read must be one to a request of this one.
    port_.clear(QSerialPort::Input);
    port_.clearError();
    lineFreeAtNs_ = 0;
    ++openGeneration_;
    breakQueued_ = false;
    startHangupWatch();
    setState(DriverState::Open);
}

void SerialDriver::StartWatcher() {
    if (state_ != DriverState::Open)
        return;
    setState(DriverState::Receiving);
    // Bytes that came in between open and start are collected by the first pass.
    if (state_ == DriverState::Receiving && port_.bytesAvailable() > 0)
        armPass();
}

void SerialDriver::onReadyRead() {
    if (state_ != DriverState::Receiving || inPass_ || breakQueued_)
        return;
    armPass();
}

void SerialDriver::armPass() {
    // A pass already armed keeps its countdown: bytes arriving meanwhile are read in it.
    if (!passTimer_.isActive())
        passTimer_.start();
}

void SerialDriver::runPass() {
    if (state_ != DriverState::Receiving || breakQueued_)
        return;
    // While a pass runs (the parser may pump events) no second pass is armed; bytes arriving
    // meanwhile are collected by a pass armed when it has finished.
    struct PassScope {
        bool& flag;
        explicit PassScope(bool& f) : flag(f) { flag = true; }
        ~PassScope() { flag = false; }
    };
    {
        PassScope scope(inPass_);
        // Take in what the system has queued by now, not only what the event loop has fetched
        // so far. Does not wait: a time-out of 0 only looks.
        if (port_.bytesAvailable() < ReadBufferSize) {
            port_.waitForReadyRead(0);
            port_.clearError();
        }
        if (state_ != DriverState::Receiving || breakQueued_)
            return;
        if (port_.bytesAvailable() <= 0)
            return;
        const QByteArray bytes = port_.readAll();
        // Reading frees QSerialPort's buffer, so it reads from the port again; so may the
        // hang-up watch, which pauses while that buffer is full.
        if (hangupNotifier_)
            hangupNotifier_->setEnabled(true);
        ReceiveText += bytes.toHex().toUpper();
        if (parser)
            parser();
        emit received();
    }
    if (state_ == DriverState::Receiving && !breakQueued_ && port_.bytesAvailable() > 0)
        armPass();
}

bool SerialDriver::usable() const {
    return (state_ == DriverState::Open || state_ == DriverState::Receiving) && !breakQueued_;
}

bool SerialDriver::WriteFrame() {
    if (!usable() || SendText.isEmpty() || shutDown_)
        return false;
    if (port_.write(SendText) != SendText.size())
        return false; // the port reports the failure itself and is torn down
    // Hand the frame to the system now, not when the event loop gets round to it (after a
    // repaint, say): its time on the line counts from here.
    port_.flush();
    // The frame goes on the line after whatever is still ahead of it there.
    const qint64 handedOver = std::max(clock_.nsecsElapsed(), lineFreeAtNs_);
    lineFreeAtNs_ = handedOver + LineTimeNs(SendText.size());
    return waitUntilLeft(lineFreeAtNs_);
}

void SerialDriver::Shutdown() {
    shutDown_ = true;
}

qint64 SerialDriver::outputQueued() const {
    qint64 queued = port_.bytesToWrite();
#ifdef Q_OS_UNIX
    int inDriver = 0;
    const int fd = static_cast<int>(port_.handle());
    if (fd >= 0 && ::ioctl(fd, TIOCOUTQ, &inDriver) == 0 && inDriver > 0)
        queued += inDriver;
#endif
    return queued;
}

bool SerialDriver::waitUntilLeft(qint64 frameEndNs) {
    struct DepthScope {
        int& depth;
        explicit DepthScope(int& d) : depth(d) { ++depth; }
        ~DepthScope() { --depth; }
    } scope(writeDepth_);

    const quint64 generation = openGeneration_;
    const qint64 giveUpNs = frameEndNs + qint64(DrainGraceMs) * 1'000'000;
    QEventLoop loop;
    QTimer check;
    check.setSingleShot(true);
    check.setTimerType(Qt::PreciseTimer);
    bool left = false;
    auto evaluate = [&] {
        if (generation != openGeneration_ || !usable()) {
            loop.quit();
            return;
        }
        const qint64 now = clock_.nsecsElapsed();
        if (now < frameEndNs) {
            check.start(int((frameEndNs - now + 999'999) / 1'000'000));
            return;
        }
        const qint64 queued = outputQueued();
        if (queued == 0) {
            left = true;
            loop.quit();
            return;
        }
        if (now >= giveUpNs) {
            loop.quit();
            return;
        }
        // Look again when the bytes still queued have had their time on the line.
        check.start(int(std::max<qint64>(1, LineTimeNs(queued) / 1'000'000)));
    };
    connect(&check, &QTimer::timeout, &loop, evaluate);
    connect(this, &SerialDriver::stateChanged, &loop, evaluate);
    // The first look comes from the event loop, so that quitting is seen by the loop.
    check.start(0);
    loop.exec();
    return left;
}

void SerialDriver::ClosePort() {
    if (state_ == DriverState::Closed)
        return;
    passTimer_.stop();
    // Writes are handed over without waiting, so the last frame may still be on its way out;
    // it may finish, for a bounded time, instead of being cut off on the wire.
    if (state_ != DriverState::Broken && port_.isOpen()) {
        QElapsedTimer drain;
        drain.start();
        while (port_.bytesToWrite() > 0 && drain.elapsed() < CloseDrainMs &&
               port_.waitForBytesWritten(int(CloseDrainMs - drain.elapsed()))) {
        }
    }
    releaseHandle(true);
    setState(DriverState::Closed);
}

void SerialDriver::onPortError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
    case QSerialPort::UnsupportedOperationError:
        return;
    default:
        break;
    }
    if (closing_ || (state_ != DriverState::Open && state_ != DriverState::Receiving))
        return;
    scheduleBreak();
}

void SerialDriver::scheduleBreak() {
    // The error arrives from inside QSerialPort's own notifier handling, where the port must not
    // be closed; the teardown runs from the event loop right after. Passes and writes stop now.
    passTimer_.stop();
    if (breakQueued_)
        return;
    breakQueued_ = true;
    const quint64 generation = openGeneration_;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation != openGeneration_)
                return;
            breakQueued_ = false;
            breakLink();
        },
        Qt::QueuedConnection);
}

void SerialDriver::breakLink() {
    if (state_ != DriverState::Open && state_ != DriverState::Receiving)
        return;
    passTimer_.stop();
    // Close first: whoever listens to the state change may close or reopen at once.
    releaseHandle(false);
    setState(DriverState::Broken);
}

void SerialDriver::releaseHandle(bool purge) {
    stopHangupWatch();
    if (port_.isOpen()) {
        closing_ = true;
        // Unread input is discarded; output already handed to the system is left to go out.
        if (purge)
            port_.clear(QSerialPort::Input);
        port_.close();
        closing_ = false;
    }
    port_.clearError();
}

void SerialDriver::startHangupWatch() {
#ifdef Q_OS_UNIX
    const int fd = static_cast<int>(port_.handle());
    if (fd < 0)
        return;
    hangupFd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (hangupFd_ < 0)
        return;
    hangupNotifier_ = new QSocketNotifier(hangupFd_, QSocketNotifier::Read, this);
    connect(hangupNotifier_, &QSocketNotifier::activated, this, &SerialDriver::onHangupCheck);
#endif
}

void SerialDriver::stopHangupWatch() {
    if (hangupNotifier_) {
        // May run inside the notifier's own signal: disable now, delete from the event loop.
        hangupNotifier_->setEnabled(false);
        hangupNotifier_->deleteLater();
        hangupNotifier_ = nullptr;
    }
    closeHangupFd();
}

void SerialDriver::closeHangupFd() {
#ifdef Q_OS_UNIX
    if (hangupFd_ >= 0)
        ::close(hangupFd_);
#endif
    hangupFd_ = -1;
}

void SerialDriver::onHangupCheck() {
#ifdef Q_OS_UNIX
    if (!hangupNotifier_ || hangupFd_ < 0)
        return;
    pollfd p{};
    p.fd = hangupFd_;
    p.events = POLLIN;
    const int ready = ::poll(&p, 1, 0);
    if (ready < 0 || (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))) {
        hangupNotifier_->setEnabled(false);
        if (state_ == DriverState::Open || state_ == DriverState::Receiving)
            scheduleBreak();
        return;
    }
    // Plain readable data: QSerialPort reads it in this same round. Only when its buffer is full
    // does it leave the data queued, and then this watch would fire over and over; it pauses
    // until the next pass has emptied the buffer.
    if (port_.bytesAvailable() >= ReadBufferSize)
        hangupNotifier_->setEnabled(false);
#endif
}

} // namespace quellaton
