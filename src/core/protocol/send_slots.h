// The send slots through which live edits reach a unit: one prepared 20-byte frame per
// parameter block (slots 1..36), slot 37 standing for a system read, and 50 pending flags.
// A block queued again before its turn replaces its frame, so it leaves once with the
// latest values; the queue always serves the lowest pending slot first.
#pragma once

#include "protocol/parameter_image.h"

#include <QByteArray>
#include <array>
#include <functional>

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

// The block builders. Each one turns the program's copy of the image into its slot's frame
// and marks the slot pending, but only while a port is open; with no port nothing is built
// or queued.
class BlockBuilders {
public:
    BlockBuilders(ParameterImage& image, SendSlots& sendSlots, std::function<bool()> portOpen,
                  std::function<int()> address);

    void queueOutputBlock(int way);
    void queueCrossoverBlock(int section);
    void queueLimiterBlock(int way);
    void queueEqBandBlock(int bandIndex);
    // The master level is taken from the master fader: level = 301 - position.
    void queueMainBlock(int masterFaderPosition);
    // Queues the system write carrying `deviceId`; returns whether it was queued.
    bool queueSystemWrite(const SystemValues& values, int deviceId);

    // While a Main band's bypass box is ticked its frames carry 0 dB in place of its gain.
    void setMainBandBypassed(int band, bool bypassed);
    bool mainBandBypassed(int band) const;

private:
    void prepareChannelSlot(int slot, QByteArray payload);

    ParameterImage& image_;
    SendSlots& slots_;
    std::function<bool()> portOpen_;
    std::function<int()> address_;
    std::array<bool, BandsPerSection> mainBypass_{};
};

} // namespace quellaton
