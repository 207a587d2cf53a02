#include "protocol/frame_reader.h"

#include "dsp/scales.h"

#include <algorithm>

namespace quellaton {

namespace {

// Characters `from`..`from + n - 1`, counted from 1, equal `pattern`.
bool At(const QByteArray& text, int from, const char* pattern) {
    const QByteArrayView p(pattern);
    return text.size() >= from - 1 + p.size() &&
           QByteArrayView(text).sliced(from - 1, p.size()) == p;
}

// Payload byte `i` of the frame at the front of the text.
int PayloadByte(const QByteArray& text, int i) {
    return HexToInt(QByteArrayView(text).sliced(20 + 2 * i, 2));
}

void Remove(QByteArray& text, int n) {
    if (text.size() <= n) {
        text.clear();
    } else {
        text.remove(0, n);
    }
}

// Throws away the damaged frame at the front: everything up to the next sync that starts on a
// byte boundary, so that a reply which arrived behind it (or inside a truncated one) is still
// found.
void DropNoise(QByteArray& text, ReadResult& result) {
    result.repliesDropped += 1;
    for (qsizetype at = text.indexOf("A5A5A5", 2); at >= 0; at = text.indexOf("A5A5A5", at + 1)) {
        if (at % 2 == 0) {
            text.remove(0, at);
            return;
        }
    }
    text.clear();
}

Reply Of(Reply::Kind kind) {
    Reply reply;
    reply.kind = kind;
    return reply;
}

} // namespace

bool ReplyIntact(QByteArrayView text, int chars) {
    if (chars < 24 || chars % 2 != 0 || text.size() < chars) {
        return false;
    }
    const QByteArrayView frame = text.first(chars);
    const int bytes = chars / 2;
    if (HexToInt(frame.sliced(16, 4)) != bytes - 12 || frame.sliced(chars - 2) != "AA") {
        return false;
    }
    int check = 0;
    for (int b = 3; b < bytes - 2; ++b) {
        check ^= HexToInt(frame.sliced(2 * b, 2));
    }
    return HexToInt(frame.sliced(chars - 4, 2)) == check;
}

ReadResult ReadReplies(QByteArray& text) {
    ReadResult result;

    if (text.size() >= ReceiveTextLimit) {
        text.clear();
        result.textDiscarded = true;
    }
    if (!At(text, 1, "A5A5A5")) {
        result.textDiscarded = result.textDiscarded || !text.isEmpty();
        text.clear();
    }

    // A damaged system reply is dropped, and whatever followed it is looked at as usual.
    if (At(text, 9, "520021000008") && text.size() >= ShortReplyChars &&
        !ReplyIntact(text, ShortReplyChars)) {
        DropNoise(text, result);
    }
    if (At(text, 9, "520021000008") && text.size() >= ShortReplyChars) {
        Reply reply = Of(Reply::Kind::System);
        reply.system.lastLoadedPreset = PayloadByte(text, 0);
        reply.system.systemByte1 = PayloadByte(text, 1);
        reply.system.systemByte2 = PayloadByte(text, 2);
        reply.system.protectTemperature = PayloadByte(text, 5);
        result.replies.append(reply);
        Remove(text, ShortReplyChars);
    }

    if (At(text, 9, "52002B000008") && text.size() >= ShortReplyChars) {
        Reply reply = Of(Reply::Kind::Status);
        StatusReply& status = reply.status;
        status.rawTemperature =
            std::min(HexToInt(QByteArrayView(text).sliced(24, 4)), TemperatureRawLimit);
        status.temperatureIndex = TemperatureIndex(status.rawTemperature);
        status.temperatureLabel = TemperatureLabel(status.temperatureIndex);
        status.attenuationDb = PayloadByte(text, 4);
        status.attenuationLabel = QString::number(status.attenuationDb) + QStringLiteral(" dB");
        result.replies.append(reply);
        Remove(text, ShortReplyChars);
        return result;
    }

    if (At(text, 9, "510021000000") && text.size() >= AckChars) {
        result.replies.append(Of(Reply::Kind::IdChangeAck));
        Remove(text, AckChars);
    }

    if (At(text, 9, "510000000000") && text.size() >= AckChars) {
        result.replies.append(Of(Reply::Kind::NameAck));
        Remove(text, AckChars);
    }

    if (text.size() >= ImageReplyChars && At(text, 9, "52") && At(text, 13, "29")) {
        if (!ReplyIntact(text, ImageReplyChars)) {
            DropNoise(text, result);
            return result;
        }
        Reply reply = Of(Reply::Kind::Slot);
        reply.slot = HexToInt(QByteArrayView(text).sliced(10, 2));
        reply.text = text.left(ImageReplyChars);
        result.replies.append(reply);
        Remove(text, ImageReplyChars);
    }

    if (At(text, 9, "52") && At(text, 13, "28") && text.size() >= ImageReplyChars) {
        if (!ReplyIntact(text, ImageReplyChars)) {
            DropNoise(text, result);
            return result;
        }
        Reply reply = Of(Reply::Kind::Image);
        reply.text = text.left(ImageReplyChars);
        result.replies.append(reply);
        text.clear();
        return result;
    }

    if (At(text, 9, "520026") && text.size() >= NameTableChars) {
        if (!ReplyIntact(text, NameTableChars)) {
            DropNoise(text, result);
            return result;
        }
        Reply reply = Of(Reply::Kind::NameTable);
        for (int k = 0; k < 20; ++k) {
            QByteArray name(20, '\0');
            for (int c = 0; c < 20; ++c) {
                name[c] = char(PayloadByte(text, 20 * k + c));
            }
            reply.names[std::size_t(k)] = name;
        }
        result.replies.append(reply);
        text.clear();
    }
    return result;
}

ReadResult FrameReader::feed(QByteArrayView bytes) {
    text_ += bytes.toByteArray().toHex().toUpper();
    return ReadReplies(text_);
}

} // namespace quellaton
