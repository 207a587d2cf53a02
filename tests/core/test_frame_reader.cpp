// The frame reader: what each pass over the received text finds, keeps and drops.
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

namespace {

QByteArray StatusReplyText(int rawTemperature, int attenuation) {
    return ReplyText(
        0, ReadReply, 0, StatusBlockNumber,
        Bytes({0, 0, rawTemperature >> 8, rawTemperature & 0xFF, attenuation, 0, 0, 0}));
}

// `text` with the byte at `byte` replaced (counted from 0 in the frame).
QByteArray WithByte(QByteArray text, int byte, const char* hex) {
    text.replace(2 * byte, 2, hex);
    return text;
}

// `text` without `count` payload bytes in front of its check byte: shorter than its Length.
QByteArray Truncated(QByteArray text, int count) {
    text.remove(text.size() - 4 - 2 * count, 2 * count);
    return text;
}

QByteArray SlotReplyText(int slot) {
    return ReplyText(0, ReadReply, quint8(slot), PresetSlotBlock, QByteArray(320, char(slot)));
}

QByteArray NameTableText() {
    return ReplyText(0, ReadReply, 0, PresetNameTableBlock, QByteArray(400, 'n'));
}

QByteArray SystemReplyText() {
    return ReplyText(0, ReadReply, 0, SystemBlockNumber, Bytes({7, 0, 0, 1, 0, 10, 0, 0}));
}

// The first reply of `kind` in a pass, or nullptr.
const Reply* Find(const ReadResult& r, Reply::Kind kind) {
    for (const Reply& reply : r.replies) {
        if (reply.kind == kind) {
            return &reply;
        }
    }
    return nullptr;
}

bool AnythingTaken(const ReadResult& r) {
    return Find(r, Reply::Kind::Image) || Find(r, Reply::Kind::Slot) ||
           Find(r, Reply::Kind::NameTable) || Find(r, Reply::Kind::System);
}

} // namespace

class TestFrameReader : public QObject {
    Q_OBJECT
private slots:
    void systemBlockReplyForPreset7();
    void statusReplyLabels();
    void statusReplyEndsThePass();
    void imageSplitOverThreeCallsIsDecodedOnce();
    void thousandCharacterRule();
    void garbageInFrontEmptiesEverything();
    void acknowledgementThenStatusInOneRead();
    void acknowledgementsAreReportedAndRemoved();
    void nameTableFirstNameStage();
    void imageReplyTakesTheWholeText();
    void slotRepliesCarryTheirSlot();
    void incompleteFrameIsKept();
    void damagedKeptRepliesAreDropped_data();
    void damagedKeptRepliesAreDropped();
    void replyBehindATruncatedOneIsFound();
    void readerKeepsTheTextAsHexBetweenPasses();
};

void TestFrameReader::systemBlockReplyForPreset7() {
    QByteArray text =
        ReplyText(0, ReadReply, 0, SystemBlockNumber, Bytes({0x07, 1, 2, 3, 0, 0x0A, 0, 0}));
    QCOMPARE(text.size(), 40);
    const ReadResult r = ReadReplies(text);
    const Reply* system = Find(r, Reply::Kind::System);
    QVERIFY(system);
    QCOMPARE(system->system.lastLoadedPreset, 7);
    QCOMPARE(system->system.systemByte1, 1);
    QCOMPARE(system->system.systemByte2, 2);
    QCOMPARE(system->system.protectTemperature, 10);
    QCOMPARE(LastLoadedLabel(system->system.lastLoadedPreset),
             QStringLiteral("Last loaded preset:Usr6         "));
    QVERIFY(text.isEmpty());
    QCOMPARE(LastLoadedLabel(1), QStringLiteral("Last loaded preset:Pre0         "));
    QCOMPARE(LastLoadedLabel(6), QStringLiteral("Last loaded preset:Pre5         "));
    QCOMPARE(LastLoadedLabel(8), QStringLiteral("Last loaded preset:Usr7         "));
}

