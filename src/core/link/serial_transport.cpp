#include "link/serial_transport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>

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
    // Checked as the open was: with the effective user and groups.
    const QByteArray path = QFile::encodeName(location);
    return ::faccessat(AT_FDCWD, path.constData(), F_OK, AT_EACCESS) == 0 &&
           ::faccessat(AT_FDCWD, path.constData(), R_OK | W_OK, AT_EACCESS) != 0 && errno == EACCES;
#else
    Q_UNUSED(location);
    return false;
#endif
}

} // namespace

SerialTransport::SerialTransport(QObject* parent) : Transport(parent) {
    port_.setObjectName(QStringLiteral("serialPort"));
    connect(&port_, &QSerialPort::readyRead, this, &Transport::readyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialTransport::onError);
}

SerialTransport::~SerialTransport() {
    // Not inside the notifier's own signal here, so it can go at once.
    delete hangupNotifier_;
    hangupNotifier_ = nullptr;
#ifdef Q_OS_UNIX
    if (hangupFd_ >= 0) {
        ::close(hangupFd_);
    }
#endif
    if (port_.isOpen()) {
        closing_ = true;
        port_.close();
    }
}

Transport::Opening SerialTransport::open(const QString& location) {
    port_.setPortName(location);
    // Set before opening: QSerialPort applies them while opening and refuses the open when the
    // port does not accept them. Nothing else is set: the modem lines stay as they are, and
    // flow control is what QSerialPort itself applies on every open (none).
    port_.setBaudRate(9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setReadBufferSize(ReadBufferSize);
    failure_.clear();
    if (!port_.open(QIODevice::ReadWrite)) {
        failure_ = location + QStringLiteral(": ") + port_.errorString();
        if (LacksPermission(location)) {
            failure_ += QStringLiteral("; add your user to the dialout group, then log in again.");
        }
        port_.clearError();
        return Opening::Failed;
    }
    port_.clearError();
    startHangupWatch();
    return Opening::Opened;
}

void SerialTransport::close() {
    stopHangupWatch();
    if (port_.isOpen()) {
        closing_ = true;
        port_.close();
        closing_ = false;
    }
    port_.clearError();
}

void SerialTransport::drain(int ms) {
    if (!port_.isOpen()) {
        return;
    }
    QElapsedTimer clock;
    clock.start();
    while (port_.bytesToWrite() > 0 && clock.elapsed() < ms &&
           port_.waitForBytesWritten(int(ms - clock.elapsed()))) {
    }
}

bool SerialTransport::write(const QByteArray& bytes) {
    if (port_.write(bytes) != bytes.size()) {
        return false;
    }
    // Hand the frame to the system now, not when the event loop gets round to it.
    port_.flush();
    return true;
}

qint64 SerialTransport::outputQueued() const {
    qint64 queued = port_.bytesToWrite();
#ifdef Q_OS_UNIX
    int inDriver = 0;
    const int fd = static_cast<int>(port_.handle());
    if (fd >= 0 && ::ioctl(fd, TIOCOUTQ, &inDriver) == 0 && inDriver > 0) {
        queued += inDriver;
    }
#endif
    return queued;
}

void SerialTransport::collect() {
    // Take in what the system has queued by now, not only what the event loop has fetched so
    // far. Does not wait: a time-out of 0 only looks.
    if (port_.isOpen() && port_.bytesAvailable() < ReadBufferSize) {
        port_.waitForReadyRead(0);
        port_.clearError();
    }
}

qint64 SerialTransport::bytesAvailable() const {
    return port_.isOpen() ? port_.bytesAvailable() : 0;
}

QByteArray SerialTransport::readAll() {
    const QByteArray bytes = port_.readAll();
    // Reading frees QSerialPort's buffer, so it reads from the port again; so may the hang-up
    // watch, which pauses while that buffer is full.
    if (hangupNotifier_) {
        hangupNotifier_->setEnabled(true);
    }
    return bytes;
}

void SerialTransport::discardInput() {
    if (port_.isOpen()) {
        port_.clear(QSerialPort::Input);
        port_.clearError();
    }
}

void SerialTransport::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
    case QSerialPort::UnsupportedOperationError:
        return;
    default:
        break;
    }
    if (!closing_ && port_.isOpen()) {
        emit broken();
    }
}

void SerialTransport::startHangupWatch() {
#ifdef Q_OS_UNIX
    const int fd = static_cast<int>(port_.handle());
    if (fd < 0) {
        return;
    }
    hangupFd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (hangupFd_ < 0) {
        return;
    }
    hangupNotifier_ = new QSocketNotifier(hangupFd_, QSocketNotifier::Read, this);
    connect(hangupNotifier_, &QSocketNotifier::activated, this, &SerialTransport::onHangupCheck);
#endif
}

void SerialTransport::stopHangupWatch() {
    if (hangupNotifier_) {
        // May run inside the notifier's own signal: disable now, delete from the event loop.
        hangupNotifier_->setEnabled(false);
        hangupNotifier_->deleteLater();
        hangupNotifier_ = nullptr;
    }
#ifdef Q_OS_UNIX
    if (hangupFd_ >= 0) {
        ::close(hangupFd_);
    }
#endif
    hangupFd_ = -1;
}

void SerialTransport::onHangupCheck() {
#ifdef Q_OS_UNIX
    if (!hangupNotifier_ || hangupFd_ < 0) {
        return;
    }
    pollfd p{};
    p.fd = hangupFd_;
    p.events = POLLIN;
    const int ready = ::poll(&p, 1, 0);
    if (ready < 0 || (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))) {
        hangupNotifier_->setEnabled(false);
        emit broken();
        return;
    }
    // Plain readable data: QSerialPort reads it in this same round. Only when its buffer is full
    // does it leave the data queued, and then this watch would fire over and over; it pauses
    // until the next read has emptied the buffer.
    if (port_.bytesAvailable() >= ReadBufferSize) {
        hangupNotifier_->setEnabled(false);
    }
#endif
}

} // namespace quellaton
