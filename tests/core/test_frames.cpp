// Request frames, the parameter image and its limits, the send slots and the block builders.
#include "reply_texts.h"

#include "dsp/scales.h"
#include "model/preset_names.h"
#include "protocol/block_builders.h"
#include "protocol/frame_reader.h"
#include "protocol/frames.h"
#include "protocol/parameter_image.h"
#include "protocol/send_slots.h"

#include <QTest>

using namespace quellaton;
using namespace quellaton::protocol_test;

class TestFrames : public QObject {
    Q_OBJECT
private slots:
    // Frames
    void requestsHaveTheirExactBytes();
    void everyFrameChecksOut();
    void imageWriteIsSplitInHeadAndRest();
    // Parameter image
    void startValues();
    void blockPayloadsRoundTripThroughTheImage();
    void decodeLimitsTheLimitedFields();
    void decodeKeepsTheUnlimitedFields();
    void decodeOfShortOrGarbledTextDoesNotCrash();
    void masterLevelPositions();
    // Send slots and block builders
    void slotTable();
    void blockFramesHaveTheirBlocksBytes();
    void outputBlockExampleFrame();
    void queueServesLowestSlotAndKeepsLatestFrame();
    void mainBandBypassSendsZeroDb();
    void mainBlockCarriesTheMasterLevel();
    void systemWriteCarriesTheNewId();
};

void TestFrames::requestsHaveTheirExactBytes() {
    QCOMPARE(StatusPoll(0),
             Bytes({0xA5, 0xA5, 0xA5, 0x00, 0xA2, 0x00, 0x2B, 0x00, 0x00, 0x00, 0x89, 0xAA}));
    QCOMPARE(quint8(StatusPoll(0xFE).at(10)), quint8(0x77));
    QCOMPARE(SystemRead(0).size(), 20);
    QCOMPARE(quint8(SystemRead(0).at(18)), quint8(0x8B));
    QCOMPARE(quint8(NameTableRead(0).at(10)), quint8(0x84));
    QCOMPARE(quint8(ImageRead(0).at(10)), quint8(0x8A));
    QCOMPARE(quint8(ImageRead(5).at(10)), quint8(5 ^ 0x8A));
    const QByteArray recall = PresetRecall(2, 8);
    QCOMPARE(recall.mid(4, 6), Bytes({0xA2, 0x08, 0x28, 0x00, 0x00, 0x00}));
    QCOMPARE(quint8(recall.at(10)), quint8(2 ^ 8 ^ 0x8A));
    const QByteArray slot = SlotRead(0, 20);
    QCOMPARE(slot.mid(4, 6), Bytes({0xA2, 20, 0x29, 0x00, 0x00, 0x00}));
    QCOMPARE(quint8(slot.at(10)), quint8(20 ^ 0x8B));

    const QByteArray name = NameWrite(0, 7, "Stage");
    QCOMPARE(name.size(), 32);
    QCOMPARE(name.mid(4, 6), Bytes({0xA1, 0x07, 0x27, 0x00, 0x00, 0x14}));
    QCOMPARE(name.mid(10, 5), QByteArray("Stage"));
    QCOMPARE(name.mid(15, 15), QByteArray(15, '\0'));
    // A name longer than the field is cut, never overflowing the frame.
    QCOMPARE(NameWrite(0, 8, QByteArray(40, 'x')).size(), 32);
}

void TestFrames::everyFrameChecksOut() {
    for (const QByteArray& frame :
         {StatusPoll(3), SystemRead(9), NameTableRead(254), ImageRead(255), PresetRecall(1, 3),
          SlotRead(7, 11), NameWrite(4, 8, "Club"), BlockWrite(2, 1, 5, QByteArray(8, '\x33'))}) {
        QCOMPARE(quint8(frame.front()), SyncByte);
        QCOMPARE(quint8(frame.back()), EndByte);
        const int length = quint8(frame[8]) * 256 + quint8(frame[9]);
        QCOMPARE(frame.size(), 12 + length);
        QCOMPARE(quint8(frame[frame.size() - 2]), FrameCheck(frame));
    }
}