void TestFrameReader::statusReplyLabels() {
    struct Case {
        int raw;
        const char* label;
    } cases[] = {{0x046B, ">=70"}, {0x0B5A, "    36"}, {0x13FE, "<=10"}, {0xFFFF, "<=10"}};
    for (const Case& c : cases) {
        QByteArray text = StatusReplyText(c.raw, 3);
        const ReadResult r = ReadReplies(text);
        const Reply* status = Find(r, Reply::Kind::Status);
        QVERIFY(status);
        QCOMPARE(status->status.temperatureLabel, QString::fromLatin1(c.label));
        QCOMPARE(status->status.attenuationLabel, QStringLiteral("3 dB"));
        QVERIFY(text.isEmpty());
    }
}

void TestFrameReader::statusReplyEndsThePass() {
    // A status reply is reported whatever is going on (a search files it under the address it
    // probed); whatever follows it waits for the next pass.
    QByteArray text = StatusReplyText(2915, 0) + SystemReplyText();
    ReadResult r = ReadReplies(text);
    QCOMPARE(r.replies.size(), 1);
    QCOMPARE(r.replies[0].kind, Reply::Kind::Status);
    QCOMPARE(r.replies[0].status.temperatureIndex, 17);
    QCOMPARE(text, SystemReplyText());
    r = ReadReplies(text);
    QVERIFY(Find(r, Reply::Kind::System));
}

void TestFrameReader::imageSplitOverThreeCallsIsDecodedOnce() {
    QByteArray payload = ParameterImage().Encode();
    payload[0] = char(77);
    const QByteArray reply = ImageReplyText(payload);
    QByteArray text;
    int applied = 0;
    QByteArray appliedText;
    for (int part = 0; part < 3; ++part) {
        text.append(reply.mid(part * 222, part == 2 ? -1 : 222));
        const ReadResult r = ReadReplies(text);
        if (const Reply* image = Find(r, Reply::Kind::Image)) {
            ++applied;
            appliedText = image->text;
        }
        if (part < 2) {
            QVERIFY(r.replies.isEmpty());
            QVERIFY(!text.isEmpty());
        }
    }
    QCOMPARE(applied, 1);
    QCOMPARE(appliedText, reply);
    QCOMPARE(DecodeImageText(appliedText).gainIndex[High], 77);
    QVERIFY(text.isEmpty());
}

void TestFrameReader::thousandCharacterRule() {
    // 999 characters beginning with a status reply: examined, the reply is recognised.
    QByteArray text = StatusReplyText(2915, 1);
    text.append(QByteArray(999 - text.size(), '0'));
    QVERIFY(Find(ReadReplies(text), Reply::Kind::Status));
    QCOMPARE(text.size(), 999 - 40);
    // 1000 characters are thrown away before anything else is looked at.
    text = StatusReplyText(2915, 1);
    text.append(QByteArray(1000 - text.size(), '0'));
    const ReadResult r = ReadReplies(text);
    QVERIFY(r.replies.isEmpty());
    QVERIFY(r.textDiscarded);
    QVERIFY(text.isEmpty());
}

void TestFrameReader::garbageInFrontEmptiesEverything() {
    QByteArray text = "00" + StatusReplyText(2915, 1);
    const ReadResult r = ReadReplies(text);
    QVERIFY(r.replies.isEmpty());
    QVERIFY(text.isEmpty());
    QByteArray empty;
    QVERIFY(!ReadReplies(empty).textDiscarded);
}

void TestFrameReader::acknowledgementThenStatusInOneRead() {
    QByteArray text = ReplyText(0, WriteAck, 0, SystemBlockNumber, {}) + StatusReplyText(2915, 2);
    ReadResult r = ReadReplies(text);
    QVERIFY(Find(r, Reply::Kind::IdChangeAck));
    QVERIFY(!Find(r, Reply::Kind::Status));
    QCOMPARE(text.size(), 40);
    r = ReadReplies(text); // the next call finds the status reply
    QVERIFY(Find(r, Reply::Kind::Status));
    QVERIFY(text.isEmpty());
}

