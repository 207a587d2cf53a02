// The state of one simulated amplifier unit and how it reacts to the requests it receives.
#pragma once

#include "sim_frame.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace unitsim {

inline constexpr std::size_t ImageSize = 320;
inline constexpr int SlotCount = 20;
inline constexpr std::size_t NameSize = 20;
inline constexpr std::size_t SystemSize = 8;
inline constexpr std::size_t StatusSize = 8;
inline constexpr int RecallSlotCount = 8; // presets reachable by a recall

inline constexpr std::uint8_t BlockSystem = 0x21;
inline constexpr std::uint8_t BlockNameTable = 0x26;
inline constexpr std::uint8_t BlockName = 0x27;
inline constexpr std::uint8_t BlockImage = 0x28;
inline constexpr std::uint8_t BlockSlot = 0x29;
inline constexpr std::uint8_t BlockStatus = 0x2B;

using Image = std::array<std::uint8_t, ImageSize>;
using Name = std::array<std::uint8_t, NameSize>;

// System block bytes.
inline constexpr std::size_t SysLastPreset = 0;
inline constexpr std::size_t SysDeviceId = 3;
inline constexpr std::size_t SysProtectTemperature = 5;

struct UnitState {
    int startId = 1; // the ID given on the command line; names the unit in the state file
    int id = 1;      // current device ID, 1..255; the address is id - 1
    Image image{};
    std::array<Image, SlotCount> slots{};
    std::array<Name, SlotCount> names{};
    std::array<std::uint8_t, SystemSize> system{};
    std::array<std::uint8_t, StatusSize> status{};

    std::uint8_t Address() const { return static_cast<std::uint8_t>(id - 1); }
};

// A unit as it comes from the factory: 20 distinct presets, names for every slot, preset 1
// loaded. The ID shifts the data a little so that two units can be told apart.
UnitState MakeStartUnit(int id, int temperatureRaw, int attenuationDb);
Image MakePresetImage(int slot, int id);

enum class RequestKind {
    StatusPoll,
    SystemRead,
    NameTableRead,
    ImageRead,
    PresetRecall,
    SlotRead,
    BlockWrite,
    SystemWrite,
    NameWrite,
    ImageWrite,
    SlotWrite,
};

const char* RequestName(RequestKind kind);

struct Request {
    RequestKind kind;
    std::uint8_t address = 0;
    std::uint8_t index = 0;
    std::uint8_t block = 0;
    std::uint8_t group = 0;
    Bytes payload;
};

// Recognises a frame (check and end byte already verified) as one of the requests a unit
// understands. Anything else (unknown command or block, wrong group, index or length) gives
// nothing and the reason in why.
std::optional<Request> RecognizeRequest(const Bytes& frame, std::string& why);

// Offset of channel block (block, group) in the image, or nothing when the pair is no channel
// block.
std::optional<std::size_t> ChannelBlockOffset(std::uint8_t block, std::uint8_t group);

struct Outcome {
    bool changed = false;       // the unit's stored data changed
    std::vector<Bytes> replies; // frames the unit answers with, in order
};

// Applies a request addressed to this unit (or broadcast) and builds its replies. The caller
// decides whether the replies are sent (never for broadcast frames).
Outcome ApplyRequest(UnitState& unit, const Request& request, bool answerNameTable);

// The state-file text for all units (one "unit N ..." line per item).
std::string StateText(const std::vector<UnitState>& units);

} // namespace unitsim
