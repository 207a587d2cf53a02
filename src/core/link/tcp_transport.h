// Serial device servers on the network: "tcp://HOST:PORT" carries the line as a raw byte
// stream, "rfc2217://HOST:PORT" as telnet with COM port control (RFC 2217), which also sets
// the server's port to 9600 8N1 without flow control. Name look-up, connect and negotiation
// run in the event loop, within NetworkConnectLimitMs.
#pragma once

#include "link/telnet_codec.h"
#include "link/transport.h"

#include <QTcpSocket>

namespace quellaton {

class TcpTransport : public Transport {
    Q_OBJECT
public:
    explicit TcpTransport(QObject* parent = nullptr);

    bool open(const QString& location) override;
    void close() override;
    void drain(int ms) override;
    bool write(const QByteArray& bytes) override;
    qint64 outputQueued() const override;
    void collect() override;
    qint64 bytesAvailable() const override { return incoming_.size(); }
    QByteArray readAll() override;
    void discardInput() override;

protected:
    // The bytes to send for line data, and the line data in what the server sent.
    virtual QByteArray encode(const QByteArray& data) { return data; }
    virtual QByteArray decode(const QByteArray& received) { return received; }
    // After the connect: anything the protocol needs before the line is usable. True when it
    // is; `deadline` ms of the connect limit are left.
    virtual bool negotiate(int remainingMs);

    QTcpSocket socket_{this};
    QString where_; // HOST:PORT, for messages

private:
    void take();
    void onDisconnected();

    QByteArray incoming_;
    bool open_ = false;
    bool closing_ = false;
};

class Rfc2217Transport : public TcpTransport {
    Q_OBJECT
public:
    using TcpTransport::TcpTransport;

protected:
    QByteArray encode(const QByteArray& data) override { return TelnetCodec::Escape(data); }
    QByteArray decode(const QByteArray& received) override;
    bool negotiate(int remainingMs) override;

private:
    TelnetCodec codec_;
};

} // namespace quellaton