void TestFrameReader::acknowledgementsAreReportedAndRemoved() {
    // Whoever awaits one takes it; either way it is removed.
    QByteArray text = ReplyText(0, WriteAck, 0, 0, {});
    QCOMPARE(text.mid(8, 12), QByteArray("510000000000"));
    ReadResult r = ReadReplies(text);
    QCOMPARE(r.replies.size(), 1);
    QCOMPARE(r.replies[0].kind, Reply::Kind::NameAck);
    QVERIFY(text.isEmpty());
    text = ReplyText(0, WriteAck, 0, SystemBlockNumber, {}) + ReplyText(0, WriteAck, 0, 0, {});
    r = ReadReplies(text);
    QCOMPARE(r.replies.size(), 2);
    QCOMPARE(r.replies[0].kind, Reply::Kind::IdChangeAck);
    QCOMPARE(r.replies[1].kind, Reply::Kind::NameAck);
    QVERIFY(text.isEmpty());
}

void TestFrameReader::nameTableFirstNameStage() {
    QByteArray payload(400, '\0');
    payload.replace(0, 5, "Stage");
    payload.replace(20, 4, "Club");
    payload.replace(380, 6, "Last20");
    QByteArray text = ReplyText(0, ReadReply, 0, PresetNameTableBlock, payload);
    QCOMPARE(text.size(), 824);
    const ReadResult r = ReadReplies(text);
    const Reply* table = Find(r, Reply::Kind::NameTable);
    QVERIFY(table);
    const auto& names = table->names;
    QCOMPARE(names[0].size(), 20);
    QCOMPARE(names[0], QByteArray("Stage") + QByteArray(15, '\0'));
    QCOMPARE(QString::fromLatin1(names[0].constData()), QStringLiteral("Stage"));
    QCOMPARE(QString::fromLatin1(names[1].constData()), QStringLiteral("Club"));
    QCOMPARE(QString::fromLatin1(names[19].constData()), QStringLiteral("Last20"));
    QVERIFY(text.isEmpty());
}

void TestFrameReader::imageReplyTakesTheWholeText() {
    // The image reply goes to whoever awaits one (the connection, a recall, a save, a broadcast
    // load's source); what came behind it in the same pass goes with it.
    const QByteArray reply = ImageReplyText(ParameterImage().Encode());
    QByteArray text = reply + "A5";
    const ReadResult r = ReadReplies(text);
    QCOMPARE(r.replies.size(), 1);
    QCOMPARE(r.replies[0].kind, Reply::Kind::Image);
    QCOMPARE(r.replies[0].text, reply);
    QVERIFY(text.isEmpty());
}

void TestFrameReader::slotRepliesCarryTheirSlot() {
    for (int n = 1; n <= 20; ++n) {
        const QByteArray slotReply = SlotReplyText(n);
        QByteArray text = slotReply;
        const ReadResult r = ReadReplies(text);
        const Reply* slot = Find(r, Reply::Kind::Slot);
        QVERIFY(slot);
        QCOMPARE(slot->slot, n);
        QCOMPARE(slot->text, slotReply);
        QVERIFY(text.isEmpty());
    }
    // The replies are looked for in a fixed order: an acknowledgement behind a slot reply is
    // found in the next pass, one in front of it in the same pass.
    const QByteArray ack = ReplyText(0, WriteAck, 0, 0, {});
    QByteArray text = SlotReplyText(4) + ack;
    ReadResult r = ReadReplies(text);
    QCOMPARE(r.replies.size(), 1);
    QCOMPARE(r.replies[0].slot, 4);
    QCOMPARE(text, ack);
    r = ReadReplies(text);
    QCOMPARE(r.replies.size(), 1);
    QCOMPARE(r.replies[0].kind, Reply::Kind::NameAck);
    text = ack + SlotReplyText(5);
    r = ReadReplies(text);
    QCOMPARE(r.replies.size(), 2);
    QCOMPARE(r.replies[0].kind, Reply::Kind::NameAck);
    QCOMPARE(r.replies[1].slot, 5);
}

