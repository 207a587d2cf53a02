#include "fleet/image_comparison.h"

#include "protocol/frames.h"
#include "protocol/send_slots.h"

#include <array>

namespace quellaton {

namespace {

// Every block a live edit can write: the channel blocks of send slots 1..36.
QList<int> ChannelBlockSlots() {
    QList<int> slots_;
    for (int slot = 1; slot <= BlockSlotCount; ++slot) {
        const SlotBlock b = BlockOfSlot(slot);
        if (IsChannelBlock(b.block, b.group)) {
            slots_.append(slot);
        }
    }
    return slots_;
}

} // namespace

ImageComparison CompareImages(const QByteArray& wanted, const QByteArray& actual) {
    ImageComparison result;
    const QByteArray a = ImagePayloadFromText(wanted);
    const QByteArray b = ImagePayloadFromText(actual);
    std::array<bool, ImagePayloadSize> carried{};
    for (const int slot : ChannelBlockSlots()) {
        const SlotBlock block = BlockOfSlot(slot);
        const int offset = BlockOffset(block.block, block.group);
        for (int i = 0; i < 8; ++i) {
            carried[std::size_t(offset + i)] = true;
        }
        if (a.mid(offset, 8) != b.mid(offset, 8)) {
            result.blockSlots.append(slot);
        }
    }
    for (int i = 0; i < ImagePayloadSize; ++i) {
        if (!carried[std::size_t(i)] && a.at(i) != b.at(i)) {
            result.outsideBlocks = true;
            break;
        }
    }
    result.rows = DifferingRows(DecodeImageText(wanted), DecodeImageText(actual));
    return result;
}

QList<QueuedBlockWrites::Block> BlockWritesFor(const QByteArray& wanted,
                                               const QList<int>& blockSlots, int address) {
    const QByteArray payload = ImagePayloadFromText(wanted);
    QList<QueuedBlockWrites::Block> writes;
    for (const int slot : blockSlots) {
        const SlotBlock block = BlockOfSlot(slot);
        const QByteArray bytes = payload.mid(BlockOffset(block.block, block.group), 8);
        writes.append({slot, BlockWrite(address, block.block, block.group, bytes)});
    }
    return writes;
}

QList<int> DifferingSlots(const QList<QByteArray>& wanted, const QList<QByteArray>& actual) {
    QList<int> differing;
    for (int slot = 1; slot <= PresetSlotCount; ++slot) {
        const int i = slot - 1;
        if (i >= wanted.size() || i >= actual.size() ||
            ImagePayloadFromText(wanted[i]) != ImagePayloadFromText(actual[i])) {
            differing.append(slot);
        }
    }
    return differing;
}

} // namespace quellaton
