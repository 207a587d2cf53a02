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

BlockBuilders::BlockBuilders(ParameterImage& image, SendSlots& sendSlots,
                             std::function<bool()> portOpen, std::function<int()> address)
    : image_(image), slots_(sendSlots), portOpen_(std::move(portOpen)),
      address_(std::move(address)) {}

void BlockBuilders::prepareChannelSlot(int slot, QByteArray payload) {
    const SlotBlock sb = BlockOfSlot(slot);
    slots_.prepare(slot, BlockWrite(address_(), sb.block, sb.group, payload));
}

void BlockBuilders::queueOutputBlock(int way) {
    if (!portOpen_()) {
        return;
    }
    prepareChannelSlot(OutputSlot(way), BlockPayload(image_, way, 0));
}

void BlockBuilders::queueCrossoverBlock(int section) {
    if (!portOpen_()) {
        return;
    }
    const int slot = CrossoverSlot(section);
    const SlotBlock sb = BlockOfSlot(slot);
    prepareChannelSlot(slot, BlockPayload(image_, sb.block, sb.group));
}

void BlockBuilders::queueLimiterBlock(int way) {
    if (!portOpen_()) {
        return;
    }
    prepareChannelSlot(LimiterSlot(way), BlockPayload(image_, way, 2));
}

void BlockBuilders::queueEqBandBlock(int bandIndex) {
    if (bandIndex < 0 || bandIndex >= BandCount || !portOpen_()) {
        return;
    }
    const int slot = EqBandSlot(bandIndex);
    const SlotBlock sb = BlockOfSlot(slot);
    QByteArray payload = BlockPayload(image_, sb.block, sb.group);
    const int section = bandIndex / BandsPerSection;
    const int band = bandIndex % BandsPerSection;
    if (section == Main && mainBypass_[band]) {
        // A bypassed Main band goes out at 0 dB; the stored gain stays as it is.
        const int at = image_.bands[bandIndex].type == 0 ? 2 : 4;
        payload[at] = char(EqGainZeroIndex);
        payload[at + 1] = 0;
    }
    prepareChannelSlot(slot, payload);
}

void BlockBuilders::queueMainBlock(int masterFaderPosition) {
    if (!portOpen_()) {
        return;
    }
    image_.masterLevel = MainLevelTop - masterFaderPosition;
    prepareChannelSlot(MainBlockSlot, BlockPayload(image_, MainBlockNumber, 0));
}

bool BlockBuilders::queueSystemWrite(const SystemValues& values, int deviceId) {
    if (!portOpen_()) {
        return false;
    }
    slots_.prepare(SystemWriteSlot, DeviceFrame(address_(), WriteBlock, 0, SystemBlockNumber, 0,
                                                SystemPayload(values, deviceId)));
    return true;
}

void BlockBuilders::setMainBandBypassed(int band, bool bypassed) {
    if (band >= 0 && band < BandsPerSection) {
        mainBypass_[band] = bypassed;
    }
}

bool BlockBuilders::mainBandBypassed(int band) const {
    return band >= 0 && band < BandsPerSection && mainBypass_[band];
}

} // namespace quellaton