void TestFrameReader::incompleteFrameIsKept() {
    const QByteArray status = StatusReplyText(2915, 1);
    QByteArray text = status.left(30);
    const ReadResult r = ReadReplies(text);
    QVERIFY(r.replies.isEmpty());
    QCOMPARE(text, status.left(30));
    // An unrecognised frame stays at the front.
    QByteArray other = ReplyText(0, WriteAck, 0, 0x05, {});
    text = other;
    ReadReplies(text);
    QCOMPARE(text, other);
}

void TestFrameReader::damagedKeptRepliesAreDropped_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("taken");

    const QByteArray image = ImageReplyText(QByteArray(320, '\x11'));
    QTest::newRow("intact image") << image << true;
    QTest::newRow("image, bad check") << WithByte(image, 330, "00") << false;
    QTest::newRow("image, bad end") << WithByte(image, 331, "55") << false;
    QTest::newRow("image, Length too long") << WithByte(image, 9, "41") << false;
    // Two bytes short, glued to the next frame's first bytes up to 664 characters.
    QTest::newRow("image, short") << Truncated(image, 2) + StatusReplyText(2915, 1).left(4)
                                  << false;
    const QByteArray slot = SlotReplyText(1);
    QTest::newRow("intact slot") << slot << true;
    QTest::newRow("slot, bad check") << WithByte(slot, 200, "FF") << false;
    QTest::newRow("slot, bad end") << WithByte(slot, 331, "A5") << false;
    QTest::newRow("intact name table") << NameTableText() << true;
    QTest::newRow("name table, bad check") << WithByte(NameTableText(), 410, "00") << false;
    QTest::newRow("intact system block") << SystemReplyText() << true;
    QTest::newRow("system block, bad check") << WithByte(SystemReplyText(), 18, "00") << false;
    QTest::newRow("system block, bad end") << WithByte(SystemReplyText(), 19, "00") << false;
}

void TestFrameReader::damagedKeptRepliesAreDropped() {
    QFETCH(QByteArray, text);
    QFETCH(bool, taken);
    const ReadResult r = ReadReplies(text);
    QCOMPARE(AnythingTaken(r), taken);
    QCOMPARE(r.repliesDropped, taken ? 0 : 1);
}

void TestFrameReader::replyBehindATruncatedOneIsFound() {
    // A reply cut short on the line runs into the next one; the next one is still found once
    // the damaged frame in front of it has been dropped.
    const QByteArray good = ImageReplyText(QByteArray(320, '\x22'));
    QByteArray text = Truncated(SystemReplyText(), 2) + good;
    const ReadResult r = ReadReplies(text);
    QVERIFY(!Find(r, Reply::Kind::System));
    QCOMPARE(r.repliesDropped, 1);
    const Reply* image = Find(r, Reply::Kind::Image);
    QVERIFY(image);
    QCOMPARE(image->text, good);
}

void TestFrameReader::readerKeepsTheTextAsHexBetweenPasses() {
    // Received bytes 0x0A 0xFF arrive as the four characters 0AFF, appended to what was there.
    FrameReader reader;
    reader.feed(QByteArray::fromHex("A5A5A5"));
    QCOMPARE(reader.text(), QByteArray("A5A5A5"));
    reader.feed(QByteArray("\x0A\xFF", 2));
    QCOMPARE(reader.text(), QByteArray("A5A5A50AFF"));
    reader.clear();
    QVERIFY(reader.text().isEmpty());
    const ReadResult r = reader.feed(QByteArray::fromHex(StatusReplyText(2915, 1)));
    QVERIFY(Find(r, Reply::Kind::Status));
    QVERIFY(reader.text().isEmpty());
}

QTEST_GUILESS_MAIN(TestFrameReader)
#include "test_frame_reader.moc"
