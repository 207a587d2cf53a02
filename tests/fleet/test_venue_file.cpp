// Venue files: what a good file gives, every error named by file, line and key, and a written
// file reading back as it was.
#include "files/venue_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quellaton;

namespace {

void Touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

const char* const GoodVenue = "[venue]\n"
                              "name = \"Main hall\"\n"
                              "\n"
                              "[[line]]\n"
                              "port = \"/dev/ttyUSB0\"\n"
                              "\n"
                              "[[line.unit]]\n"
                              "id = 1\n"
                              "label = \"Stage left top\"\n"
                              "tags = [\"stage-left\", \"top\"]\n"
                              "preset = \"presets/top.sps\"\n"
                              "slots = \"presets/top.fps\"\n"
                              "\n"
                              "[[line.unit]]\n"
                              "id = 2\n"
                              "preset = \"presets/top.sps\"\n"
                              "\n"
                              "[[line]]\n"
                              "port = \"tcp://10.0.0.5:4001\"\n"
                              "\n"
                              "[[line.unit]]\n"
                              "id = 2\n"
                              "label = \"Sub\"\n";

} // namespace

class TestVenueFile : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QVERIFY(dir_.isValid());
        Touch(dir_.filePath(QStringLiteral("presets/top.sps")));
        Touch(dir_.filePath(QStringLiteral("presets/top.fps")));
    }

    void goodFile() {
        const QString path = dir_.filePath(QStringLiteral("venue.toml"));
        const VenueRead read = ReadVenueText(GoodVenue, path);
        QVERIFY2(read.errors.isEmpty(), qPrintable(read.errors.value(0).text()));
        QVERIFY(read.venue);
        const Venue& venue = *read.venue;
        QCOMPARE(venue.name, QStringLiteral("Main hall"));
        QCOMPARE(venue.lines.size(), 2);
        QCOMPARE(venue.unitCount(), 3);
        const VenueUnit& top = venue.lines[0].units[0];
        QCOMPARE(top.id, 1);
        QCOMPARE(top.tags, (QStringList{QStringLiteral("stage-left"), QStringLiteral("top")}));
        QCOMPARE(top.presetPath, dir_.filePath(QStringLiteral("presets/top.sps")));
        QCOMPARE(top.slotsPath, dir_.filePath(QStringLiteral("presets/top.fps")));
        QCOMPARE(top.sourceLine, 7);
        QVERIFY(venue.lines[0].units[1].slotsPath.isEmpty());
        // The same ID on another line is another unit.
        QCOMPARE(venue.lines[1].units[0].id, 2);
        QCOMPARE(venue.lines[1].port, QStringLiteral("tcp://10.0.0.5:4001"));
    }

    void errorsNameFileLineAndKey_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        const QByteArray line = "[[line]]\nport = \"/dev/ttyS0\"\n";
        QTest::newRow("unknown top key") << QByteArray("colour = 3\n") << "1: colour: unknown key";
        QTest::newRow("unknown unit key") << line + "[[line.unit]]\nid = 3\nvolume = 2\n"
                                          << "5: line[1].unit[1].volume: unknown key";
        QTest::newRow("duplicate id") << line + "[[line.unit]]\nid = 3\n[[line.unit]]\nid = 3\n"
                                      << "6: line[1].unit[2].id: ID 3 is given twice on this line";
        QTest::newRow("id 0") << line + "[[line.unit]]\nid = 0\n"
                              << "4: line[1].unit[1].id: must be 1..254";
        QTest::newRow("id 255") << line + "[[line.unit]]\nid = 255\n"
                                << "4: line[1].unit[1].id: 255 is the broadcast address, not an ID";
        QTest::newRow("id text") << line + "[[line.unit]]\nid = \"3\"\n"
                                 << "4: line[1].unit[1].id: must be a whole number";
        QTest::newRow("id missing") << line + "[[line.unit]]\nlabel = \"x\"\n"
                                    << "3: line[1].unit[1].id: missing";
        QTest::newRow("missing preset") << line + "[[line.unit]]\nid = 3\npreset = \"gone.sps\"\n"
                                        << "5: line[1].unit[1].preset: file not found: gone.sps";
        QTest::newRow("preset is a folder")
            << line + "[[line.unit]]\nid = 3\nslots = \"presets\"\n"
            << "5: line[1].unit[1].slots: not a regular file: presets";
        QTest::newRow("port missing") << QByteArray("[[line]]\n") << "1: line[1].port: missing";
        QTest::newRow("port twice") << line + line << "4: line[2].port: /dev/ttyS0 is given twice";
        QTest::newRow("tags not strings") << line + "[[line.unit]]\nid = 3\ntags = [1]\n"
                                          << "5: line[1].unit[1].tags: must be a list of strings";
        QTest::newRow("line not a table list")
            << QByteArray("line = 3\n") << "1: line: must be [[line]] tables";
        QTest::newRow("syntax") << QByteArray("[venue\nname = 1\n") << "1: ";
        QTest::newRow("binary junk") << QByteArray("\x00\xff\xfe[[", 5) << "1: ";
    }

    void errorsNameFileLineAndKey() {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        const QString path = dir_.filePath(QStringLiteral("venue.toml"));
        const VenueRead read = ReadVenueText(text, path);
        QVERIFY(!read.venue);
        QVERIFY(!read.errors.isEmpty());
        const QString first = read.errors.first().text();
        QVERIFY2(first.startsWith(path + QLatin1Char(':') + error), qPrintable(first));
    }

    void missingVenueFile() {
        const VenueRead read = ReadVenueFile(dir_.filePath(QStringLiteral("none.toml")));
        QVERIFY(!read.venue);
        QVERIFY(read.errors.value(0).text().endsWith(QStringLiteral("none.toml: file not found")));
    }

    void writtenFileReadsBack() {
        const QString path = dir_.filePath(QStringLiteral("venue.toml"));
        const Venue venue = *ReadVenueText(GoodVenue, path).venue;
        const QByteArray text = VenueFileText(venue, dir_.path());
        QVERIFY2(text.contains("preset = \"presets/top.sps\""), text.constData());
        QVERIFY2(text.contains("[[line.unit]]"), text.constData());
        const VenueRead again = ReadVenueText(text, path);
        QVERIFY2(again.venue, qPrintable(again.errors.value(0).text()));
        QCOMPARE(again.venue->name, venue.name);
        QCOMPARE(again.venue->lines.size(), venue.lines.size());
        for (int l = 0; l < venue.lines.size(); ++l) {
            QCOMPARE(again.venue->lines[l].port, venue.lines[l].port);
            QCOMPARE(again.venue->lines[l].units.size(), venue.lines[l].units.size());
            for (int u = 0; u < venue.lines[l].units.size(); ++u) {
                const VenueUnit& a = venue.lines[l].units[u];
                const VenueUnit& b = again.venue->lines[l].units[u];
                QCOMPARE(b.id, a.id);
                QCOMPARE(b.label, a.label);
                QCOMPARE(b.tags, a.tags);
                QCOMPARE(b.presetPath, a.presetPath);
                QCOMPARE(b.slotsPath, a.slotsPath);
            }
        }
    }

private:
    QTemporaryDir dir_;
};

QTEST_GUILESS_MAIN(TestVenueFile)
#include "test_venue_file.moc"