void TestFrames::imageWriteIsSplitInHeadAndRest() {
    QCOMPARE(ImageWriteHead(0),
             Bytes({0xA5, 0xA5, 0xA5, 0x00, 0xA1, 0x00, 0x28, 0x00, 0x01, 0x40}));
    QCOMPARE(SlotWriteHead(255, 3),
             Bytes({0xA5, 0xA5, 0xA5, 0xFF, 0xA1, 0x03, 0x29, 0x00, 0x01, 0x40}));
    const QByteArray zeros(320, '\0');
    const QByteArray rest = ImageWriteRest(0, 25, zeros);
    QCOMPARE(rest.size(), 322);
    QCOMPARE(quint8(rest.at(320)), quint8(0xC8));
    QCOMPARE(quint8(rest.at(321)), EndByte);
    QCOMPARE(quint8(ImageWriteRest(0, 3, zeros).at(320)), quint8(0xCA));
    // Head and rest together form a frame whose check covers the head.
    QByteArray payload(320, '\0');
    for (int i = 0; i < 320; ++i) {
        payload[i] = char(i * 7);
    }
    const QByteArray whole = SlotWriteHead(9, 17) + ImageWriteRest(9, 17, payload);
    QCOMPARE(whole, DeviceFrame(9, WriteBlock, 17, PresetSlotBlock, 0, payload));
    const QByteArray image = ImageWriteHead(4) + ImageWriteRest(4, 25, payload);
    QCOMPARE(image, DeviceFrame(4, WriteBlock, 0, ParameterImageBlock, 0, payload));
}

void TestFrames::startValues() {
    const ParameterImage image;
    QCOMPARE(image.gainIndex[High], 120);
    QCOMPARE(image.onFlag[Low], 1);
    QCOMPARE(image.lowPassIndex[Main], 243);
    QCOMPARE(image.highPassIndex[Main], 0);
    QCOMPARE(image.masterLevel, 0);
    const int frequencies[] = {0, 33, 57, 80, 112, 136};
    for (int b = 0; b < BandCount; ++b) {
        QCOMPARE(image.bands[b].frequencyIndex, frequencies[b % 6]);
        QCOMPARE(image.bands[b].peakingGain, 120);
        QCOMPARE(image.bands[b].shelfGain, 120);
        QCOMPARE(image.bands[b].qIndex, 4);
        QCOMPARE(image.bands[b].type, 0);
    }
}

void TestFrames::blockPayloadsRoundTripThroughTheImage() {
    // Every byte position of an interpreted field survives encode -> decode -> encode.
    QByteArray bytes(320, '\0');
    for (int i = 0; i < 280; ++i) {
        bytes[i] = char((i * 37 + 11) % 170); // within the gain, frequency and Q ranges
    }
    auto band = [&](int offset) {
        bytes[offset + 1] = char(offset % 3); // type 0..2
        bytes[offset + 3] = 0;                // gains below 256
        bytes[offset + 5] = 0;
        bytes[offset + 7] = 0;
    };
    auto crossover = [&](int offset) {
        bytes[offset + 1] = char(offset % 9); // types 0..8
        bytes[offset + 5] = char(offset % 7);
        bytes[offset + 2] = bytes[offset + 3] = bytes[offset + 6] = bytes[offset + 7] = 0;
    };
    for (int way = 0; way < 3; ++way) {
        crossover(72 * way + 8);
        for (int b = 0; b < 6; ++b) {
            band(72 * way + 24 + 8 * b);
        }
        bytes[72 * way + 5] = bytes[72 * way + 6] = bytes[72 * way + 7] = 0;
        for (int i = 19; i < 24; ++i) {
            bytes[72 * way + i] = 0;
        }
    }
    crossover(224);
    for (int b = 0; b < 6; ++b) {
        band(232 + 8 * b);
    }
    bytes[217] = 0;
    // Bytes the program writes as 0 stay 0 in its own encoding.
    ParameterImage image = DecodeImageText(ImageReplyText(bytes));
    const QByteArray encoded = image.Encode();
    QCOMPARE(encoded, bytes.left(280) + QByteArray(40, '\0'));
    QCOMPARE(DecodeImageText(ImageReplyText(encoded)), image);
    // High way output block: gain at 0, on flag at 1, delay at 2..3 low byte first, pol at 4.
    QCOMPARE(BlockPayload(image, 0, 0).left(5), bytes.mid(0, 5));
    QCOMPARE(BlockPayload(image, 1, 2).left(3), bytes.mid(72 + 16, 3)); // Mid limiter
    QCOMPARE(BlockPayload(image, 2, 8), bytes.mid(144 + 64, 7) + QByteArray(1, '\0'));
    QCOMPARE(BlockPayload(image, 3, 0),
             bytes.mid(216, 1) + QByteArray(1, '\0') + bytes.mid(218, 6));
    QCOMPARE(BlockPayload(image, 10, 0), bytes.mid(272, 7) + QByteArray(1, '\0'));

    ParameterImage edited;
    ApplyBlockPayload(edited, 2, 0, Bytes({150, 0, 0x34, 0x01, 1, 0, 0, 0}));
    QCOMPARE(edited.gainIndex[Low], 150);
    QCOMPARE(edited.onFlag[Low], 0);
    QCOMPARE(edited.delay[Low], 0x134);
    QCOMPARE(edited.polarity[Low], 1);
    ApplyBlockPayload(edited, 3, 0, Bytes({1, 0, 0x2D, 0x01, 0x9C, 0x01, 1, 1}));
    QCOMPARE(edited.masterLevel, 301);
    QCOMPARE(edited.delay[Main], 412);
    QCOMPARE(edited.btlMode, 1);
    QCOMPARE(BlockOffset(4, 0), 224);
    QVERIFY(!IsChannelBlock(2, 9));
    QVERIFY(!IsChannelBlock(11, 0));
    ApplyBlockPayload(edited, 11, 0, QByteArray(8, '\x01')); // ignored
}

