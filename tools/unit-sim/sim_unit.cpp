#include "sim_unit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace unitsim {
namespace {

constexpr int FrequencyTop = 243;   // highest frequency index
constexpr int EqGainZero = 120;     // 0.0 dB on the equaliser gain scale
constexpr int DelayTop = 412;       // longest delay in steps
constexpr int CrossoverTypes = 9;   // types 0..8
constexpr int QTop = 179;           // highest Q index
constexpr int MasterLevelTop = 301; // 0.0 dB

void Put16(Image& image, std::size_t offset, int value) {
    image[offset] = static_cast<std::uint8_t>(value & 0xFF);
    image[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

std::uint8_t U8(int value) {
    return static_cast<std::uint8_t>(value);
}

// One equaliser band: frequency, type, peaking gain, shelf gain, Q, zero.
void PutBand(Image& image, std::size_t offset, int s, int way, int band, int u) {
    const int frequency = std::clamp(12 + 38 * band + (s * 5 + way * 7 + u) % 30, 0, FrequencyTop);
    int type = 0;
    if (band == 0 && s % 3 == 1) {
        type = 1; // low shelf
    } else if (band == 5 && s % 3 == 2) {
        type = 2; // high shelf
    }
    image[offset] = U8(frequency);
    image[offset + 1] = U8(type);
    Put16(image, offset + 2, EqGainZero - 30 + (s * 7 + band * 11 + way * 5 + u) % 61);
    Put16(image, offset + 4, EqGainZero - 20 + (s * 3 + band * 5 + way) % 41);
    image[offset + 6] = U8((4 + s * 9 + band * 13 + way * 3 + u) % (QTop + 1));
    image[offset + 7] = 0;
}

void PutName(Name& name, const std::string& text) {
    name.fill(0);
    std::memcpy(name.data(), text.data(), std::min(text.size(), NameSize - 1));
}

} // namespace

Image MakePresetImage(int slot, int id) {
    Image image{};
    const int s = slot - 1;
    const int u = id % 7; // a small per-unit shift

    // Ways High, Mid, Low: output, crossover, limiter, six bands.
    static constexpr int HighPassBase[3] = {150, 80, 8};
    static constexpr int LowPassBase[3] = {238, 160, 90};
    for (int way = 0; way < 3; ++way) {
        const std::size_t b = 72 * static_cast<std::size_t>(way);
        image[b + 0] = U8(way == 2 ? 150 + (s * 5 + u) % 51             // Low: 0..200
                                   : 160 + (s * 7 + 3 * way + u) % 91); // High, Mid: 0..250
        image[b + 1] = U8(!(s == 19 && way == 1));                      // slot 20 has Mid muted
        Put16(image, b + 2, (s * 17 + way * 40 + u * 3) % (DelayTop + 1));
        image[b + 4] = U8((s + way) % 5 == 4);
        image[b + 8] = U8(HighPassBase[way] + (s * 3 + u) % 30);
        image[b + 9] = U8((s + way) % CrossoverTypes);
        image[b + 12] = U8(LowPassBase[way] - (s * 2 + u) % 5 - (way == 0 ? 0 : s % 20));
        image[b + 13] = U8((s * 2 + way + 1) % CrossoverTypes);
        image[b + 16] = U8((s + way + u) % 20); // limiter threshold 0..19
        image[b + 17] = U8((s + way) % 7);      // attack 0..6
        image[b + 18] = U8((s * 2 + way) % 7);  // release 0..6
        for (int band = 0; band < 6; ++band) {
            PutBand(image, b + 24 + 8 * static_cast<std::size_t>(band), s, way, band, u);
        }
    }

    // Main section.
    image[216] = U8(s % 4 == 3); // bass enhancer
    Put16(image, 218, MasterLevelTop - (s * 6 + u * 2) % 150);
    Put16(image, 220, (s * 11 + u) % (DelayTop + 1));
    image[222] = U8(s % 6 == 5);
    image[223] = U8(s == 17); // one preset in bridged mode
    image[224] = U8((s * 2 + u) % 20);
    image[225] = U8(s % CrossoverTypes);
    image[228] = U8(FrequencyTop - (s * 3 + u) % 30);
    image[229] = U8((s + 4) % CrossoverTypes);
    for (int band = 0; band < 6; ++band) {
        PutBand(image, 232 + 8 * static_cast<std::size_t>(band), s, 3, band, u);
    }

    // The uninterpreted tail: readable, never zero, different per unit and slot.
    char tag[48];
    std::snprintf(tag, sizeof tag, "SIM U%03d P%02d ", id, slot);
    const std::size_t tagLength = std::strlen(tag);
    for (std::size_t i = 0; i < 40; ++i) {
        image[280 + i] = static_cast<std::uint8_t>(tag[i % tagLength]);
    }
    return image;
}

UnitState MakeStartUnit(int id, int temperatureRaw, int attenuationDb) {
    static const char* const SlotNames[SlotCount] = {
        "Stage",   "Club",    "Speech",    "Live Band", "Disco",   "Theatre", nullptr,
        nullptr,   "Church",  "Outdoor",   "Lounge",    "Cinema",  "Jazz",    "Rock",
        "Classic", "Monitor", "Sub Boost", "Flat",      "Lecture", "Reserve"};
    UnitState unit;
    unit.startId = id;
    unit.id = id;
    for (int slot = 1; slot <= SlotCount; ++slot) {
        unit.slots[slot - 1] = MakePresetImage(slot, id);
        std::string name;
        if (slot == 7) {
            name = "Party " + std::to_string(id);
        } else if (slot == 8) {
            name = "Rehearsal " + std::to_string(id);
        } else {
            name = SlotNames[slot - 1];
        }
        PutName(unit.names[slot - 1], name);
    }
    unit.image = unit.slots[0];
    // Last loaded preset 1, two opaque bytes, ID, protect temperature index 10 (50 degrees).
    unit.system = {1, 0x5A, 0xC3, U8(id), 0, 10, 0, 0};
    unit.status = {0, 0, U8(temperatureRaw >> 8), U8(temperatureRaw & 0xFF), U8(attenuationDb), 0,
                   0, 0};
    return unit;
}

const char* RequestName(RequestKind kind) {
    switch (kind) {
    case RequestKind::StatusPoll:
        return "StatusPoll";
    case RequestKind::SystemRead:
        return "SystemRead";
    case RequestKind::NameTableRead:
        return "NameTableRead";
    case RequestKind::ImageRead:
        return "ImageRead";
    case RequestKind::PresetRecall:
        return "PresetRecall";
    case RequestKind::SlotRead:
        return "SlotRead";
    case RequestKind::BlockWrite:
        return "BlockWrite";
    case RequestKind::SystemWrite:
        return "SystemWrite";
    case RequestKind::NameWrite:
        return "NameWrite";
    case RequestKind::ImageWrite:
        return "ImageWrite";
    case RequestKind::SlotWrite:
        return "SlotWrite";
    }
    return "?";
}

std::optional<std::size_t> ChannelBlockOffset(std::uint8_t block, std::uint8_t group) {
    if (block <= 2 && group <= 8) {
        return 72 * std::size_t{block} + 8 * std::size_t{group};
    }
    if (block >= 3 && block <= 10 && group == 0) {
        return 216 + 8 * (std::size_t{block} - 3);
    }
    return std::nullopt;
}

std::optional<Request> RecognizeRequest(const Bytes& frame, std::string& why) {
    if (frame.size() < FrameOverhead) {
        why = "too short";
        return std::nullopt;
    }
    Request request;
    request.address = frame[3];
    const std::uint8_t command = frame[4];
    request.index = frame[5];
    request.block = frame[6];
    request.group = frame[7];
    const std::size_t length = frame.size() - FrameOverhead;
    request.payload.assign(frame.begin() + HeaderSize, frame.begin() + HeaderSize + length);

    // The frames a unit understands, by command and block: index range, group, payload length.
    struct Shape {
        RequestKind kind;
        std::uint8_t command;
        std::uint8_t block;
        int minIndex;
        int maxIndex;
        std::size_t length;
    };
    static constexpr Shape Shapes[] = {
        {RequestKind::StatusPoll, CmdReadBlock, BlockStatus, 0, 0, 0},
        {RequestKind::SystemRead, CmdReadBlock, BlockSystem, 0, 0, SystemSize},
        {RequestKind::NameTableRead, CmdReadBlock, BlockNameTable, 0, 0, 0},
        {RequestKind::ImageRead, CmdReadBlock, BlockImage, 0, 0, 0},
        {RequestKind::PresetRecall, CmdReadBlock, BlockImage, 1, RecallSlotCount, 0},
        {RequestKind::SlotRead, CmdReadBlock, BlockSlot, 1, SlotCount, 0},
        {RequestKind::SystemWrite, CmdWriteBlock, BlockSystem, 0, 0, SystemSize},
        {RequestKind::NameWrite, CmdWriteBlock, BlockName, 1, SlotCount, NameSize},
        {RequestKind::ImageWrite, CmdWriteBlock, BlockImage, 0, 0, ImageSize},
        {RequestKind::SlotWrite, CmdWriteBlock, BlockSlot, 1, SlotCount, ImageSize},
    };

    if (command != CmdReadBlock && command != CmdWriteBlock) {
        why = "unknown command";
        return std::nullopt;
    }
    if (command == CmdWriteBlock && ChannelBlockOffset(request.block, 0).has_value()) {
        if (!ChannelBlockOffset(request.block, request.group)) {
            why = "no such group in this channel block";
            return std::nullopt;
        }
        if (request.index != 0 || length != 8) {
            why = "block write with wrong index or length";
            return std::nullopt;
        }
        request.kind = RequestKind::BlockWrite;
        return request;
    }
    bool blockKnown = false;
    for (const Shape& shape : Shapes) {
        if (shape.command != command || shape.block != request.block) {
            continue;
        }
        blockKnown = true;
        if (request.index < shape.minIndex || request.index > shape.maxIndex) {
            continue;
        }
        if (request.group != 0 || length != shape.length) {
            why = "wrong group or length";
            return std::nullopt;
        }
        request.kind = shape.kind;
        return request;
    }
    why = blockKnown ? "index out of range" : "unknown block for this command";
    return std::nullopt;
}

Outcome ApplyRequest(UnitState& unit, const Request& request, bool answerNameTable) {
    Outcome outcome;
    const std::uint8_t address = unit.Address();
    auto reply = [&](std::uint8_t index, std::uint8_t block, const std::uint8_t* payload,
                     std::size_t length) {
        outcome.replies.push_back(
            BuildFrame(address, CmdReadReply, index, block, 0, payload, length));
    };
    auto acknowledge = [&](std::uint8_t block) {
        outcome.replies.push_back(BuildFrame(address, CmdWriteAck, 0, block, 0, nullptr, 0));
    };

    switch (request.kind) {
    case RequestKind::StatusPoll:
        reply(0, BlockStatus, unit.status.data(), unit.status.size());
        break;
    case RequestKind::SystemRead: {
        auto system = unit.system;
        system[SysDeviceId] = static_cast<std::uint8_t>(unit.id);
        reply(0, BlockSystem, system.data(), system.size());
        break;
    }
    case RequestKind::NameTableRead:
        if (answerNameTable) {
            Bytes table;
            for (const Name& name : unit.names) {
                table.insert(table.end(), name.begin(), name.end());
            }
            reply(0, BlockNameTable, table.data(), table.size());
        }
        break;
    case RequestKind::ImageRead:
        reply(0, BlockImage, unit.image.data(), unit.image.size());
        break;
    case RequestKind::PresetRecall:
        unit.image = unit.slots[request.index - 1];
        unit.system[SysLastPreset] = request.index;
        outcome.changed = true;
        reply(request.index, BlockImage, unit.image.data(), unit.image.size());
        break;
    case RequestKind::SlotRead: {
        const Image& slot = unit.slots[request.index - 1];
        reply(request.index, BlockSlot, slot.data(), slot.size());
        break;
    }
    case RequestKind::BlockWrite: {
        const std::size_t offset = *ChannelBlockOffset(request.block, request.group);
        std::copy(request.payload.begin(), request.payload.end(), unit.image.begin() + offset);
        outcome.changed = true;
        break;
    }
    case RequestKind::SystemWrite: {
        // Acknowledged at the address the write came to, then the unit listens at its new one.
        acknowledge(BlockSystem);
        const int newId = request.payload[SysDeviceId];
        std::copy(request.payload.begin(), request.payload.end(), unit.system.begin());
        if (newId >= 1) {
            unit.id = newId;
        }
        unit.system[SysDeviceId] = static_cast<std::uint8_t>(unit.id);
        outcome.changed = true;
        break;
    }
    case RequestKind::NameWrite:
        // Saving a user preset: the name and the current working set go into the slot.
        std::copy(request.payload.begin(), request.payload.end(),
                  unit.names[request.index - 1].begin());
        unit.slots[request.index - 1] = unit.image;
        outcome.changed = true;
        acknowledge(0);
        break;
    case RequestKind::ImageWrite:
        std::copy(request.payload.begin(), request.payload.end(), unit.image.begin());
        outcome.changed = true;
        break;
    case RequestKind::SlotWrite:
        std::copy(request.payload.begin(), request.payload.end(),
                  unit.slots[request.index - 1].begin());
        outcome.changed = true;
        break;
    }
    return outcome;
}

std::string StateText(const std::vector<UnitState>& units) {
    std::string text;
    for (const UnitState& unit : units) {
        const std::string prefix = "unit " + std::to_string(unit.startId) + " ";
        text += prefix + "id " + std::to_string(unit.id) + "\n";
        text += prefix + "address " + std::to_string(unit.Address()) + "\n";
        text += prefix + "system " + ToHex(unit.system.data(), unit.system.size()) + "\n";
        text += prefix + "status " + ToHex(unit.status.data(), unit.status.size()) + "\n";
        text += prefix + "image " + ToHex(unit.image.data(), unit.image.size()) + "\n";
        for (int slot = 1; slot <= SlotCount; ++slot) {
            const Image& image = unit.slots[slot - 1];
            text += prefix + "slot " + std::to_string(slot) + " " +
                    ToHex(image.data(), image.size()) + "\n";
        }
        for (int slot = 1; slot <= SlotCount; ++slot) {
            const Name& name = unit.names[slot - 1];
            text += prefix + "name " + std::to_string(slot) + " " +
                    ToHex(name.data(), name.size()) + "\n";
        }
    }
    return text;
}

} // namespace unitsim
