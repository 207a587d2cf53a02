// Recognition of unit replies at the front of the received hex text. Replies are found by
// fixed character positions; whatever is recognised is removed from the text and reported,
// and the application applies the effects (labels, lists, timers).
//
// A reply whose data the program keeps (the system block, a preset slot, the parameter image,
// the name table) is taken only when it is intact: as long as its Length field says, with the
// right check byte and the End byte. A damaged one is dropped as line noise, so the request
// that awaited it behaves as if no reply had come.
#pragma once

#include "protocol/frame_reader.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <optional>

namespace quellaton {

// Flags the senders set before a request whose reply needs special handling.
struct ParserFlags {
    bool loadFromDevice = false; // initial data load: keep the image instead of applying it
    bool saveUnitImage = false;  // the unit's image is to be saved to a file
    bool recall = false;         // a device preset recall is in progress
    bool backup = false;         // all preset slots are being collected
    int backupCount = 0;
    bool idChangePending = false; // a new device ID was sent
    bool saveAwaited = false;     // a preset name was saved
    bool searchActive = false;    // a device search is probing addresses
};

enum class ImageAction {
    None,
    KeepForDistribution, // initial data load: the text stays; copy it to the stored image
    SaveToFile,          // the line to offer as a single-preset file
    Apply,               // decode and show; then a name-table read, unless it was a recall
};

struct ParseResult {
    bool textDiscarded = false; // the 1000-character or the sync rule emptied the text
    int repliesDropped = 0;     // damaged or unexpected replies thrown away as line noise
    std::optional<SystemBlockReply> system;
    std::optional<StatusReply> status;
    bool statusSearchHit = false;      // a search was active: record the probed address
    bool idChangeAcknowledged = false; // start the ID-change report
    bool saveAcknowledged = false;     // start the "saved" report
    QList<QByteArray> backupLines;     // slot replies collected in this call
    bool backupComplete = false;       // the twentieth slot reply arrived
    ImageAction image = ImageAction::None;
    bool recallCompleted = false; // with Apply: the image answered a recall
    QByteArray imageText;         // the 664 characters of the image reply
    std::optional<std::array<QByteArray, 20>> presetNames; // name table: 20 x 20 bytes

    bool imageReceived() const { return image != ImageAction::None; }
};

// One parser call over `receiveText`, after new bytes were appended. Applies, in order: the
// 1000-character rule, the sync rule, the system reply, the status reply (which ends the
// call), the two acknowledgements, a backup slot reply, an image reply and the name table.
ParseResult ParseReceiveText(QByteArray& receiveText, ParserFlags& flags);

} // namespace quellaton