void TestFrames::decodeLimitsTheLimitedFields() {
    QByteArray bytes = ParameterImage().Encode();
    bytes[0] = char(0xFA);      // High gain 250 stays
    bytes[144] = char(0xFA);    // Low gain 250 becomes 200
    bytes[24 + 1] = char(5);    // High band 1 type 5 becomes 2
    bytes[24 + 6] = char(0xFF); // Q 255 becomes 179
    bytes[24 + 2] = char(0x01); // peaking gain 257 becomes 180
    bytes[24 + 3] = char(0x01);
    bytes[8] = char(250); // crossover frequency limited to 243
    bytes[9] = char(12);  // crossover type limited to 8
    const ParameterImage image = DecodeImageText(ImageReplyText(bytes));
    QCOMPARE(image.gainIndex[High], 250);
    QCOMPARE(image.gainIndex[Low], 200);
    QCOMPARE(image.bands[0].type, 2);
    QCOMPARE(image.bands[0].qIndex, 179);
    QCOMPARE(image.bands[0].peakingGain, 180);
    QCOMPARE(image.highPassIndex[High], 243);
    QCOMPARE(image.highPassType[High], 8);
}

void TestFrames::decodeKeepsTheUnlimitedFields() {
    QByteArray bytes = ParameterImage().Encode();
    bytes[1] = char(7);    // on flag
    bytes[2] = char(0xFF); // delay 0xFFFF
    bytes[3] = char(0xFF);
    bytes[4] = char(9);      // polarity
    bytes[16] = char(200);   // limiter threshold
    bytes[216] = char(2);    // bass enhancer
    bytes[218] = char(0x90); // master level 400
    bytes[219] = char(0x01);
    bytes[223] = char(3); // BTL
    const ParameterImage image = DecodeImageText(ImageReplyText(bytes));
    QCOMPARE(image.onFlag[High], 7);
    QCOMPARE(image.delay[High], 0xFFFF);
    QCOMPARE(image.polarity[High], 9);
    QCOMPARE(image.limiterThreshold[High], 200);
    QCOMPARE(image.bassEnhancer, 2);
    QCOMPARE(image.masterLevel, 400);
    QCOMPARE(image.btlMode, 3);
}

void TestFrames::decodeOfShortOrGarbledTextDoesNotCrash() {
    const ParameterImage empty = DecodeImageText(QByteArrayView());
    QCOMPARE(empty.gainIndex[High], 0);
    const ParameterImage garbled = DecodeImageText(QByteArray(664, 'Z'));
    QCOMPARE(garbled.lowPassIndex[Main], 0);
    QCOMPARE(ImagePayloadFromText(QByteArray(30, '1')).size(), 320);
}

void TestFrames::masterLevelPositions() {
    // The master fader sits at 301 - level and reads from its position.
    QCOMPARE(MasterFaderText(MainLevelTop - 301), QStringLiteral("0.0 dB"));
    QCOMPARE(MasterFaderText(MainLevelTop - 0), QStringLiteral("Mute"));
    QCOMPARE(MainLevelTop - 151, 150);
    QCOMPARE(MasterFaderText(MainLevelTop - 151), QStringLiteral("-30.0 dB"));
}

