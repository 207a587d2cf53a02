#include "operations/preset_transfers.h"

#include "protocol/frames.h"

#include "operations/timer_setup.h"

namespace quellaton {

namespace {

constexpr int LoadOneProgressTicks = pacing::LoadOneSettleMs / pacing::LoadOneProgressMs;

} // namespace

// ---- Save one ----

SaveOnePreset::SaveOnePreset(UnitLink& link, LiveWriter& writer, int timeoutMs, QObject* parent)
    : Operation(link, parent), writer_(writer) {
    SetUpTimer(timeout_, this, "saveOneTimeout", timeoutMs, true);
    connect(&timeout_, &QTimer::timeout, this, [this] {
        writer_.start();
        finish(Result::TimedOut);
    });
}

void SaveOnePreset::begin() {
    writer_.pause();
    // From now on the unit's image is kept for the file, not shown.
    claimReplies();
    state_ = State::Settling;
    after(pacing::TransferSettleMs, [this] {
        state_ = State::Requesting;
        link_.clearReceived();
        timeout_.start();
        write(ImageRead(link_.addressByte()), [this](bool) {
            after(pacing::TransferSettleMs, [this] {
                state_ = State::AwaitingImage;
                emit requestSent();
            });
        });
    });
}

bool SaveOnePreset::claim(const Reply& reply) {
    if (reply.kind != Reply::Kind::Image) {
        return false;
    }
    imageText_ = reply.text;
    link_.clearReceived();
    if (state_ != State::AwaitingImage) {
        // Answered before the settle after the request had passed.
        state_ = State::AwaitingImage;
        emit requestSent();
    }
    writer_.start();
    finish(Result::Done);
    return true;
}

// ---- Save all ----

SaveAllPresets::SaveAllPresets(UnitLink& link, LiveWriter& writer, QObject* parent)
    : Operation(link, parent), writer_(writer) {
    SetUpTimer(tick_, this, "slotReadTimer", pacing::SlotReadIntervalMs, false);
    SetUpTimer(timeout_, this, "saveAllTimeout", pacing::BackupTimeoutMs, true);
    connect(&tick_, &QTimer::timeout, this, &SaveAllPresets::tick);
    connect(&timeout_, &QTimer::timeout, this, [this] {
        writer_.start();
        finish(Result::TimedOut);
    });
}

void SaveAllPresets::begin() {
    writer_.pause();
    state_ = State::Settling;
    after(pacing::TransferSettleMs, [this] {
        link_.clearReceived();
        requested_ = 0;
        lines_.clear();
        claimReplies();
        state_ = State::Requesting;
        emit progress(0, PresetSlotCount);
        tick_.start();
        timeout_.start();
    });
}

void SaveAllPresets::tick() {
    requested_ += 1;
    const int n = requested_;
    // What is left of the previous reply (a stray byte, a fragment) would make the sync rule
    // throw this slot's reply away with it.
    link_.clearReceived();
    write(SlotRead(link_.addressByte(), n), [](bool) {});
    emit progress(n, PresetSlotCount);
    if (n >= PresetSlotCount) {
        tick_.stop();
        state_ = State::AwaitingSlots;
    }
}

bool SaveAllPresets::claim(const Reply& reply) {
    if (reply.kind != Reply::Kind::Slot) {
        return false;
    }
    // Only the slot asked for next is taken: a late reply to an abandoned transfer, or one
    // behind a lost reply, would shift every slot that follows.
    if (reply.slot != lines_.size() + 1) {
        return true;
    }
    lines_.append(reply.text);
    if (lines_.size() >= PresetSlotCount) {
        writer_.start();
        finish(Result::Done);
    }
    return true;
}

// ---- Load one ----

LoadOnePreset::LoadOnePreset(UnitLink& link, LiveWriter& writer, UnitModel& model,
                             QByteArray imageText, QObject* parent)
    : Operation(link, parent), writer_(writer), model_(model), imageText_(std::move(imageText)) {
    SetUpTimer(progress_, this, "loadOneProgress", pacing::LoadOneProgressMs, false);
    connect(&progress_, &QTimer::timeout, this, [this] {
        ticks_ += 1;
        emit progress(ticks_, LoadOneProgressTicks);
        if (ticks_ >= LoadOneProgressTicks) {
            progress_.stop();
        }
    });
}

void LoadOnePreset::begin() {
    ticks_ = 0;
    emit progress(0, LoadOneProgressTicks);
    progress_.start();
    writer_.pause();
    state_ = State::WritingHead;
    writeImage(link_.addressByte(), ImageWriteCounter, imageText_, pacing::ImageHeadPauseMs,
               [this] {
                   // The window shows what was sent; edits made from now on reach the unit
                   // block by block.
                   model_.replaceImage(DecodeImageText(imageText_));
                   link_.clearReceived();
                   state_ = State::Settling;
                   after(pacing::LoadOneSettleMs, [this] {
                       writer_.start();
                       finish(Result::Done);
                   });
               });
}

// ---- Load all ----

LoadAllPresets::LoadAllPresets(UnitLink& link, LiveWriter& writer, QList<QByteArray> lines,
                               int namesTimeoutMs, QObject* parent)
    : Operation(link, parent), writer_(writer), lines_(std::move(lines)),
      namesTimeoutMs_(namesTimeoutMs) {
    SetUpTimer(slotTimer_, this, "slotWriteTimer", pacing::SlotWriteIntervalMs, true);
    setUpTimeout(namesTimeout_, "restoreNamesTimeout", namesTimeoutMs);
    connect(&slotTimer_, &QTimer::timeout, this, &LoadAllPresets::writeSlot);
}

void LoadAllPresets::begin() {
    // The queue may still send what is pending until the first slot goes.
    writer_.stopPoll();
    written_ = 0;
    emit progress(0, PresetSlotCount);
    state_ = State::Waiting;
    slotTimer_.start();
}

void LoadAllPresets::writeSlot() {
    slotTimer_.stop();
    // Nothing else may go out between a slot's head and its rest.
    writer_.pause();
    const QByteArray line = lines_.value(written_);
    written_ += 1;
    const int n = written_;
    state_ = State::WritingHead;
    writeImage(link_.addressByte(), n, line, pacing::SlotHeadPauseMs, [this, n] {
        emit progress(n, PresetSlotCount);
        if (n < PresetSlotCount) {
            // The next slot a tick after this one has left the line.
            state_ = State::Waiting;
            if (link_.portOpen()) {
                slotTimer_.start();
            }
            return;
        }
        state_ = State::EndPause;
        after(pacing::RestoreEndPauseMs, [this] { requestNames(); });
    });
}

void LoadAllPresets::requestNames() {
    state_ = State::RequestingNames;
    link_.clearReceived();
    namesWatch_ = connect(&link_, &UnitLink::replyReceived, this, [this](const Reply& reply) {
        if (reply.kind != Reply::Kind::NameTable) {
            return;
        }
        namesReceived_ = true;
        if (state_ == State::AwaitingNames) {
            finish(Result::Done);
        }
    });
    write(NameTableRead(link_.addressByte()), [this](bool) {
        state_ = State::NamesPause;
        after(pacing::NameTableAfterRestorePauseMs, [this] {
            writer_.startPoll();
            if (namesTimeoutMs_ <= 0 || namesReceived_) {
                finish(Result::Done);
                return;
            }
            state_ = State::AwaitingNames;
            namesTimeout_.start();
        });
    });
}

void LoadAllPresets::end(Result) {
    disconnect(namesWatch_);
}

} // namespace quellaton
