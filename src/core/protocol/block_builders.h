// The block builders: the frame that carries one parameter block of the image to a unit. Send
// slot 1..36 stands for one block (send_slots.h lists which); its frame is a 20-byte block write
// of the block's 8 bytes, taken from the image as it is when the frame is built.
#pragma once

#include "protocol/parameter_image.h"

#include <QByteArray>
#include <array>

namespace quellaton {

// Which of the six equaliser rows have their "Bypass" box ticked. While a row is ticked, a
// Main band of that row goes out at 0 dB; the ways' bands go out as they are.
using BypassRows = std::array<bool, BandsPerSection>;

// The 8 bytes send slot 1..36 carries: the block's bytes in the image, except that a bypassed
// Main band carries the 0 dB gain index in place of the gain its type uses. Eight zero bytes for
// any other slot.
QByteArray SlotPayload(int slot, const ParameterImage& image, const BypassRows& bypass);

// The block frame of send slot 1..36 for `address`; empty for any other slot.
QByteArray BuildBlockFrame(int slot, int address, const ParameterImage& image,
                           const BypassRows& bypass);

// The system write for `address`: the system values the program holds, with `deviceId` as the
// unit's (new) device ID.
QByteArray SystemWriteFrame(int address, const SystemValues& values, int deviceId);

} // namespace quellaton