void TestFrames::slotTable() {
    QCOMPARE(BlockOfSlot(1).block, 0);
    QCOMPARE(BlockOfSlot(1).group, 0);
    QCOMPARE(BlockOfSlot(5).block, 1);
    QCOMPARE(BlockOfSlot(5).group, 1);
    QCOMPARE(BlockOfSlot(9).block, 2);
    QCOMPARE(BlockOfSlot(9).group, 2);
    QCOMPARE(BlockOfSlot(15).group, 8);
    QCOMPARE(BlockOfSlot(16).block, 1);
    QCOMPARE(BlockOfSlot(16).group, 3);
    QCOMPARE(BlockOfSlot(27).block, 2);
    QCOMPARE(BlockOfSlot(28).block, 3);
    QCOMPARE(BlockOfSlot(29).block, 0x21);
    QCOMPARE(BlockOfSlot(30).block, 5);
    QCOMPARE(BlockOfSlot(35).block, 10);
    QCOMPARE(BlockOfSlot(36).block, 4);
    for (int band = 0; band < BandCount; ++band) {
        const SlotBlock sb = BlockOfSlot(EqBandSlot(band));
        if (band < 18) {
            QCOMPARE(int(sb.block), band / 6);
            QCOMPARE(int(sb.group), 3 + band % 6);
        } else {
            QCOMPARE(int(sb.block), 5 + band - 18);
            QCOMPARE(int(sb.group), 0);
        }
    }
    QCOMPARE(CrossoverSlot(Main), 36);
    QCOMPARE(LimiterSlot(Low), 9);
}

namespace {
// The send slots with frames built from an image, as the live writer builds them.
struct Rig {
    ParameterImage image;
    BypassRows bypass{};
    SendSlots queue;
    int address = 0;
    void edited(int slot) { queue.prepare(slot, BuildBlockFrame(slot, address, image, bypass)); }
};
} // namespace

void TestFrames::blockFramesHaveTheirBlocksBytes() {
    Rig rig;
    // Every block slot gives a 20-byte block write of its block; the system write slot and
    // the slots beyond 36 give nothing.
    for (int slot = 1; slot <= BlockSlotCount; ++slot) {
        const QByteArray frame = BuildBlockFrame(slot, 3, rig.image, rig.bypass);
        if (slot == SystemWriteSlot) {
            QVERIFY(frame.isEmpty());
            continue;
        }
        QCOMPARE(frame.size(), 20);
        const SlotBlock sb = BlockOfSlot(slot);
        QCOMPARE(quint8(frame[3]), quint8(3));
        QCOMPARE(quint8(frame[6]), sb.block);
        QCOMPARE(quint8(frame[7]), sb.group);
        QCOMPARE(frame.mid(10, 8), BlockPayload(rig.image, sb.block, sb.group));
        QCOMPARE(quint8(frame[18]), FrameCheck(frame));
    }
    QVERIFY(BuildBlockFrame(0, 0, rig.image, rig.bypass).isEmpty());
    QVERIFY(BuildBlockFrame(37, 0, rig.image, rig.bypass).isEmpty());
    rig.edited(6);
    QVERIFY(rig.queue.pending(6));
    QCOMPARE(rig.queue.blockFrame(6).size(), 20);
}

void TestFrames::outputBlockExampleFrame() {
    Rig rig;
    rig.image.gainIndex[High] = 200;
    rig.image.onFlag[High] = 1;
    rig.image.delay[High] = 0;
    rig.image.polarity[High] = 0;
    rig.edited(OutputSlot(High));
    QVERIFY(rig.queue.pending(1));
    QCOMPARE(rig.queue.blockFrame(1),
             Bytes({0xA5, 0xA5, 0xA5, 0x00, 0xA1, 0x00, 0x00, 0x00, 0x00, 0x08,
                    0xC8, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x60, 0xAA}));
    // A delay edit goes out with the new delay bytes.
    rig.image.delay[High] = 412;
    rig.edited(OutputSlot(High));
    QCOMPARE(rig.queue.blockFrame(1).mid(12, 2), Bytes({0x9C, 0x01}));
}

