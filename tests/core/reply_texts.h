// Replies as the tests write them: bytes from numbers and the hex text of a reply frame as the
// serial driver delivers it.
#pragma once

#include "dsp/scales.h"
#include "protocol/frames.h"
#include "protocol/parameter_image.h"

#include <QByteArray>

#include <initializer_list>

namespace quellaton::protocol_test {

inline QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

// The hex text of a reply frame as the driver would deliver it.
inline QByteArray ReplyText(int address, quint8 command, quint8 index, quint8 block,
                            const QByteArray& payload) {
    return ToHexText(DeviceFrame(address, command, index, block, 0, payload));
}

inline QByteArray ImageReplyText(const QByteArray& payload320, quint8 block = ParameterImageBlock) {
    return ReplyText(0, ReadReply, 0, block, payload320);
}

} // namespace quellaton::protocol_test
