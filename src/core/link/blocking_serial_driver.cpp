#include "link/blocking_serial_driver.h"

#include <QEventLoop>
#include <QMetaObject>

#include <algorithm>

namespace quellaton {

BlockingSerialDriver::BlockingSerialDriver(QObject* parent) : QObject(parent) {
    passTimer_.setObjectName(QStringLiteral("receivePassTimer"));
    passTimer_.setSingleShot(true);
    passTimer_.setInterval(ReceivePassDelayMs);
    passTimer_.setTimerType(Qt::PreciseTimer);
    connect(&passTimer_, &QTimer::timeout, this, &BlockingSerialDriver::runPass);
    clock_.start();
}

BlockingSerialDriver::~BlockingSerialDriver() {
    passTimer_.stop();
    transport_.reset();
}

void BlockingSerialDriver::setState(DriverState state) {
    if (state_ == state)
        return;
    state_ = state;
    emit stateChanged(state);
}

void BlockingSerialDriver::OpenPort() {
    // Callers close before opening; an open (or broken) port is not opened over, nor is a
    // network port opened twice while it connects.
    if (state_ != DriverState::Closed || opening_)
        return;
    const QString location =
        PortLocation.isEmpty() ? QStringLiteral("COM%1").arg(PortNumber) : PortLocation;
    if (transport_) {
        // It may be the sender of the signal that brought us here: it goes from the event loop.
        transport_.release()->deleteLater();
    }
    std::unique_ptr<Transport> transport = MakeTransport(location, this);
    openFailure_.clear();
    opening_ = true;
    Transport::Opening opening = transport->open(location);
    if (opening == Transport::Opening::Pending) {
        QEventLoop loop;
        bool ok = false;
        connect(transport.get(), &Transport::opened, &loop, [&](bool result) {
            ok = result;
            loop.quit();
        });
        loop.exec();
        opening = ok ? Transport::Opening::Opened : Transport::Opening::Failed;
    }
    opening_ = false;
    if (opening != Transport::Opening::Opened) {
        openFailure_ = transport->failureText();
        transport.release()->deleteLater();
        return;
    }
    transport_ = std::move(transport);
    connect(transport_.get(), &Transport::readyRead, this, &BlockingSerialDriver::onReadyRead);
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

void BlockingSerialDriver::StartWatcher() {
    if (state_ != DriverState::Open)
        return;
    setState(DriverState::Receiving);
    // Bytes that came in between open and start are collected by the first pass.
    if (state_ == DriverState::Receiving && transport_ && transport_->bytesAvailable() > 0)
        armPass();
}

void BlockingSerialDriver::onReadyRead() {
    if (state_ != DriverState::Receiving || inPass_ || breakQueued_)
        return;
    armPass();
}

void BlockingSerialDriver::armPass() {
    // A pass already armed keeps its countdown: bytes arriving meanwhile are read in it.
    if (!passTimer_.isActive())
        passTimer_.start();
}

void BlockingSerialDriver::runPass() {
    if (state_ != DriverState::Receiving || breakQueued_ || !transport_)
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
        transport_->collect();
        if (state_ != DriverState::Receiving || breakQueued_ || !transport_)
            return;
        if (transport_->bytesAvailable() <= 0)
            return;
        const QByteArray bytes = transport_->readAll();
        ReceiveText += bytes.toHex().toUpper();
        if (parser)
            parser();
        emit received();
    }
    if (state_ == DriverState::Receiving && !breakQueued_ && transport_ &&
        transport_->bytesAvailable() > 0)
        armPass();
}

bool BlockingSerialDriver::usable() const {
    return (state_ == DriverState::Open || state_ == DriverState::Receiving) && !breakQueued_ &&
           transport_;
}

bool BlockingSerialDriver::WriteFrame() {
    if (!usable() || SendText.isEmpty() || shutDown_)
        return false;
    // The frame is handed to the system now, not when the event loop gets round to it (after
    // a repaint, say): its time on the line counts from here.
    if (!transport_->write(SendText))
        return false; // the line reports the failure itself and is torn down
    // The frame goes on the line after whatever is still ahead of it there.
    const qint64 handedOver = std::max(clock_.nsecsElapsed(), lineFreeAtNs_);
    lineFreeAtNs_ = handedOver + LineTimeNs(SendText.size());
    return waitUntilLeft(lineFreeAtNs_);
}

void BlockingSerialDriver::Shutdown() {
    shutDown_ = true;
}

bool BlockingSerialDriver::waitUntilLeft(qint64 frameEndNs) {
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
        const qint64 queued = transport_->outputQueued();
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
    connect(this, &BlockingSerialDriver::stateChanged, &loop, evaluate);
    // The first look comes from the event loop, so that quitting is seen by the loop.
    check.start(0);
    loop.exec();
    return left;
}

void BlockingSerialDriver::ClosePort() {
    if (state_ == DriverState::Closed)
        return;
    passTimer_.stop();
    // Writes are handed over without waiting, so the last frame may still be on its way out;
    // it may finish, for a bounded time, instead of being cut off on the wire.
    if (state_ != DriverState::Broken && transport_)
        transport_->drain(CloseDrainMs);
    releaseHandle(true);
    setState(DriverState::Closed);
}

void BlockingSerialDriver::scheduleBreak() {
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

void BlockingSerialDriver::breakLink() {
    if (state_ != DriverState::Open && state_ != DriverState::Receiving)
        return;
    passTimer_.stop();
    // Close first: whoever listens to the state change may close or reopen at once.
    releaseHandle(false);
    setState(DriverState::Broken);
}

void BlockingSerialDriver::releaseHandle(bool purge) {
    if (!transport_)
        return;
    // Unread input is discarded; output already handed to the system is left to go out.
    if (purge)
        transport_->discardInput();
    transport_->close();
}

} // namespace quellaton
