#include "link/tcp_transport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QUrl>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace quellaton {

namespace {

// Waits in the event loop until `done` holds, the connection ends or `ms` pass.
template <typename Done> bool WaitFor(Transport* context, QTcpSocket& socket, int ms, Done done) {
    if (done()) {
        return true;
    }
    if (ms <= 0) {
        return false;
    }
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    auto check = [&] {
        if (done() || socket.state() == QAbstractSocket::UnconnectedState) {
            loop.quit();
        }
    };
    QObject::connect(&socket, &QTcpSocket::connected, &loop, check);
    QObject::connect(&socket, &QTcpSocket::readyRead, &loop, check);
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, check);
    QObject::connect(&socket, &QTcpSocket::disconnected, &loop, check);
    QObject::connect(context, &Transport::readyRead, &loop, check);
    limit.start(ms);
    loop.exec();
    return done();
}

} // namespace

TcpTransport::TcpTransport(QObject* parent) : Transport(parent) {
    socket_.setObjectName(QStringLiteral("networkSocket"));
    connect(&socket_, &QTcpSocket::readyRead, this, &TcpTransport::take);
    connect(&socket_, &QTcpSocket::disconnected, this, &TcpTransport::onDisconnected);
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (open_ && !closing_ && socket_.state() != QAbstractSocket::ConnectedState) {
            onDisconnected();
        }
    });
}

bool TcpTransport::open(const QString& location) {
    failure_.clear();
    const QUrl url(location);
    where_ = url.host() + QLatin1Char(':') + QString::number(url.port());
    if (!url.isValid() || url.host().isEmpty() || url.port() <= 0) {
        failure_ = location + QStringLiteral(": not a network port (tcp://HOST:PORT or "
                                             "rfc2217://HOST:PORT)");
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    socket_.connectToHost(url.host(), quint16(url.port()));
    const bool connected = WaitFor(this, socket_, NetworkConnectLimitMs, [this] {
        return socket_.state() == QAbstractSocket::ConnectedState;
    });
    if (!connected) {
        failure_ =
            where_ + QStringLiteral(": ") +
            (socket_.error() == QAbstractSocket::UnknownSocketError
                 ? QStringLiteral("no connection within %1 s").arg(NetworkConnectLimitMs / 1000)
                 : socket_.errorString());
        socket_.abort();
        return false;
    }
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!negotiate(int(NetworkConnectLimitMs - clock.elapsed()))) {
        if (failure_.isEmpty()) {
            failure_ = where_ + QStringLiteral(": the connection was closed by the server");
        }
        socket_.abort();
        return false;
    }
    open_ = true;
    return true;
}

bool TcpTransport::negotiate(int) {
    return socket_.state() == QAbstractSocket::ConnectedState;
}

void TcpTransport::close() {
    closing_ = true;
    open_ = false;
    if (socket_.state() != QAbstractSocket::UnconnectedState) {
        socket_.disconnectFromHost();
        if (socket_.state() != QAbstractSocket::UnconnectedState) {
            socket_.abort();
        }
    }
    incoming_.clear();
    closing_ = false;
}

void TcpTransport::drain(int ms) {
    if (socket_.state() == QAbstractSocket::ConnectedState && socket_.bytesToWrite() > 0) {
        socket_.waitForBytesWritten(ms);
    }
}

bool TcpTransport::write(const QByteArray& bytes) {
    if (socket_.state() != QAbstractSocket::ConnectedState) {
        return false;
    }
    const QByteArray encoded = encode(bytes);
    if (socket_.write(encoded) != encoded.size()) {
        return false;
    }
    socket_.flush();
    return true;
}

qint64 TcpTransport::outputQueued() const {
    qint64 queued = socket_.bytesToWrite();
#ifdef Q_OS_UNIX
    // Bytes the system has not yet sent (or has not had acknowledged) on the connection.
    int unsent = 0;
    const int fd = int(socket_.socketDescriptor());
    if (fd >= 0 && ::ioctl(fd, TIOCOUTQ, &unsent) == 0 && unsent > 0) {
        queued += unsent;
    }
#endif
    return queued;
}

void TcpTransport::take() {
    if (socket_.bytesAvailable() <= 0) {
        return;
    }
    const QByteArray data = decode(socket_.readAll());
    if (!data.isEmpty()) {
        incoming_ += data;
        emit readyRead();
    }
}

void TcpTransport::collect() {
    take();
}

QByteArray TcpTransport::readAll() {
    QByteArray out;
    out.swap(incoming_);
    return out;
}

void TcpTransport::discardInput() {
    take();
    incoming_.clear();
}

void TcpTransport::onDisconnected() {
    if (open_ && !closing_) {
        open_ = false;
        emit broken();
    }
}

QByteArray Rfc2217Transport::decode(const QByteArray& received) {
    const TelnetCodec::Output out = codec_.feed(received);
    if (!out.reply.isEmpty() && socket_.state() == QAbstractSocket::ConnectedState) {
        socket_.write(out.reply);
    }
    return out.data;
}

bool Rfc2217Transport::negotiate(int remainingMs) {
    socket_.write(TelnetCodec::OpeningRequests());
    socket_.flush();
    WaitFor(this, socket_, remainingMs, [this] {
        return codec_.comPort() == TelnetCodec::ComPort::Refused ||
               (codec_.comPort() == TelnetCodec::ComPort::Accepted && codec_.settingsConfirmed());
    });
    switch (codec_.comPort()) {
    case TelnetCodec::ComPort::Refused:
        failure_ = where_ + QStringLiteral(": the server refuses COM port control (RFC 2217); "
                                           "use a raw TCP port (tcp://) for it instead");
        return false;
    case TelnetCodec::ComPort::Pending:
        if (socket_.state() == QAbstractSocket::ConnectedState) {
            failure_ = where_ + QStringLiteral(": no answer to COM port control (RFC 2217) "
                                               "within %1 s")
                                    .arg(NetworkConnectLimitMs / 1000);
        }
        return false;
    case TelnetCodec::ComPort::Accepted:
        // A server may confirm the settings late or not at all; the option itself is what
        // the line needs.
        return socket_.state() == QAbstractSocket::ConnectedState;
    }
    return false;
}

} // namespace quellaton
