#include "protocol/send_slots.h"

#include "dsp/scales.h"
#include "protocol/frames.h"

namespace quellaton {

SlotBlock BlockOfSlot(int slot) {
    if (slot >= 1 && slot <= 9) {
        return {quint8((slot - 1) / 3), quint8((slot - 1) % 3)};
    }
    if (slot >= 10 && slot <= 27) {
        return {quint8((slot - 10) / 6), quint8(3 + (slot - 10) % 6)};
    }
    if (slot == MainBlockSlot) {
        return {MainBlockNumber, 0};
    }
    if (slot == SystemWriteSlot) {
        return {SystemBlockNumber, 0};
    }
    if (slot >= 30 && slot <= 35) {
        return {quint8(5 + slot - 30), 0};
    }
    if (slot == MainCrossoverSlot) {
        return {MainCrossoverBlockNumber, 0};
    }
    return {0xFF, 0xFF};
}

int OutputSlot(int way) {
    return 1 + 3 * way;
}
int CrossoverSlot(int section) {
    return section == Main ? MainCrossoverSlot : 2 + 3 * section;
}
int LimiterSlot(int way) {
    return 3 + 3 * way;
}
int EqBandSlot(int bandIndex) {
    return bandIndex < 18 ? 10 + bandIndex : 30 + bandIndex - 18;
}

bool SendSlots::pending(int slot) const {
    return slot >= 1 && slot <= SendSlotCount && pending_[slot];
}

void SendSlots::setPending(int slot) {
    if (slot >= 1 && slot <= SendSlotCount) {
        pending_[slot] = true;
    }
}

void SendSlots::clearPending(int slot) {
    if (slot >= 1 && slot <= SendSlotCount) {
        pending_[slot] = false;
    }
}

void SendSlots::clearAll() {
    pending_.fill(false);
}

bool SendSlots::anyPending() const {
    return nextPending() != 0;
}

int SendSlots::nextPending() const {
    for (int slot = 1; slot <= SendSlotCount; ++slot) {
        if (pending_[slot]) {
            return slot;
        }
    }
    return 0;
}

void SendSlots::prepare(int slot, QByteArray frame) {
    if (slot < 1 || slot > BlockSlotCount) {
        return;
    }
    frames_[slot] = std::move(frame);
    pending_[slot] = true;
}

const QByteArray& SendSlots::blockFrame(int slot) const {
    static const QByteArray none;
    return (slot >= 1 && slot <= BlockSlotCount) ? frames_[slot] : none;
}

QByteArray SendSlots::frameToSend(int slot, int address) const {
    if (slot == SystemReadSlot) {
        return SystemRead(address);
    }
    return blockFrame(slot);
}

} // namespace quellaton
