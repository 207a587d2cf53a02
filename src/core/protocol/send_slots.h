// The send slots through which live edits reach a unit: one prepared 20-byte frame per
// parameter block (slots 1..36), slot 37 standing for a system read, and 50 pending flags.
// A block queued again before its turn replaces its frame, so it leaves once with the
// latest values; the queue always serves the lowest pending slot first.
#pragma once

#include "protocol/parameter_image.h"

#include <QByteArray>
#include <array>

namespace quellaton {

inline constexpr int SendSlotCount = 50;
inline constexpr int BlockSlotCount = 36;
inline constexpr int MainBlockSlot = 28;
inline constexpr int SystemWriteSlot = 29;
inline constexpr int MainCrossoverSlot = 36;
inline constexpr int SystemReadSlot = 37;

struct SlotBlock {
    quint8 block;
    quint8 group;
};
// Block and group that slot 1..36 carries.
SlotBlock BlockOfSlot(int slot);
int OutputSlot(int way);        // 1, 4, 7
int CrossoverSlot(int section); // 2, 5, 8, 36
int LimiterSlot(int way);       // 3, 6, 9
int EqBandSlot(int bandIndex);  // 10..27, 30..35

class SendSlots {
public:
    bool pending(int slot) const;
    void setPending(int slot);
    void clearPending(int slot);
    void clearAll();
    bool anyPending() const;
    // Lowest pending slot 1..50, or 0 when none is pending.
    int nextPending() const;
    // Stores the slot's frame (slots 1..36) and marks it pending.
    void prepare(int slot, QByteArray frame);
    const QByteArray& blockFrame(int slot) const;
    // The frame a send of `slot` writes: the prepared block frame, or for slot 37 a system
    // read for `address`.
    QByteArray frameToSend(int slot, int address) const;

private:
    std::array<QByteArray, BlockSlotCount + 1> frames_{};
    std::array<bool, SendSlotCount + 1> pending_{};
};

} // namespace quellaton
