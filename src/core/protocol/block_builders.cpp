#include "protocol/block_builders.h"

#include "dsp/scales.h"
#include "protocol/frames.h"
#include "protocol/send_slots.h"

namespace quellaton {

QByteArray SlotPayload(int slot, const ParameterImage& image, const BypassRows& bypass) {
    if (slot < 1 || slot > BlockSlotCount || slot == SystemWriteSlot) {
        return QByteArray(8, '\0');
    }
    const SlotBlock sb = BlockOfSlot(slot);
    QByteArray payload = BlockPayload(image, sb.block, sb.group);
    if (slot >= EqBandSlot(BandIndex(Main, 0)) && slot <= EqBandSlot(BandIndex(Main, 5))) {
        const int band = slot - EqBandSlot(BandIndex(Main, 0));
        if (bypass[std::size_t(band)]) {
            // A bypassed Main band goes out at 0 dB; the stored gain stays as it is.
            const int at = image.bands[std::size_t(BandIndex(Main, band))].type == 0 ? 2 : 4;
            payload[at] = char(EqGainZeroIndex);
            payload[at + 1] = 0;
        }
    }
    return payload;
}

QByteArray BuildBlockFrame(int slot, int address, const ParameterImage& image,
                           const BypassRows& bypass) {
    if (slot < 1 || slot > BlockSlotCount || slot == SystemWriteSlot) {
        return {};
    }
    const SlotBlock sb = BlockOfSlot(slot);
    return BlockWrite(address, sb.block, sb.group, SlotPayload(slot, image, bypass));
}

QByteArray SystemWriteFrame(int address, const SystemValues& values, int deviceId) {
    return DeviceFrame(address, WriteBlock, 0, SystemBlockNumber, 0,
                       SystemPayload(values, deviceId));
}

} // namespace quellaton
