// Frames on the serial line: A5 A5 A5, address, command, index, block, group, 16-bit
// big-endian length, payload, XOR check over address..payload, AA.
#pragma once

#include <QByteArray>
#include <cstdint>

namespace quellaton {

inline constexpr quint8 SyncByte = 0xA5;
inline constexpr quint8 EndByte = 0xAA;
inline constexpr int BroadcastAddress = 255;

enum Command : quint8 {
    WriteBlock = 0xA1,
    ReadBlock = 0xA2,
    WriteAck = 0x51,
    ReadReply = 0x52,
};

enum BlockNumber : quint8 {
    MainBlockNumber = 0x03,
    MainCrossoverBlockNumber = 0x04,
    SystemBlockNumber = 0x21,
    PresetNameTableBlock = 0x26,
    PresetNameBlock = 0x27,
    ParameterImageBlock = 0x28,
    PresetSlotBlock = 0x29,
    StatusBlockNumber = 0x2B,
};

inline constexpr int ImagePayloadSize = 320;
inline constexpr int ImageFrameSize = 332;
inline constexpr int BlockFrameSize = 20;
inline constexpr int PresetNameSize = 20;
inline constexpr int PresetSlotCount = 20;

// XOR of the bytes from the address through the last payload byte of a frame in `frame`.
quint8 FrameCheck(QByteArrayView frame);

// A complete frame with its check and end byte.
QByteArray DeviceFrame(int address, quint8 command, quint8 index, quint8 block, quint8 group,
                       QByteArrayView payload);

// Requests. `address` is the device ID minus 1, or 255 for all units.
QByteArray StatusPoll(int address);
QByteArray SystemRead(int address);
QByteArray NameTableRead(int address);
QByteArray ImageRead(int address);
QByteArray PresetRecall(int address, int preset);
QByteArray SlotRead(int address, int slot);
QByteArray NameWrite(int address, int slot, QByteArrayView name);
QByteArray BlockWrite(int address, quint8 block, quint8 group, QByteArrayView payload8);

// The split image writes: a 10-byte head now, the 322-byte rest after a pause.
QByteArray ImageWriteHead(int address);
QByteArray SlotWriteHead(int address, int slot);
// The counter value that marks a write of the working set (an image write); 1..20 are slots.
inline constexpr int ImageWriteCounter = 25;

// The rest of an image or slot write: the 320 payload bytes, the check that also covers the
// head, and the end byte. `counter` 25 means an image write, 1..20 the slot of a slot write.
QByteArray ImageWriteRest(int address, int counter, QByteArrayView payload320);

} // namespace quellaton
