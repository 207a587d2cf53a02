#include "link/tcp_transport.h"

#include <QUrl>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace quellaton {

TcpTransport::TcpTransport(QObject* parent) : Transport(parent) {
    socket_.setObjectName(QStringLiteral("networkSocket"));
    deadline_.setSingleShot(true);
    deadline_.setTimerType(Qt::PreciseTimer);
    connect(&deadline_, &QTimer::timeout, this, &TcpTransport::onDeadline);
    connect(&socket_, &QTcpSocket::connected, this, &TcpTransport::onConnected);
    connect(&socket_, &QTcpSocket::readyRead, this, &TcpTransport::take);
    connect(&socket_, &QTcpSocket::disconnected, this, &TcpTransport::onDisconnected);
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (closing_) {
            return;
        }
        if (phase_ == Phase::Connecting) {
            failure_ = where_ + QStringLiteral(": ") + socket_.errorString();
            finishOpening(false);
        } else if (socket_.state() != QAbstractSocket::ConnectedState) {
            onDisconnected();
        }
    });
}

Transport::Opening TcpTransport::open(const QString& location) {
    failure_.clear();
    const QUrl url(location);
    where_ = url.host() + QLatin1Char(':') + QString::number(url.port());
    if (!url.isValid() || url.host().isEmpty() || url.port() <= 0) {
        failure_ = location + QStringLiteral(": not a network port (tcp://HOST:PORT or "
                                             "rfc2217://HOST:PORT)");
        return Opening::Failed;
    }
    phase_ = Phase::Connecting;
    deadline_.start(NetworkConnectLimitMs);
    socket_.connectToHost(url.host(), quint16(url.port()));
    return phase_ == Phase::Open ? Opening::Opened : Opening::Pending;
}

void TcpTransport::onConnected() {
    if (phase_ != Phase::Connecting) {
        return;
    }
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    phase_ = Phase::Negotiating;
    startNegotiation();
}

void TcpTransport::onDeadline() {
    if (phase_ == Phase::Connecting) {
        failure_ = where_ +
                   QStringLiteral(": no connection within %1 s").arg(NetworkConnectLimitMs / 1000);
        finishOpening(false);
    } else if (phase_ == Phase::Negotiating) {
        finishOpening(socket_.state() == QAbstractSocket::ConnectedState && usableAtDeadline());
    }
}

void TcpTransport::finishOpening(bool ok) {
    if (phase_ != Phase::Connecting && phase_ != Phase::Negotiating) {
        return;
    }
    deadline_.stop();
    if (ok) {
        phase_ = Phase::Open;
        emit opened(true);
        return;
    }
    if (failure_.isEmpty()) {
        failure_ = where_ + QStringLiteral(": the connection was closed by the server");
    }
    phase_ = Phase::Closed;
    closing_ = true;
    socket_.abort();
    closing_ = false;
    incoming_.clear();
    emit opened(false);
}

void TcpTransport::close() {
    closing_ = true;
    phase_ = Phase::Closed;
    deadline_.stop();
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
    if (phase_ == Phase::Negotiating) {
        negotiationAdvanced();
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
    if (closing_) {
        return;
    }
    if (phase_ == Phase::Connecting || phase_ == Phase::Negotiating) {
        finishOpening(false);
    } else if (phase_ == Phase::Open) {
        phase_ = Phase::Closed;
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

void Rfc2217Transport::startNegotiation() {
    socket_.write(TelnetCodec::OpeningRequests());
    socket_.flush();
}

void Rfc2217Transport::negotiationAdvanced() {
    switch (codec_.comPort()) {
    case TelnetCodec::ComPort::Refused:
        failure_ = where_ + QStringLiteral(": the server refuses COM port control (RFC 2217); "
                                           "use a raw TCP port (tcp://) for it instead");
        finishOpening(false);
        return;
    case TelnetCodec::ComPort::Accepted:
        if (codec_.settingsConfirmed()) {
            finishOpening(true);
        }
        return;
    case TelnetCodec::ComPort::Pending:
        return;
    }
}

bool Rfc2217Transport::usableAtDeadline() {
    // A server may confirm the settings late or not at all; the option itself is what the
    // line needs.
    if (codec_.comPort() == TelnetCodec::ComPort::Accepted) {
        return true;
    }
    failure_ = where_ + QStringLiteral(": no answer to COM port control (RFC 2217) within %1 s")
                            .arg(NetworkConnectLimitMs / 1000);
    return false;
}

} // namespace quellaton
