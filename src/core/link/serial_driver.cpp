#include "link/serial_driver.h"

#include <QMetaObject>

#include <algorithm>

namespace quellaton {

SerialDriver::SerialDriver(QObject* parent) : QObject(parent) {
    passTimer_.setObjectName(QStringLiteral("receivePassTimer"));
    passTimer_.setSingleShot(true);
    passTimer_.setInterval(ReceivePassDelayMs);
    passTimer_.setTimerType(Qt::PreciseTimer);
    connect(&passTimer_, &QTimer::timeout, this, &SerialDriver::runPass);
    leftTimer_.setObjectName(QStringLiteral("frameLeftTimer"));
    leftTimer_.setSingleShot(true);
    leftTimer_.setTimerType(Qt::PreciseTimer);
    connect(&leftTimer_, &QTimer::timeout, this, &SerialDriver::checkLeft);
    clock_.start();
}

SerialDriver::~SerialDriver() {
    passTimer_.stop();
    leftTimer_.stop();
    transport_.reset();
}

void SerialDriver::setState(DriverState state) {
    if (state_ == state)
        return;
    state_ = state;
    emit stateChanged(state);
}

bool SerialDriver::PortOpen() const {
    return state_ == DriverState::Open || state_ == DriverState::Receiving ||
           state_ == DriverState::Broken;
}

void SerialDriver::OpenPort(const QString& location) {
    // Callers close before opening; an open (or broken) port is not opened over, nor is a
    // network port opened twice while it connects.
    if (state_ != DriverState::Closed)
        return;
    location_ = location;
    if (transport_) {
        // It may be the sender of the signal that brought us here: it goes from the event loop.
        transport_.release()->deleteLater();
    }
    std::unique_ptr<Transport> transport = MakeTransport(location, this);
    openFailure_.clear();
    switch (transport->open(location)) {
    case Transport::Opening::Opened:
        attach(std::move(transport));
        return;
    case Transport::Opening::Failed:
        openFailure_ = transport->failureText();
        transport.release()->deleteLater();
        return;
    case Transport::Opening::Pending:
        transport_ = std::move(transport);
        connect(transport_.get(), &Transport::opened, this, &SerialDriver::onOpened);
        setState(DriverState::Opening);
        return;
    }
}

void SerialDriver::onOpened(bool ok) {
    if (state_ != DriverState::Opening || !transport_)
        return;
    if (ok) {
        attach(std::move(transport_));
        emit openFinished(state_ == DriverState::Open);
        return;
    }
    openFailure_ = transport_->failureText();
    // Inside the transport's own signal: it goes from the event loop.
    transport_.release()->deleteLater();
    setState(DriverState::Closed);
    emit openFinished(false);
}

void SerialDriver::attach(std::unique_ptr<Transport> transport) {
    transport_ = std::move(transport);
    disconnect(transport_.get(), &Transport::opened, this, nullptr);
    connect(transport_.get(), &Transport::readyRead, this, &SerialDriver::onReadyRead);
    // The line reports a failure from inside its own handling, where it must not be closed;
    // the teardown runs from the event loop right after.
    connect(transport_.get(), &Transport::broken, this, [this] {
        if (state_ == DriverState::Open || state_ == DriverState::Receiving)
            scheduleBreak();
    });
    // Whatever the line delivered before this open (late replies to an earlier connection,
    // noise) belongs to nobody: the first reply read must be one to a request of this one.
    transport_->discardInput();
    lineFreeAtNs_ = 0;
    ++openGeneration_;
    breakQueued_ = false;
    setState(DriverState::Open);
}

void SerialDriver::StartWatcher() {
    if (state_ != DriverState::Open)
        return;
    setState(DriverState::Receiving);
    // Bytes that came in between open and start are collected by the first pass.
    if (state_ == DriverState::Receiving && transport_ && transport_->bytesAvailable() > 0)
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
    if (state_ != DriverState::Receiving || breakQueued_ || !transport_)
        return;
    // While the bytes are being handed on, no second pass is armed; bytes arriving meanwhile
    // are collected by a pass armed when it has finished.
    inPass_ = true;
    transport_->collect();
    QByteArray bytes;
    if (state_ == DriverState::Receiving && !breakQueued_ && transport_ &&
        transport_->bytesAvailable() > 0)
        bytes = transport_->readAll();
    if (!bytes.isEmpty())
        emit received(bytes); // a listener may close the port
    inPass_ = false;
    if (state_ == DriverState::Receiving && !breakQueued_ && transport_ &&
        transport_->bytesAvailable() > 0)
        armPass();
}

bool SerialDriver::usable() const {
    return (state_ == DriverState::Open || state_ == DriverState::Receiving) && !breakQueued_ &&
           transport_;
}

quint64 SerialDriver::WriteFrame(const QByteArray& frame) {
    if (!usable() || frame.isEmpty() || shutDown_)
        return 0;
    const quint64 ticket = ++nextTicket_;
    outgoing_.append(Outgoing{ticket, frame});
    if (!inFlight_)
        handOver();
    return ticket;
}

void SerialDriver::handOver() {
    while (!inFlight_ && !outgoing_.isEmpty()) {
        if (!usable() || shutDown_) {
            giveUpFrames(false);
            return;
        }
        const QByteArray& bytes = outgoing_.constFirst().bytes;
        // The frame is handed to the system now, not when the event loop gets round to it
        // (after a repaint, say): its time on the line counts from here.
        if (!transport_->write(bytes)) {
            // The line reports the failure itself and is torn down.
            completeFront(false);
            continue;
        }
        inFlight_ = true;
        // The frame goes on the line after whatever is still ahead of it there.
        const qint64 handedOver = std::max(clock_.nsecsElapsed(), lineFreeAtNs_);
        lineFreeAtNs_ = handedOver + LineTimeNs(bytes.size());
        frameEndNs_ = lineFreeAtNs_;
        giveUpNs_ = frameEndNs_ + qint64(DrainGraceMs) * 1'000'000;
        leftTimer_.start(int((frameEndNs_ - clock_.nsecsElapsed() + 999'999) / 1'000'000));
    }
}

void SerialDriver::checkLeft() {
    if (!inFlight_)
        return;
    if (!usable()) {
        completeFront(false);
        return;
    }
    const qint64 now = clock_.nsecsElapsed();
    if (now < frameEndNs_) {
        leftTimer_.start(int((frameEndNs_ - now + 999'999) / 1'000'000));
        return;
    }
    const qint64 queued = transport_->outputQueued();
    if (queued == 0) {
        completeFront(true);
        return;
    }
    if (now >= giveUpNs_) {
        completeFront(false);
        return;
    }
    // Look again when the bytes still queued have had their time on the line.
    leftTimer_.start(int(std::max<qint64>(1, LineTimeNs(queued) / 1'000'000)));
}

void SerialDriver::completeFront(bool onLine) {
    if (outgoing_.isEmpty())
        return;
    const quint64 ticket = outgoing_.takeFirst().ticket;
    inFlight_ = false;
    leftTimer_.stop();
    // A listener may write the next frame at once; it is handed over from WriteFrame then.
    emit frameLeft(ticket, onLine);
    if (!inFlight_ && !outgoing_.isEmpty())
        handOver();
}

void SerialDriver::giveUpFrames(bool all) {
    QList<quint64> tickets;
    const qsizetype keep = (!all && inFlight_) ? 1 : 0;
    while (outgoing_.size() > keep)
        tickets.append(outgoing_.takeLast().ticket);
    if (all) {
        inFlight_ = false;
        leftTimer_.stop();
    }
    std::reverse(tickets.begin(), tickets.end());
    // Told from the event loop: whoever closed the port is not called back in the middle of
    // doing so.
    for (quint64 ticket : tickets) {
        QMetaObject::invokeMethod(
            this, [this, ticket] { emit frameLeft(ticket, false); }, Qt::QueuedConnection);
    }
}

void SerialDriver::Shutdown() {
    shutDown_ = true;
    giveUpFrames(false);
}

void SerialDriver::ClosePort() {
    if (state_ == DriverState::Closed)
        return;
    passTimer_.stop();
    if (state_ == DriverState::Opening) {
        if (transport_) {
            transport_->close();
            transport_.release()->deleteLater();
        }
        setState(DriverState::Closed);
        return;
    }
    // Writes are handed over without waiting, so the last frame may still be on its way out;
    // it may finish, for a bounded time, instead of being cut off on the wire.
    if (state_ != DriverState::Broken && transport_)
        transport_->drain(CloseDrainMs);
    giveUpFrames(true);
    releaseHandle(true);
    setState(DriverState::Closed);
}

void SerialDriver::scheduleBreak() {
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
    giveUpFrames(true);
    // Close first: whoever listens to the state change may close or reopen at once.
    releaseHandle(false);
    setState(DriverState::Broken);
}

void SerialDriver::releaseHandle(bool purge) {
    if (!transport_)
        return;
    // Unread input is discarded; output already handed to the system is left to go out.
    if (purge)
        transport_->discardInput();
    transport_->close();
}

} // namespace quellaton
