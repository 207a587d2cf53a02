#include "operations/unit_presets.h"

#include "protocol/block_builders.h"
#include "protocol/frames.h"

#include "operations/timer_setup.h"

namespace quellaton {

namespace {

constexpr int RecallProgressTicks = 10;

} // namespace

// ---- Recall ----

RecallPreset::RecallPreset(UnitLink& link, LiveWriter& writer, UnitModel& model, int preset,
                           QObject* parent)
    : Operation(link, parent), writer_(writer), model_(model), preset_(preset) {
    SetUpTimer(timeout_, this, "recallTimeout", pacing::RecallTimeoutMs, true);
    SetUpTimer(progress_, this, "recallProgress", pacing::RecallProgressMs, false);
    connect(&timeout_, &QTimer::timeout, this, [this] {
        writer_.start();
        finish(Result::TimedOut);
    });
    connect(&progress_, &QTimer::timeout, this, [this] {
        ticks_ += 1;
        emit progress(ticks_, RecallProgressTicks);
        if (ticks_ >= RecallProgressTicks) {
            progress_.stop();
        }
    });
}

void RecallPreset::begin() {
    claimReplies();
    writer_.pause();
    state_ = State::Settling;
    after(pacing::TransferSettleMs, [this] {
        link_.clearReceived();
        write(PresetRecall(link_.addressByte(), preset_), [this](bool) {
            state_ = State::AwaitingImage;
            timeout_.start();
            ticks_ = 0;
            progress_.start();
            emit progress(0, RecallProgressTicks);
            emit requestSent();
        });
    });
}

bool RecallPreset::claim(const Reply& reply) {
    if (reply.kind != Reply::Kind::Image) {
        return false;
    }
    model_.replaceImage(DecodeImageText(reply.text));
    link_.clearReceived();
    writer_.requestSystemRead();
    writer_.start();
    finish(Result::Done);
    return true;
}

// ---- Store a name ----

StoreName::StoreName(UnitLink& link, LiveWriter& writer, UnitModel& model, int slot,
                     QByteArray name, int ackTimeoutMs, QObject* parent)
    : Operation(link, parent), writer_(writer), model_(model), slot_(slot), name_(std::move(name)) {
    setUpTimeout(ackTimeout_, "nameAckTimeout", ackTimeoutMs);
}

void StoreName::begin() {
    writer_.stopPollAndQueue();
    claimReplies();
    state_ = State::Writing;
    link_.clearReceived();
    write(NameWrite(link_.addressByte(), slot_, name_), [this](bool) {
        state_ = State::Settling;
        after(pacing::NameWriteSettleMs, [this] {
            writer_.start();
            emit sent();
            if (acknowledged_) {
                finish(Result::Done);
                return;
            }
            state_ = State::AwaitingAck;
            if (ackTimeout_.interval() > 0) {
                ackTimeout_.start();
            }
        });
    });
    // The program shows the new name at once, whatever the unit answers.
    model_.setPresetName(slot_, name_);
}

bool StoreName::claim(const Reply& reply) {
    if (reply.kind != Reply::Kind::NameAck) {
        return false;
    }
    if (!acknowledged_) {
        acknowledged_ = true;
        writer_.requestSystemRead();
        emit acknowledged();
    }
    if (state_ == State::AwaitingAck) {
        finish(Result::Done);
    }
    return true;
}

// ---- Change the device ID ----

ChangeId::ChangeId(UnitLink& link, LiveWriter& writer, UnitModel& model, int newId,
                   int ackTimeoutMs, QObject* parent)
    : Operation(link, parent), writer_(writer), model_(model), newId_(newId) {
    setUpTimeout(ackTimeout_, "idAckTimeout", ackTimeoutMs);
}

void ChangeId::begin() {
    claimReplies();
    state_ = State::AwaitingAck;
    // The write goes to the address the unit has now, with the new ID in it.
    if (link_.portOpen()) {
        writer_.queueFrame(SystemWriteSlot,
                           SystemWriteFrame(link_.addressByte(), model_.system(), newId_));
    }
    link_.clearReceived();
    // The polls that follow already go to the new address.
    link_.address().setDeviceId(newId_);
    if (ackTimeout_.interval() > 0) {
        ackTimeout_.start();
    }
}

bool ChangeId::claim(const Reply& reply) {
    if (reply.kind != Reply::Kind::IdChangeAck) {
        return false;
    }
    finish(Result::Done);
    return true;
}

} // namespace quellaton
