// The serial port driver: owns the one port through which the program talks to the amplifier
// units, a local serial port or a serial device server on the network (see transport.h). It
// opens the port at 9600 8N1, turns each burst of received bytes into upper-case hex
// text in ReceiveText and hands it to the receive parser once per burst, writes one prepared
// frame at a time from SendText, and closes the port. It knows nothing of frames or commands.
//
// Everything runs on the window's thread. Received bytes are collected by a receive pass: the
// first readyRead arms a 50 ms single-shot timer, and when it fires every byte queued by then
// is read in one go, so a whole short reply reaches the parser in one call and at most one pass
// is in flight. A write returns when its frame has left the line, so that every pause a caller
// makes after it counts from there; it waits in the event loop, never by blocking. ClosePort
// waits at most CloseDrainMs for a frame still being written.
#pragma once

#include "link/transport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace quellaton {

class BlockingSerialDriver : public QObject {
    Q_OBJECT
public:
    // Closed: no port. Open: port open and configured, no receive passes yet. Receiving: receive
    // passes enabled. Broken: a read or write failed or the device vanished; the handle is
    // already closed but PortOpen() stays true until the next ClosePort.
    enum class DriverState { Closed, Open, Receiving, Broken };
    Q_ENUM(DriverState)

    static constexpr int BaudRate = 9600;
    static constexpr int ReceivePassDelayMs = 50;
    // Longest time ClosePort lets a frame still being written finish.
    static constexpr int CloseDrainMs = 250;
    // How long, beyond its line time, a write waits for the port's output queue to drain
    // before it gives up on the frame: a stalled adapter must not hold the program.
    static constexpr int DrainGraceMs = 2000;

    // Time `bytes` take on the line at 9600 baud, 10 bits a character (start, 8 data, stop).
    static constexpr qint64 LineTimeNs(qint64 bytes) {
        return bytes * 10 * 1'000'000'000LL / BaudRate;
    }

    explicit BlockingSerialDriver(QObject* parent = nullptr);
    ~BlockingSerialDriver() override;

    BlockingSerialDriver(const BlockingSerialDriver&) = delete;
    BlockingSerialDriver& operator=(const BlockingSerialDriver&) = delete;

    // Number of the port the next open uses; written by the connection code (-1 after a
    // disconnect, 0 after a failed connect). The driver itself never reads it unless
    // PortLocation is empty, in which case it opens "COM" followed by this number.
    int PortNumber = 0;
    // System location (device path, the name QSerialPort understands, or a network port
    // "tcp://HOST:PORT" / "rfc2217://HOST:PORT") that OpenPort opens; set by the caller from
    // the selected port-list item.
    QString PortLocation;
    // Received bytes as upper-case hex digit pairs, in arrival order. Only grows here; the
    // receive parser removes what it consumed and callers empty it before a request.
    QByteArray ReceiveText;
    // The frame the next WriteFrame sends. The driver never changes it.
    QByteArray SendText;

    // Called once per receive pass that found bytes, after they were appended to ReceiveText.
    std::function<void()> parser;

    bool PortOpen() const { return state_ != DriverState::Closed; }
    DriverState state() const { return state_; }
    // True while a receive pass is armed (waiting for its 50 ms to elapse).
    bool passArmed() const { return passTimer_.isActive(); }

    // Opens PortLocation for reading and writing at 9600 8N1. PortOpen() is true afterwards
    // exactly when the port opened and the line settings were accepted; a failure reports
    // nothing and leaves the driver Closed. A network port connects in the event loop (at most
    // NetworkConnectLimitMs); meanwhile opening() is true and a second OpenPort does nothing.
    void OpenPort();
    bool opening() const { return opening_; }
    // True when PortLocation names a network port.
    bool networkPort() const { return IsNetworkPortName(PortLocation); }
    // Why the last OpenPort failed, as one line for the user: the port and the system's
    // reason, and for a permission error how to get the permission. Empty after a good open.
    QString openFailureReason() const { return openFailure_; }
    // Enables the receive passes; does nothing unless the port is Open.
    void StartWatcher();
    // Writes SendText as one frame; does nothing unless the port is usable, SendText is not
    // empty and the driver has not been shut down. Returns when the frame has left the line:
    // the port's output queue has drained and the frame's line time has passed since it was
    // handed over (after the frames still ahead of it), whichever is later. Events are
    // processed meanwhile. True when the frame left the line on the port it was written to;
    // false when nothing was written, or the port closed, broke or stalled before that.
    bool WriteFrame();
    // The program is closing: the frame on its way out finishes, and no frame is written from
    // now on, so that a transfer cut short by the close never sends its remaining steps.
    void Shutdown();
    // Disarms any pending pass, lets a frame still being written finish (at most
    // CloseDrainMs), discards unread input and closes the port; does nothing when PortOpen()
    // is false. Never waits longer than that, in any state.
    void ClosePort();

signals:
    void stateChanged(quellaton::BlockingSerialDriver::DriverState state);
    // Emitted after each receive pass that appended bytes (after the parser was called).
    void received();

private:
    void setState(DriverState state);
    void onReadyRead();
    void armPass();
    void runPass();
    void scheduleBreak();
    void breakLink();
    void releaseHandle(bool purge);
    bool usable() const;
    bool waitUntilLeft(qint64 frameEndNs);

    // The open line; a child of the driver (findChild finds what it holds).
    std::unique_ptr<Transport> transport_;
    QTimer passTimer_{this};
    DriverState state_ = DriverState::Closed;
    bool inPass_ = false;
    bool opening_ = false;
    bool breakQueued_ = false;
    bool shutDown_ = false;
    QString openFailure_;
    quint64 openGeneration_ = 0;
    // Line clock: when the last frame handed over will have left the line.
    QElapsedTimer clock_;
    qint64 lineFreeAtNs_ = 0;
};

} // namespace quellaton
