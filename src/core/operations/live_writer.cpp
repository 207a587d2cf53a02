#include "operations/live_writer.h"

#include "operations/pacing.h"
#include "operations/timer_setup.h"
#include "protocol/block_builders.h"
#include "protocol/frames.h"

#include <memory>

namespace quellaton {

LiveWriter::LiveWriter(UnitLink& link, UnitModel& model, QObject* parent)
    : QObject(parent), link_(link), model_(model) {
    SetUpTimer(scan_, this, "queueScanTimer", pacing::QueueScanMs, false);
    SetUpTimer(writeDelay_, this, "queueWriteDelay", pacing::QueueWriteDelayMs, true);
    SetUpTimer(resume_, this, "queueResumeTimer", pacing::QueueResumeMs, true);
    SetUpTimer(poll_, this, "pollTimer", pacing::PollIntervalMs, false);
    SetUpTimer(watchdog_, this, "pollWatchdog", pacing::PollWatchdogMs, true);
    connect(&scan_, &QTimer::timeout, this, &LiveWriter::scanTick);
    connect(&writeDelay_, &QTimer::timeout, this, &LiveWriter::writePicked);
    connect(&resume_, &QTimer::timeout, this, &LiveWriter::resume);
    connect(&poll_, &QTimer::timeout, this, &LiveWriter::pollTick);
    connect(&watchdog_, &QTimer::timeout, this, [this] {
        watchdog_.stop();
        emit pollUnanswered();
    });
    connect(&model_, &UnitModel::blockEdited, this, &LiveWriter::blockEdited);
    // A whole new image replaces whatever edits were waiting.
    connect(&model_, &UnitModel::imageReplaced, this, [this] { slots_.clearAll(); });
}

bool LiveWriter::canWrite() const {
    return active_ && link_.portOpen();
}

// Only while a port is open is anything built: with no unit there is nothing to send to.
void LiveWriter::blockEdited(int slot) {
    if (!link_.portOpen()) {
        return;
    }
    slots_.prepare(slot,
                   BuildBlockFrame(slot, link_.addressByte(), model_.image(), model_.bypassRows()));
}

void LiveWriter::queueFrame(int slot, const QByteArray& frame) {
    slots_.prepare(slot, frame);
}

void LiveWriter::setActive(bool active) {
    if (active == active_) {
        return;
    }
    active_ = active;
    if (!active_) {
        stop();
    }
}

void LiveWriter::start() {
    startPoll();
    startQueue();
}

void LiveWriter::startQueue() {
    StartKeeping(scan_);
    if (queueState_ == QueueState::Idle) {
        queueState_ = QueueState::Scanning;
    }
}

void LiveWriter::startPoll() {
    StartKeeping(poll_);
}

void LiveWriter::pause() {
    // A slot picked but not yet written goes back, to leave when the queue runs again.
    if (writeDelay_.isActive() && sendingSlot_ > 0) {
        slots_.setPending(sendingSlot_);
    }
    stop();
}

void LiveWriter::stopPollAndQueue() {
    poll_.stop();
    scan_.stop();
    watchdog_.stop();
    if (queueState_ == QueueState::Scanning) {
        queueState_ = QueueState::Idle;
    }
}

void LiveWriter::stopPoll() {
    poll_.stop();
    watchdog_.stop();
}

void LiveWriter::stop() {
    // A send on the line finishes; nothing is resumed after it.
    poll_.stop();
    scan_.stop();
    watchdog_.stop();
    writeDelay_.stop();
    resume_.stop();
    ++generation_;
    sendingSlot_ = 0;
    queueState_ = QueueState::Idle;
}

void LiveWriter::scanTick() {
    // One send at a time: a slot already picked is written and waited for first.
    if (!canWrite() || (queueState_ != QueueState::Idle && queueState_ != QueueState::Scanning)) {
        return;
    }
    const int slot = slots_.nextPending();
    if (slot == 0) {
        return;
    }
    sendingSlot_ = slot;
    slots_.clearPending(slot);
    scan_.stop();
    poll_.stop();
    watchdog_.stop();
    queueState_ = QueueState::Picked;
    StartKeeping(writeDelay_);
}

void LiveWriter::writePicked() {
    writeDelay_.stop();
    if (!canWrite() || sendingSlot_ <= 0) {
        return;
    }
    const int slot = sendingSlot_;
    // The frame as the slot holds it now: edits made while it waited go out with it.
    const QByteArray frame = slots_.frameToSend(slot, link_.addressByte());
    // No unit answers a broadcast, so each frame goes out twice.
    const int copies = link_.addressByte() == BroadcastAddress ? 2 : 1;
    queueState_ = QueueState::Writing;
    auto remaining = std::make_shared<int>(copies);
    const quint64 generation = generation_;
    auto left = [this, slot, remaining, generation](bool) {
        if (--*remaining > 0 || generation != generation_ || !active_) {
            // Paused or stopped while the frame was on the line: nothing follows it.
            return;
        }
        sendingSlot_ = 0;
        queueState_ = QueueState::Resuming;
        emit slotSent(slot);
        StartKeeping(resume_);
    };
    int written = 0;
    for (int copy = 0; copy < copies; ++copy) {
        if (link_.send(frame, this, left)) {
            ++written;
        }
    }
    // Frames that did not go out at all are counted as done at once.
    for (int missing = copies - written; missing > 0; --missing) {
        left(false);
    }
}

void LiveWriter::resume() {
    resume_.stop();
    if (queueState_ == QueueState::Resuming) {
        queueState_ = QueueState::Idle;
    }
    startPoll();
    startQueue();
}

void LiveWriter::pollTick() {
    if (!canWrite()) {
        return;
    }
    link_.clearReceived();
    link_.send(StatusPoll(link_.addressByte()), this, [this](bool) {
        if (active_) {
            StartKeeping(watchdog_);
        }
    });
}

} // namespace quellaton
