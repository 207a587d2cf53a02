// What the serial driver needs of a line: a byte stream both ways to the units, opened by
// name. Three kinds sit under it: a local serial port, a serial device server in raw TCP mode
// ("tcp://HOST:PORT") and one speaking RFC 2217 ("rfc2217://HOST:PORT"). Everything above the
// driver is the same for all three.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace quellaton {

class Transport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    enum class Opening {
        Opened,  // the line is open
        Failed,  // it could not be opened; failureText() says why
        Pending, // it is being opened in the background: opened() tells how that ended
    };
    // Opens `location` as a line at 9600 8N1. A serial port opens at once; a network port
    // connects (and negotiates) in the event loop, within NetworkConnectLimitMs, and reports
    // with opened(). On failure failureText() says why, in the system's words.
    virtual Opening open(const QString& location) = 0;
    // Closes the line; output already handed over is left to go out.
    virtual void close() = 0;
    // Gives a frame still being handed over up to `ms` to go (used just before a close).
    virtual void drain(int ms) = 0;

    // Queues bytes for the line and hands them to the system without waiting. False when
    // the line did not take them.
    virtual bool write(const QByteArray& bytes) = 0;
    // Bytes written but not yet on their way: queued here or in the system's output queue.
    virtual qint64 outputQueued() const = 0;

    // Takes in what the system has received by now, without waiting.
    virtual void collect() = 0;
    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray readAll() = 0;
    // Throws away everything received so far.
    virtual void discardInput() = 0;

    QString failureText() const { return failure_; }

signals:
    // A pending open ended: the line is open, or it could not be opened (failureText() says
    // why).
    void opened(bool ok);
    // Bytes can be read.
    void readyRead();
    // The open line failed or went away (a device unplugged, a connection dropped).
    void broken();

protected:
    QString failure_;
};

// How long a network port may take to connect (name look-up, TCP and any negotiation).
inline constexpr int NetworkConnectLimitMs = 3000;

// "tcp://HOST:PORT" or "rfc2217://HOST:PORT".
bool IsNetworkPortName(const QString& name);

// The transport that opens `location`: a network one for the two network forms, else the
// serial port.
std::unique_ptr<Transport> MakeTransport(const QString& location, QObject* parent);

} // namespace quellaton
