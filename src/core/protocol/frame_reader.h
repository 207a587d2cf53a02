// The frame reader: turns the bytes received from the line into typed replies. It keeps them as
// upper-case hex text and recognises replies by fixed character positions at the front of that
// text; whatever it recognises is removed and handed on. It knows nothing of what the program
// is doing: whoever awaits a reply decides what it means.
//
// A reply whose data the program keeps (the system block, a preset slot, the parameter image,
// the name table) is taken only when it is intact: as long as its Length field says, with the
// right check byte and the End byte. A damaged one is dropped as line noise, so the request
// that awaited it behaves as if no reply had come.
#pragma once

#include "protocol/parameter_image.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>

namespace quellaton {

struct StatusReply {
    int rawTemperature = 0; // limited to 5118
    int temperatureIndex = 0;
    QString temperatureLabel;
    int attenuationDb = 0;
    QString attenuationLabel;
    // The temperature the code stands for, in °C (70 for ">=70", 10 for "<=10").
    int temperatureCelsius() const { return 70 - 2 * temperatureIndex; }
};

using PresetNames = std::array<QByteArray, 20>; // 20 bytes each, as the unit sent them

struct Reply {
    enum class Kind {
        System,      // the system block
        Status,      // temperature and attenuation
        IdChangeAck, // "510021000000": a system write was taken
        NameAck,     // "510000000000": a name write was taken
        Slot,        // a stored preset slot (slot says which)
        Image,       // the parameter image (the working set, or a recalled preset)
        NameTable,   // the 20 preset names
    };
    Kind kind = Kind::Status;
    SystemValues system; // System: the values of the system block
    StatusReply status;
    int slot = 0;    // Slot: the Index byte of the reply
    QByteArray text; // Slot and Image: the 664 characters of the reply frame
    PresetNames names{};
};

struct ReadResult {
    QList<Reply> replies;       // in the order they were recognised
    bool textDiscarded = false; // the 1000-character or the sync rule emptied the text
    int repliesDropped = 0;     // damaged replies thrown away as line noise
};

inline constexpr int ReceiveTextLimit = 1000;
inline constexpr int ShortReplyChars = 40;  // system and status replies
inline constexpr int AckChars = 24;         // write acknowledgements
inline constexpr int ImageReplyChars = 664; // image and slot replies
inline constexpr int NameTableChars = 824;  // the name table reply

// One pass over `receiveText`, after new bytes were appended. Applies, in order: the
// 1000-character rule, the sync rule, the system reply, the status reply (which ends the pass),
// the two acknowledgements, a slot reply, an image reply and the name table. A damaged kept
// reply ends the pass too, with the text cut to the next sync behind it.
ReadResult ReadReplies(QByteArray& receiveText);

// True when the first `chars` characters of `text` are one intact frame: its Length field
// gives exactly that size, its check byte is the XOR of the address through the payload, and
// it ends in the End byte.
bool ReplyIntact(QByteArrayView text, int chars);

// The received text and the passes over it.
class FrameReader {
public:
    // Appends `bytes` as hex text and reads what is at the front.
    ReadResult feed(QByteArrayView bytes);
    // Empties the text, as every request that awaits a reply does first.
    void clear() { text_.clear(); }
    const QByteArray& text() const { return text_; }

private:
    QByteArray text_;
};

} // namespace quellaton
