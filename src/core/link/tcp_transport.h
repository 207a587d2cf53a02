// Serial device servers on the network: "tcp://HOST:PORT" carries the line as a raw byte
// stream, "rfc2217://HOST:PORT" as telnet with COM port control (RFC 2217), which also sets
// the server's port to 9600 8N1 without flow control. Name look-up, connect and negotiation
// run in the event loop, within NetworkConnectLimitMs, and end with opened().
#pragma once

#include "link/telnet_codec.h"
#include "link/transport.h"

#include <QTcpSocket>
#include <QTimer>

namespace quellaton {

class TcpTransport : public Transport {
    Q_OBJECT
public:
    explicit TcpTransport(QObject* parent = nullptr);

    Opening open(const QString& location) override;
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
    // After the connect: starts what the protocol needs before the line is usable.
    virtual void startNegotiation() { finishOpening(true); }
    // While negotiating: whatever the server sent has been decoded.
    virtual void negotiationAdvanced() {}
    // The connect limit passed while negotiating: true when the line may be used all the same.
    virtual bool usableAtDeadline() { return false; }
    // Ends a pending open, once.
    void finishOpening(bool ok);
    bool negotiating() const { return phase_ == Phase::Negotiating; }

    QTcpSocket socket_{this};
    QString where_; // HOST:PORT, for messages

private:
    enum class Phase { Closed, Connecting, Negotiating, Open };

    void take();
    void onConnected();
    void onDisconnected();
    void onDeadline();

    QTimer deadline_;
    Phase phase_ = Phase::Closed;
    QByteArray incoming_;
    bool closing_ = false;
};

class Rfc2217Transport : public TcpTransport {
    Q_OBJECT
public:
    using TcpTransport::TcpTransport;

protected:
    QByteArray encode(const QByteArray& data) override { return TelnetCodec::Escape(data); }
    QByteArray decode(const QByteArray& received) override;
    void startNegotiation() override;
    void negotiationAdvanced() override;
    bool usableAtDeadline() override;

private:
    TelnetCodec codec_;
};

} // namespace quellaton
