#include "protocol/receive_parser.h"

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
void DropNoise(QByteArray& text, ParseResult& result) {
    result.repliesDropped += 1;
    for (qsizetype at = text.indexOf("A5A5A5", 2); at >= 0; at = text.indexOf("A5A5A5", at + 1)) {
        if (at % 2 == 0) {
            text.remove(0, at);
            return;
        }
    }
    text.clear();
}

} // namespace

ParseResult ParseReceiveText(QByteArray& text, ParserFlags& flags) {
    ParseResult result;

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
        SystemBlockReply reply;
        reply.lastLoadedPreset = PayloadByte(text, 0);
        reply.systemByte1 = PayloadByte(text, 1);
        reply.systemByte2 = PayloadByte(text, 2);
        reply.protectTemperature = PayloadByte(text, 5);
        reply.lastLoadedLabel = LastLoadedPresetLabel(reply.lastLoadedPreset);
        result.system = reply;
        Remove(text, ShortReplyChars);
    }

    if (At(text, 9, "52002B000008") && text.size() >= ShortReplyChars) {
        StatusReply reply;
        reply.rawTemperature =
            std::min(HexToInt(QByteArrayView(text).sliced(24, 4)), TemperatureRawLimit);
        reply.temperatureIndex = TemperatureIndex(reply.rawTemperature);
        reply.temperatureLabel = TemperatureLabel(reply.temperatureIndex);
        reply.attenuationLabel = QString::number(PayloadByte(text, 4)) + QStringLiteral(" dB");
        result.status = reply;
        result.statusSearchHit = flags.searchActive;
        Remove(text, ShortReplyChars);
        return result;
    }

    if (At(text, 9, "510021000000") && text.size() >= AckChars) {
        if (flags.idChangePending) {
            flags.idChangePending = false;
            result.idChangeAcknowledged = true;
        }
        Remove(text, AckChars);
    }

    if (At(text, 9, "510000000000") && text.size() >= AckChars) {
        if (flags.saveAwaited) {
            flags.saveAwaited = false;
            result.saveAcknowledged = true;
        }
        Remove(text, AckChars);
    }

    if (text.size() >= ImageReplyChars && At(text, 9, "52") && At(text, 13, "29") && flags.backup) {
        // Only the slot asked for next is taken: a late reply to an abandoned transfer, or one
        // behind a lost reply, would shift every slot that follows.
        const int expected = flags.backupCount + 1;
        if (!ReplyIntact(text, ImageReplyChars) ||
            HexToInt(QByteArrayView(text).sliced(10, 2)) != expected) {
            DropNoise(text, result);
            return result;
        }
        result.backupLines.append(text.left(ImageReplyChars));
        Remove(text, ImageReplyChars);
        flags.backupCount += 1;
        if (flags.backupCount >= 20) {
            flags.backupCount = 0;
            flags.backup = false;
            result.backupComplete = true;
        }
    }

    if (At(text, 9, "52") && At(text, 13, "28") && text.size() >= ImageReplyChars) {
        if (!ReplyIntact(text, ImageReplyChars)) {
            DropNoise(text, result);
            return result;
        }
        result.imageText = text.left(ImageReplyChars);
        if (flags.loadFromDevice) {
            // The reply stays in the text; the next call finds it again with the flag clear.
            flags.loadFromDevice = false;
            result.image = ImageAction::KeepForDistribution;
            result.imageText = text;
            return result;
        }
        if (flags.saveUnitImage) {
            flags.saveUnitImage = false;
            result.image = ImageAction::SaveToFile;
            text.clear();
            return result;
        }
        result.image = ImageAction::Apply;
        if (flags.recall) {
            flags.recall = false;
            result.recallCompleted = true;
        }
        text.clear();
        return result;
    }

    if (At(text, 9, "520026") && text.size() >= NameTableChars) {
        if (!ReplyIntact(text, NameTableChars)) {
            DropNoise(text, result);
            return result;
        }
        std::array<QByteArray, 20> names;
        for (int k = 0; k < 20; ++k) {
            QByteArray name(20, '\0');
            for (int c = 0; c < 20; ++c) {
                name[c] = char(PayloadByte(text, 20 * k + c));
            }
            names[k] = name;
        }
        result.presetNames = names;
        text.clear();
    }
    return result;
}

} // namespace quellaton
