// The serial port driver: owns one port through which the program talks to the amplifier
// units, a local serial port or a serial device server on the network (see transport.h). It
// opens the port at 9600 8N1, hands each burst of received bytes on once per receive pass,
// writes frames one after another, and closes the port. It knows nothing of frames or commands.
//
// Everything runs in the event loop of the driver's thread and nothing waits in a nested loop.
// Received bytes are collected by a receive pass: the first readyRead arms a 50 ms single-shot
// timer, and when it fires every byte queued by then is read in one go, so a whole short reply
// is handed on at once and at most one pass is in flight. A frame counts as written when it has
// left the line: the port's output queue has drained and its line time has passed since it was
// handed over. frameLeft() says so, and every pause a caller makes after a write counts from
// there. ClosePort waits at most CloseDrainMs for a frame still being written.
#pragma once

#include "link/transport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace quellaton {

class SerialDriver : public QObject {
    Q_OBJECT
public:
    // Closed: no port. Opening: a network port is connecting. Open: port open and configured,
    // no receive passes yet. Receiving: receive passes enabled. Broken: a read or write failed
    // or the device vanished; the handle is already closed but PortOpen() stays true until the
    // next ClosePort.
    enum class DriverState { Closed, Opening, Open, Receiving, Broken };
    Q_ENUM(DriverState)

    static constexpr int BaudRate = 9600;
    static constexpr int ReceivePassDelayMs = 50;
    // Longest time ClosePort lets a frame still being written finish.
    static constexpr int CloseDrainMs = 250;
    // How long, beyond its line time, a frame may wait for the port's output queue to drain
    // before it is given up: a stalled adapter must not hold the program.
    static constexpr int DrainGraceMs = 2000;

    // Time `bytes` take on the line at 9600 baud, 10 bits a character (start, 8 data, stop).
    static constexpr qint64 LineTimeNs(qint64 bytes) {
        return bytes * 10 * 1'000'000'000LL / BaudRate;
    }

    explicit SerialDriver(QObject* parent = nullptr);
    ~SerialDriver() override;

    SerialDriver(const SerialDriver&) = delete;
    SerialDriver& operator=(const SerialDriver&) = delete;

    // Opens `location` (a device path, a name QSerialPort understands, or a network port
    // "tcp://HOST:PORT" / "rfc2217://HOST:PORT") for reading and writing at 9600 8N1. A serial
    // port is open, or not, when this returns: PortOpen() says which, and a failure reports
    // nothing else. A network port connects in the event loop (at most NetworkConnectLimitMs):
    // meanwhile opening() is true, and openFinished() tells how it ended. Does nothing while a
    // port is open or opening.
    void OpenPort(const QString& location);
    bool PortOpen() const;
    bool opening() const { return state_ == DriverState::Opening; }
    DriverState state() const { return state_; }
    // The location last opened (or being opened).
    QString location() const { return location_; }
    // True when the location names a network port.
    bool networkPort() const { return IsNetworkPortName(location_); }
    // Why the last OpenPort failed, as one line for the user: the port and the system's
    // reason, and for a permission error how to get the permission. Empty after a good open.
    QString openFailureReason() const { return openFailure_; }
    // Enables the receive passes; does nothing unless the port is Open.
    void StartWatcher();
    // True while a receive pass is armed (waiting for its 50 ms to elapse).
    bool passArmed() const { return passTimer_.isActive(); }

    // Hands `frame` to the line, behind the frames still on their way. Returns the frame's
    // ticket, or 0 when nothing was written: the port is not usable, the frame is empty or the
    // driver has been shut down. frameLeft() follows for every ticket: true once the frame has
    // left the line, false when the port closed, broke or stalled before that.
    quint64 WriteFrame(const QByteArray& frame);
    // True while a frame is on its way or waiting behind one.
    bool writing() const { return !outgoing_.isEmpty(); }
    // The program is closing: the frame on its way out finishes, and no frame is written from
    // now on, so that a transfer cut short by the close never sends its remaining steps.
    void Shutdown();
    // Disarms any pending pass, lets a frame still being written finish (at most CloseDrainMs),
    // discards unread input and closes the port; frames still waiting are given up. Does
    // nothing when no port is open or opening. Never waits longer than that, in any state.
    void ClosePort();

signals:
    void stateChanged(quellaton::SerialDriver::DriverState state);
    // A network port's open ended (a serial port's open ends inside OpenPort).
    void openFinished(bool opened);
    // The bytes one receive pass read, in arrival order.
    void received(const QByteArray& bytes);
    // The frame with this ticket has left the line (true), or will not (false).
    void frameLeft(quint64 ticket, bool onLine);

private:
    struct Outgoing {
        quint64 ticket = 0;
        QByteArray bytes;
    };

    void setState(DriverState state);
    void attach(std::unique_ptr<Transport> transport);
    void onOpened(bool ok);
    void onReadyRead();
    void armPass();
    void runPass();
    void scheduleBreak();
    void breakLink();
    void releaseHandle(bool purge);
    bool usable() const;
    void handOver();
    void checkLeft();
    void completeFront(bool onLine);
    // Gives up every frame not yet handed over (and the one on its way when `all`).
    void giveUpFrames(bool all);

    // The open line; a child of the driver (findChild finds what it holds).
    std::unique_ptr<Transport> transport_;
    QTimer passTimer_{this};
    QTimer leftTimer_{this};
    DriverState state_ = DriverState::Closed;
    QString location_;
    bool inPass_ = false;
    bool breakQueued_ = false;
    bool shutDown_ = false;
    QString openFailure_;
    quint64 openGeneration_ = 0;

    // Frames on their way, the first one handed over when inFlight_.
    QList<Outgoing> outgoing_;
    bool inFlight_ = false;
    quint64 nextTicket_ = 0;
    // Line clock: when the frame handed over last will have left the line, and when the one
    // on its way is given up.
    QElapsedTimer clock_;
    qint64 lineFreeAtNs_ = 0;
    qint64 frameEndNs_ = 0;
    qint64 giveUpNs_ = 0;
};

} // namespace quellaton
