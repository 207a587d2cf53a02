#include "protocol/frames.h"

namespace quellaton {

namespace {

QByteArray Head(int address, quint8 command, quint8 index, quint8 block, quint8 group, int length) {
    QByteArray head;
    head.reserve(10);
    head.append(char(SyncByte)).append(char(SyncByte)).append(char(SyncByte));
    head.append(char(address & 0xFF));
    head.append(char(command));
    head.append(char(index));
    head.append(char(block));
    head.append(char(group));
    head.append(char((length >> 8) & 0xFF));
    head.append(char(length & 0xFF));
    return head;
}

} // namespace

quint8 FrameCheck(QByteArrayView frame) {
    quint8 check = 0;
    // Address at offset 3 through the payload, which ends two bytes before the frame's end.
    for (qsizetype i = 3; i + 2 < frame.size(); ++i) {
        check ^= quint8(frame[i]);
    }
    return check;
}

QByteArray DeviceFrame(int address, quint8 command, quint8 index, quint8 block, quint8 group,
                       QByteArrayView payload) {
    QByteArray frame = Head(address, command, index, block, group, int(payload.size()));
    frame.append(payload.data(), payload.size());
    quint8 check = 0;
    for (qsizetype i = 3; i < frame.size(); ++i) {
        check ^= quint8(frame[i]);
    }
    frame.append(char(check));
    frame.append(char(EndByte));
    return frame;
}

QByteArray StatusPoll(int address) {
    return DeviceFrame(address, ReadBlock, 0, StatusBlockNumber, 0, {});
}

QByteArray SystemRead(int address) {
    return DeviceFrame(address, ReadBlock, 0, SystemBlockNumber, 0, QByteArray(8, '\0'));
}

QByteArray NameTableRead(int address) {
    return DeviceFrame(address, ReadBlock, 0, PresetNameTableBlock, 0, {});
}

QByteArray ImageRead(int address) {
    return DeviceFrame(address, ReadBlock, 0, ParameterImageBlock, 0, {});
}

QByteArray PresetRecall(int address, int preset) {
    return DeviceFrame(address, ReadBlock, quint8(preset), ParameterImageBlock, 0, {});
}

QByteArray SlotRead(int address, int slot) {
    return DeviceFrame(address, ReadBlock, quint8(slot), PresetSlotBlock, 0, {});
}

QByteArray NameWrite(int address, int slot, QByteArrayView name) {
    QByteArray payload = name.toByteArray().left(PresetNameSize);
    payload.append(QByteArray(PresetNameSize - payload.size(), '\0'));
    return DeviceFrame(address, WriteBlock, quint8(slot), PresetNameBlock, 0, payload);
}

QByteArray BlockWrite(int address, quint8 block, quint8 group, QByteArrayView payload8) {
    return DeviceFrame(address, WriteBlock, 0, block, group, payload8);
}

QByteArray ImageWriteHead(int address) {
    return Head(address, WriteBlock, 0, ParameterImageBlock, 0, ImagePayloadSize);
}

QByteArray SlotWriteHead(int address, int slot) {
    return Head(address, WriteBlock, quint8(slot), PresetSlotBlock, 0, ImagePayloadSize);
}

QByteArray ImageWriteRest(int address, int counter, QByteArrayView payload320) {
    QByteArray rest = payload320.toByteArray().left(ImagePayloadSize);
    rest.append(QByteArray(ImagePayloadSize - rest.size(), '\0'));
    quint8 check = 0;
    for (char c : rest) {
        check ^= quint8(c);
    }
    // The head's bytes folded in: A1 ^ 28 ^ 01 ^ 40 = C8 for an image write,
    // A1 ^ 29 ^ 01 ^ 40 = C9 (and the slot number) for a slot write.
    check ^= quint8(address & 0xFF);
    if (counter == ImageWriteCounter) {
        check ^= 0xC8;
    } else {
        check ^= quint8(counter) ^ 0xC9;
    }
    rest.append(char(check));
    rest.append(char(EndByte));
    return rest;
}

} // namespace quellaton
