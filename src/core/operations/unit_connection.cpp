#include "operations/unit_connection.h"

#include "operations/pacing.h"
#include "operations/timer_setup.h"
#include "protocol/frames.h"

namespace quellaton {

UnitConnection::UnitConnection(UnitLink& link, UnitModel& model, LiveWriter& writer,
                               QObject* parent)
    : QObject(parent), link_(link), model_(model), writer_(writer),
      lister_([] { return FillPortList({}); }) {
    SetUpTimer(firstByte_, this, "firstByteTimeout", pacing::FirstByteTimeoutMs, true);
    SetUpTimer(image_, this, "imageTimeout", pacing::ImageTimeoutMs, true);
    SetUpTimer(names_, this, "namesTimeout", pacing::NamesTimeoutMs, true);
    SetUpTimer(presence_, this, "presenceCheck", pacing::PresenceCheckMs, false);
    SetUpTimer(reopen_, this, "reopenPause", pacing::ReopenPauseMs, true);
    for (QTimer* connectTimer : {&firstByte_, &image_, &names_}) {
        connect(connectTimer, &QTimer::timeout, this, &UnitConnection::connectTimedOut);
    }
    connect(&presence_, &QTimer::timeout, this, &UnitConnection::checkPresence);
    connect(&reopen_, &QTimer::timeout, this, &UnitConnection::openPort);
    connect(&link_, &UnitLink::bytesReceived, this, &UnitConnection::bytesReceived);
    connect(&link_, &UnitLink::unclaimedReply, this, &UnitConnection::unclaimedReply);
    connect(&writer_, &LiveWriter::pollUnanswered, this, &UnitConnection::pollUnanswered);
    connect(&link_.driver(), &SerialDriver::openFinished, this, &UnitConnection::portOpened);
    // A dropped network connection is known at once: the presence check need not wait for
    // its next round.
    connect(&link_.driver(), &SerialDriver::stateChanged, this,
            [this](SerialDriver::DriverState st) {
                if (st == SerialDriver::DriverState::Broken && link_.driver().networkPort()) {
                    QTimer::singleShot(0, this, &UnitConnection::checkPresence);
                }
            });
    presence_.start();
}

bool UnitConnection::shownConnected() const {
    switch (state_) {
    case State::AwaitingReply:
    case State::ReceivingImage:
    case State::AwaitingNames:
    case State::Connected:
    case State::Broadcasting:
    case State::Disconnecting:
        return true;
    default:
        return false;
    }
}

bool UnitConnection::live() const {
    return state_ != State::Disconnected && state_ != State::Disconnecting;
}

void UnitConnection::setState(State state) {
    if (state_ != state) {
        state_ = state;
        emit stateChanged(state);
    }
}

void UnitConnection::connectTo(const PortEntry& port) {
    if (state_ != State::Disconnected || link_.driver().opening()) {
        return;
    }
    emit connecting();
    port_ = port;
    openFailure_.clear();
    setState(State::Opening);
    if (link_.portOpen()) {
        link_.driver().ClosePort();
        reopen_.start();
        return;
    }
    openPort();
}

void UnitConnection::openPort() {
    if (state_ != State::Opening) {
        return;
    }
    // Nothing edited before this connect goes to the unit.
    writer_.sendSlots().clearAll();
    if (port_.location.isEmpty()) {
        openFailure_.clear();
        portOpened(false);
        return;
    }
    link_.driver().OpenPort(port_.location);
    if (!link_.driver().opening()) {
        portOpened(link_.portOpen());
    }
}

void UnitConnection::portOpened(bool ok) {
    if (state_ != State::Opening) {
        return;
    }
    if (!ok || !link_.portOpen()) {
        openFailure_ = link_.driver().openFailureReason();
        setState(State::Disconnected);
        emit disconnected(Failure::PortUnavailable);
        return;
    }
    link_.driver().StartWatcher();
    writer_.setActive(true);
    if (link_.addressByte() == BroadcastAddress) {
        setState(State::BroadcastPending);
        emit broadcastConfirmationNeeded();
        return;
    }
    requestImage();
}

void UnitConnection::requestImage() {
    link_.clearReceived();
    setState(State::AwaitingReply);
    link_.send(ImageRead(link_.addressByte()), this, [this](bool) {
        // All three times count from the moment the request has gone out.
        if (state_ == State::AwaitingReply || state_ == State::ReceivingImage) {
            firstByte_.start();
            image_.start();
            names_.start();
        }
    });
}

void UnitConnection::confirmBroadcast() {
    if (state_ == State::BroadcastPending) {
        setState(State::Broadcasting);
    }
}

void UnitConnection::disconnectLink(Failure reason) {
    if (state_ == State::Disconnecting) {
        return;
    }
    writer_.setActive(false);
    firstByte_.stop();
    image_.stop();
    names_.stop();
    reopen_.stop();
    // Whoever shows the connection puts the window back before the port goes; a frame still on
    // the line may finish first.
    setState(State::Disconnecting);
    link_.driver().ClosePort();
    setState(State::Disconnected);
    emit disconnected(reason);
}

void UnitConnection::bytesReceived() {
    firstByte_.stop();
    writer_.stopWatchdog();
    if (state_ == State::AwaitingReply) {
        setState(State::ReceivingImage);
    }
}

void UnitConnection::unclaimedReply(const Reply& reply) {
    const bool stands = live() && state_ != State::Opening;
    switch (reply.kind) {
    case Reply::Kind::System:
        model_.setSystem(reply.system);
        return;
    case Reply::Kind::Status:
        model_.setStatus(reply.status);
        return;
    case Reply::Kind::Image:
        if (stands) {
            imageReceived(reply.text);
        }
        return;
    case Reply::Kind::NameTable:
        if (stands) {
            namesReceived(reply.names);
        }
        return;
    default:
        return;
    }
}

void UnitConnection::imageReceived(const QByteArray& text) {
    image_.stop();
    model_.replaceImage(DecodeImageText(text));
    link_.clearReceived();
    emit imageShown();
    if (state_ == State::AwaitingReply || state_ == State::ReceivingImage) {
        setState(State::AwaitingNames);
    }
    link_.send(NameTableRead(link_.addressByte()));
}

void UnitConnection::namesReceived(const PresetNames& names) {
    names_.stop();
    model_.setPresetNames(names);
    if (state_ != State::BroadcastPending && state_ != State::Broadcasting) {
        setState(State::Connected);
    }
    writer_.requestSystemRead();
    writer_.start();
}

void UnitConnection::connectTimedOut() {
    // The first of the three times to run out ends the connect (and stops the others).
    if (live()) {
        disconnectLink(Failure::NoUnit);
    }
}

void UnitConnection::pollUnanswered() {
    // Units do not answer a broadcast: silence is expected then.
    if (link_.addressByte() != BroadcastAddress && live()) {
        disconnectLink(Failure::LinkInterrupted);
    }
}

void UnitConnection::checkPresence() {
    // A device search holds ports open too; only a connection is dropped here.
    if (!link_.portOpen() || !live() || state_ == State::Opening) {
        return;
    }
    // A network port is always listed; it has gone when its connection has dropped.
    const bool vanished =
        (link_.driver().networkPort() &&
         link_.driver().state() == SerialDriver::DriverState::Broken) ||
        (!link_.driver().networkPort() && !PortStillListed(lister_(), port_.name));
    if (vanished) {
        disconnectLink(Failure::PortVanished);
    }
}

} // namespace quellaton
