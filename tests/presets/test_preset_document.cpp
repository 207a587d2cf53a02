// Saving a preset file that was opened for editing: what stays byte for byte, what is laid
// out anew, and that the result is a valid image reply the loader reads back.
#include "files/preset_document.h"
#include "protocol/frames.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quellaton;

namespace {

// A frame as a unit might have sent it, with bytes the program does not interpret set in the
// Main block's spare bytes and in a gap past the last block.
QByteArray UnitFrame(const ParameterImage& image, int address) {
    QByteArray payload = image.Encode();
    payload[ImagePayloadSize - 1] = char(0x5A); // past every block the program reads
    return DeviceFrame(address, ReadReply, 0, ParameterImageBlock, 0, payload);
}

QByteArray Frame(const QByteArray& content) {
    const SinglePresetText text = ReadSinglePresetText(content);
    return text.status == PresetFileStatus::Ok ? QByteArray::fromHex(text.text) : QByteArray();
}

} // namespace

class PresetDocumentTest : public QObject {
    Q_OBJECT
private slots:
    void unchangedSaveIsTheSameFile_data() {
        QTest::addColumn<QByteArray>("content");
        const QByteArray hex = UnitFrame(ParameterImage{}, 4).toHex().toUpper();
        QTest::newRow("as the unit wrote it") << hex + "\r\n";
        QTest::newRow("lower case") << hex.toLower() + "\r\n";
        QTest::newRow("split over lines, LF") << hex.left(300) + "\n" + hex.mid(300) + "\n";
        QByteArray wrongCheck = hex;
        wrongCheck.replace(660, 2, "00");
        QTest::newRow("a wrong check byte") << wrongCheck + "\r\n";
    }
    void unchangedSaveIsTheSameFile() {
        QFETCH(QByteArray, content);
        const std::optional<OpenedPreset> opened = ReadSinglePreset(content);
        QVERIFY(opened);
        QCOMPARE(SinglePresetContent(opened->image, &*opened, 0), content);
    }

    void editedSaveIsAValidFrame() {
        ParameterImage image;
        image.limiterRelease[Mid] = 2;
        QByteArray frame = UnitFrame(image, 7);
        frame[5] = char(3); // an index and a foreign block number in the header
        frame[6] = char(0x29);
        const std::optional<OpenedPreset> opened = ReadSinglePreset(frame.toHex() + "\r\n");
        QVERIFY(opened);

        ParameterImage edited = opened->image;
        edited.bands[std::size_t(BandIndex(High, 2))].peakingGain = 90;
        const QByteArray content = SinglePresetContent(edited, &*opened, 0);
        QVERIFY(content.endsWith("\r\n"));
        QCOMPARE(content.size(), 664 + 2);
        QCOMPARE(content.left(664), content.left(664).toUpper());
        const QByteArray saved = Frame(content);
        QCOMPARE(saved.left(10), QByteArray::fromHex("A5A5A507520328000140"));
        QCOMPARE(quint8(saved[330]), FrameCheck(saved));
        QCOMPARE(quint8(saved[331]), EndByte);
        QCOMPARE(saved[10 + ImagePayloadSize - 1], char(0x5A)); // kept where nothing was edited
        QVERIFY(DecodeImageText(content.left(664)) == edited);
    }

    void newFileForTheUnitsAddress() {
        ParameterImage image;
        image.masterLevel = 250;
        const QByteArray saved = Frame(SinglePresetContent(image, nullptr, 9));
        QCOMPARE(saved, DeviceFrame(9, ReadReply, 0, ParameterImageBlock, 0, image.Encode()));
    }

    void damagedFilesAreNotOpened_data() {
        QTest::addColumn<QByteArray>("content");
        const QByteArray hex = UnitFrame(ParameterImage{}, 0).toHex();
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one digit short") << hex.chopped(1) + "\r\n";
        QTest::newRow("not hex") << "G" + hex.mid(1) + "\r\n";
        QTest::newRow("two presets") << hex + "\r\n" + hex + "\r\n";
    }
    void damagedFilesAreNotOpened() {
        QFETCH(QByteArray, content);
        QVERIFY(!ReadSinglePreset(content));
    }

    void opensFromDisk() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.sps"));
        QVERIFY(WritePresetContent(path, UnitFrame(ParameterImage{}, 0).toHex() + "\r\n"));
        QVERIFY(OpenSinglePreset(path));
        QVERIFY(!OpenSinglePreset(dir.filePath(QStringLiteral("missing.sps"))));
        QVERIFY(!OpenSinglePreset(dir.path())); // a folder
    }
};

QTEST_GUILESS_MAIN(PresetDocumentTest)
#include "test_preset_document.moc"