void TestFrames::queueServesLowestSlotAndKeepsLatestFrame() {
    Rig rig;
    QCOMPARE(rig.queue.nextPending(), 0);
    rig.edited(MainBlockSlot);     // slot 28
    rig.edited(LimiterSlot(High)); // slot 3
    rig.queue.setPending(SystemReadSlot);
    QCOMPARE(rig.queue.nextPending(), 3);
    rig.queue.clearPending(3);
    QCOMPARE(rig.queue.nextPending(), 28);
    rig.queue.clearPending(28);
    QCOMPARE(rig.queue.nextPending(), 37);
    QCOMPARE(rig.queue.frameToSend(37, 4), SystemRead(4));
    rig.queue.clearAll();
    QVERIFY(!rig.queue.anyPending());

    // Three edits of one band before its turn: one pending frame with the last values.
    for (int gain : {100, 110, 130}) {
        rig.image.bands[BandIndex(Mid, 2)].peakingGain = gain;
        rig.edited(EqBandSlot(BandIndex(Mid, 2)));
    }
    QCOMPARE(rig.queue.nextPending(), 18);
    QCOMPARE(quint8(rig.queue.blockFrame(18).at(12)), quint8(130));
    rig.queue.clearPending(18);
    QCOMPARE(rig.queue.nextPending(), 0);
    // Out-of-range indices are ignored.
    rig.queue.setPending(0);
    rig.queue.setPending(51);
    QVERIFY(!rig.queue.pending(51));
    QVERIFY(rig.queue.blockFrame(40).isEmpty());
}

void TestFrames::mainBandBypassSendsZeroDb() {
    Rig rig;
    EqBand& peaking = rig.image.bands[BandIndex(Main, 0)];
    peaking.peakingGain = 150;
    peaking.shelfGain = 160;
    rig.bypass[0] = true;
    rig.edited(EqBandSlot(BandIndex(Main, 0)));
    QByteArray frame = rig.queue.blockFrame(30);
    QCOMPARE(frame.mid(12, 2), Bytes({0x78, 0x00}));
    QCOMPARE(frame.mid(14, 2), Bytes({160, 0x00}));
    QCOMPARE(quint8(frame.at(18)), FrameCheck(frame));
    QCOMPARE(peaking.peakingGain, 150);

    EqBand& shelf = rig.image.bands[BandIndex(Main, 1)];
    shelf.type = 1;
    shelf.peakingGain = 150;
    shelf.shelfGain = 170;
    rig.bypass[1] = true;
    rig.edited(EqBandSlot(BandIndex(Main, 1)));
    frame = rig.queue.blockFrame(31);
    QCOMPARE(frame.mid(12, 2), Bytes({150, 0x00}));
    QCOMPARE(frame.mid(14, 2), Bytes({0x78, 0x00}));

    // The ways have no bypass; unticking sends the band's own gain again.
    rig.bypass[0] = false;
    rig.edited(EqBandSlot(BandIndex(Main, 0)));
    QCOMPARE(rig.queue.blockFrame(30).mid(12, 2), Bytes({150, 0x00}));
    rig.image.bands[0].peakingGain = 150;
    rig.bypass[0] = true;
    rig.edited(EqBandSlot(0));
    QCOMPARE(rig.queue.blockFrame(10).mid(12, 2), Bytes({150, 0x00}));
}

void TestFrames::mainBlockCarriesTheMasterLevel() {
    Rig rig;
    rig.image.masterLevel = 301;
    rig.edited(MainBlockSlot);
    QCOMPARE(rig.queue.blockFrame(28).mid(12, 2), Bytes({0x2D, 0x01}));
    rig.image.masterLevel = 0;
    rig.edited(MainBlockSlot);
    QCOMPARE(rig.queue.blockFrame(28).mid(12, 2), Bytes({0x00, 0x00}));
}

void TestFrames::systemWriteCarriesTheNewId() {
    Rig rig;
    rig.address = 2;
    SystemValues values{7, 0x11, 0x22, 10};
    rig.queue.prepare(SystemWriteSlot, SystemWriteFrame(rig.address, values, 7));
    const QByteArray frame = rig.queue.blockFrame(SystemWriteSlot);
    QCOMPARE(frame, DeviceFrame(2, WriteBlock, 0, SystemBlockNumber, 0,
                                Bytes({7, 0x11, 0x22, 7, 0, 10, 0, 0})));
    QVERIFY(rig.queue.pending(SystemWriteSlot));
}

QTEST_GUILESS_MAIN(TestFrames)
#include "test_frames.moc"
