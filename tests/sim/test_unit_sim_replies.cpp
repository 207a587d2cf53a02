// quellaton-unit-sim answering requests: its start data, the replies it gives, what each write
// does to the unit, and which units answer which address.
#include "sim_test_support.h"

using namespace quellaton::sim_test;

class TestUnitSimReplies : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(!qEnvironmentVariable("QUELLATON_UNIT_SIM").isEmpty(),
                 "QUELLATON_UNIT_SIM must name the simulator binary");
        // The test's own frame builder against the protocol's example frames.
        QCOMPARE(Hex(StatusPoll(0)), QByteArray("A5A5A500A2002B00000089AA"));
        QCOMPARE(Byte(StatusPoll(0xFE), 10), quint8{0x77});
        QCOMPARE(Hex(BlockWrite(0, 0, 0, QByteArray::fromHex("C801000000000000"))),
                 QByteArray("A5A5A500A10000000008C80100000000000060AA"));
    }

    void startDataIsPlausibleAndDistinct() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "1"}));
        Port port(sim.link);
        QVERIFY(port.IsOpen());

        QSet<QByteArray> distinct;
        QList<QByteArray> images;
        for (int slot = 1; slot <= SlotCount; ++slot) {
            const QByteArray image = AskSlot(port, 0, static_cast<quint8>(slot));
            QCOMPARE(image.size(), ImageSize);
            images.append(image);
            distinct.insert(image);
            // Every decoded field lies inside the range the program limits it to.
            for (int way = 0; way < 3; ++way) {
                const int b = 72 * way;
                QVERIFY(Byte(image, b) <= (way == 2 ? 200 : 250));
                QVERIFY(Byte(image, b + 2) + 256 * Byte(image, b + 3) <= 412);
                QVERIFY(Byte(image, b + 16) <= 19);
                QVERIFY(Byte(image, b + 17) <= 6);
                QVERIFY(Byte(image, b + 18) <= 6);
            }
            for (int section = 0; section < 4; ++section) {
                const int crossover = section < 3 ? 72 * section + 8 : 224;
                QVERIFY(Byte(image, crossover) <= 243 && Byte(image, crossover + 1) <= 8);
                QVERIFY(Byte(image, crossover + 4) <= 243 && Byte(image, crossover + 5) <= 8);
                QVERIFY(Byte(image, crossover) < Byte(image, crossover + 4)); // HPF below LPF
                for (int band = 0; band < 6; ++band) {
                    const int o = (section < 3 ? 72 * section + 24 : 232) + 8 * band;
                    QVERIFY(Byte(image, o) <= 243);
                    QVERIFY(Byte(image, o + 1) <= 2);
                    QVERIFY(Byte(image, o + 2) + 256 * Byte(image, o + 3) <= 180);
                    QVERIFY(Byte(image, o + 4) + 256 * Byte(image, o + 5) <= 180);
                    QVERIFY(Byte(image, o + 6) <= 179);
                }
            }
            const int level = Byte(image, 218) + 256 * Byte(image, 219);
            QVERIFY(level >= 1 && level <= 301);
            for (int i = 280; i < ImageSize; ++i) {
                QVERIFY2(Byte(image, i) != 0, "the uninterpreted tail is non-zero filler");
            }
        }
        QCOMPARE(distinct.size(), SlotCount);

        // Working image = preset 1, last loaded preset 1, device ID in byte 3.
        QCOMPARE(AskImage(port, 0), images.first());
        const QByteArray system = AskSystem(port, 0);
        QCOMPARE(Byte(system, 0), quint8{1});
        QCOMPARE(Byte(system, 3), quint8{1});

        // Names for every slot: printable, at most 19 characters, zero filled.
        const QByteArray names = AskNames(port, 0);
        QCOMPARE(names.size(), 400);
        QSet<QByteArray> distinctNames;
        for (int slot = 0; slot < SlotCount; ++slot) {
            const QByteArray name = names.mid(20 * slot, 20);
            const int length = name.indexOf('\0');
            QVERIFY(length >= 1 && length <= 19);
            QCOMPARE(name.mid(length), QByteArray(20 - length, '\0'));
            distinctNames.insert(name);
        }
        QCOMPARE(distinctNames.size(), SlotCount);
        QCOMPARE(names.left(6), QByteArray("Stage\0", 6));

        // The state file tells the same story as the replies.
        const auto state = sim.State();
        QCOMPARE(state.value("unit 1 image").toLatin1(), Hex(images.first()));
        QCOMPARE(state.value("unit 1 slot 20").toLatin1(), Hex(images.last()));
        QCOMPARE(state.value("unit 1 name 1").toLatin1(), Hex(names.left(20)));
        QCOMPARE(state.value("unit 1 address"), QString("0"));
        QCOMPARE(state.value("unit 1 system").toLatin1(), Hex(system));
    }

    void statusAndSystemRepliesCarryTheUnitsValues() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "4", "--temperature", "2906", "--attenuation", "7"}));
        Port port(sim.link);
        const QByteArray status = Ask(port, StatusPoll(3), 3, 0x52, 0, 0x2B, 8);
        QCOMPARE(Hex(Payload(status)), QByteArray("00000B5A07000000"));
        const QByteArray system = AskSystem(port, 3);
        QCOMPARE(system.size(), 8);
        QCOMPARE(Byte(system, 0), quint8{1}); // last loaded preset
        QCOMPARE(Byte(system, 3), quint8{4}); // device ID
        QVERIFY(Byte(system, 5) <= 30);       // protect temperature index
    }

    void presetRecallLoadsTheSlot() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "1"}));
        Port port(sim.link);
        const QByteArray slot5 = AskSlot(port, 0, 5);
        const QByteArray recalled =
            Payload(Ask(port, PresetRecall(0, 5), 0, 0x52, 5, 0x28, ImageSize));
        QCOMPARE(recalled, slot5);
        QCOMPARE(AskImage(port, 0), slot5);
        QCOMPARE(Byte(AskSystem(port, 0), 0), quint8{5});
        QCOMPARE(sim.State().value("unit 1 image").toLatin1(), Hex(slot5));

        // Only presets 1..8 can be recalled; slot 0 and 21 do not exist for SlotRead.
        QVERIFY(port.Write(PresetRecall(0, 9)));
        QVERIFY(port.Write(SlotRead(0, 0)));
        QVERIFY(port.Write(SlotRead(0, 21)));
        QVERIFY(OnlyStatusFollows(port, 0));
        QCOMPARE(AskImage(port, 0), slot5);
    }

    void unitsAnswerOnlyTheirOwnAddress() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "1,3"}));
        Port port(sim.link);
        QVERIFY(!Ask(port, StatusPoll(0), 0, 0x52, 0, 0x2B, 8).isEmpty());
        QVERIFY(!Ask(port, StatusPoll(2), 2, 0x52, 0, 0x2B, 8).isEmpty());
        QCOMPARE(Byte(AskSystem(port, 2), 3), quint8{3});
        // Nobody has address 1: the next reply on the line is unit 1's.
        QVERIFY(port.Write(StatusPoll(1)));
        QVERIFY(port.Write(ImageRead(1)));
        QVERIFY(OnlyStatusFollows(port, 0));
        // The two units are distinguishable.
        QVERIFY(AskImage(port, 0) != AskImage(port, 2));
        QVERIFY(AskNames(port, 0) != AskNames(port, 2));
    }

    void broadcastImageWriteReachesEveryUnitSilently() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "1,3"}));
        Port port(sim.link);
        const QByteArray image = PatternImage(1);
        const QByteArray frame = ImageWrite(0xFF, image);
        QVERIFY(port.Write(frame.left(10)));
        QTest::qWait(120);
        QVERIFY(port.Write(frame.mid(10)));
        QVERIFY(port.Write(StatusPoll(0xFF))); // applied by all, answered by none
        QVERIFY(OnlyStatusFollows(port, 2));
        const auto state = sim.State();
        QCOMPARE(state.value("unit 1 image").toLatin1(), Hex(image));
        QCOMPARE(state.value("unit 3 image").toLatin1(), Hex(image));
        QCOMPARE(AskImage(port, 0), image);
        // The frame was logged once, as one line, although it came in two writes.
        QCOMPARE(sim.LogLines().value(0).toLatin1(), Hex(frame));
    }

    void blockWritesLandAtTheirOffsets() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "2"}));
        Port port(sim.link);
        QByteArray expected = AskImage(port, 1);
        QCOMPARE(expected.size(), ImageSize);
        struct Case {
            quint8 block, group;
            int offset;
        };
        const Case cases[] = {{0, 0, 0},   {0, 8, 64},  {1, 3, 96},  {2, 0, 144}, {2, 8, 208},
                              {3, 0, 216}, {4, 0, 224}, {5, 0, 232}, {10, 0, 272}};
        int n = 0;
        for (const Case& c : cases) {
            const QByteArray block = PatternImage(++n).left(8);
            QVERIFY(port.Write(BlockWrite(1, c.block, c.group, block)));
            expected.replace(c.offset, 8, block);
        }
        // Blocks that do not exist change nothing.
        QVERIFY(port.Write(BlockWrite(1, 0, 9, QByteArray(8, '\x11'))));
        QVERIFY(port.Write(BlockWrite(1, 3, 1, QByteArray(8, '\x22'))));
        QVERIFY(port.Write(BlockWrite(1, 11, 0, QByteArray(8, '\x33'))));
        QVERIFY(port.Write(BlockWrite(1, 0, 0, QByteArray(7, '\x44'))));
        QVERIFY(OnlyStatusFollows(port, 1)); // and none of them was answered
        QCOMPARE(Hex(AskImage(port, 1)), Hex(expected));
        QCOMPARE(sim.State().value("unit 2 image").toLatin1(), Hex(expected));
    }

    void nameWriteStoresNameAndWorkingSet() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "1"}));
        Port port(sim.link);
        const QByteArray block = QByteArray::fromHex("C801000000000000");
        QVERIFY(port.Write(BlockWrite(0, 0, 0, block)));
        const QByteArray ack = Ask(port, NameWrite(0, 7, "Party"), 0, 0x51, 0, 0x00, 0);
        QCOMPARE(Hex(ack), QByteArray("A5A5A50051000000000051AA"));
        const QByteArray names = AskNames(port, 0);
        QCOMPARE(names.mid(120, 20), QByteArray("Party").append(QByteArray(15, '\0')));
        QVERIFY(names.left(20) != names.mid(120, 20)); // the other names are untouched
        const QByteArray working = AskImage(port, 0);
        QCOMPARE(working.left(8), block);
        QCOMPARE(AskSlot(port, 0, 7), working);
        QCOMPARE(sim.State().value("unit 1 name 7").toLatin1(),
                 Hex(QByteArray("Party").append(QByteArray(15, '\0'))));
    }

    void slotWriteThenSlotReadRoundTrips() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "5"}));
        Port port(sim.link);
        const QByteArray image = PatternImage(12);
        const QByteArray frame = SlotWrite(4, 12, image);
        QVERIFY(port.Write(frame.left(10)));
        QTest::qWait(60);
        QVERIFY(port.Write(frame.mid(10)));
        QVERIFY(OnlyStatusFollows(port, 4));
        QCOMPARE(AskSlot(port, 4, 12), image);
        QVERIFY(AskImage(port, 4) != image); // the working image is not touched
        QCOMPARE(sim.State().value("unit 5 slot 12").toLatin1(), Hex(image));
    }

    void systemWriteMovesTheUnitToItsNewAddress() {
        Sim sim;
        QVERIFY(sim.Start({"--ids", "2"}));
        Port port(sim.link);
        const QByteArray values = QByteArray::fromHex("035AC309000C0000");
        const QByteArray ack = Ask(port, SystemWrite(1, values), 1, 0x51, 0, 0x21, 0);
        QCOMPARE(Hex(ack), QByteArray("A5A5A50151002100000071AA"));
        QVERIFY(port.Write(StatusPoll(1))); // the old address is dead now
        QVERIFY(OnlyStatusFollows(port, 8));
        const QByteArray system = AskSystem(port, 8);
        QCOMPARE(Hex(system), Hex(values));
        const auto state = sim.State();
        QCOMPARE(state.value("unit 2 address"), QString("8"));
        QCOMPARE(state.value("unit 2 id"), QString("9"));
    }
};

QTEST_GUILESS_MAIN(TestUnitSimReplies)
#include "test_unit_sim_replies.moc"
