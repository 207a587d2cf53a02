// The preset file format on its own: reading .sps and .fps texts with their checks, and
// writing them atomically.
#include "dsp/scales.h"
#include "files/preset_file_format.h"
#include "protocol/frames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace quellaton;

namespace {

// A 664-character line: an image reply frame whose payload byte o is (o * seed) & 0xFF.
QByteArray Line(int seed, quint8 block = ParameterImageBlock) {
    QByteArray payload(ImagePayloadSize, '\0');
    for (int o = 0; o < ImagePayloadSize; ++o) {
        payload[o] = char((o * seed + seed) & 0xFF);
    }
    return ToHexText(DeviceFrame(0, ReadReply, 0, block, 0, payload));
}

QByteArray Join(const QList<QByteArray>& lines, const QByteArray& separator) {
    QByteArray out;
    for (const QByteArray& line : lines) {
        out.append(line);
        out.append(separator);
    }
    return out;
}

QList<QByteArray> SlotLines(int count) {
    QList<QByteArray> lines;
    for (int n = 1; n <= count; ++n) {
        lines.append(Line(n + 2, PresetSlotBlock));
    }
    return lines;
}

QByteArray FileContent(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteRaw(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

} // namespace

class TestPresetFormat : public QObject {
    Q_OBJECT
private slots:
    void linesSplitAsATextReaderDoes();
    void singlePresetAcceptsSplitAndLowerCaseText();
    void singlePresetRejectsWrongLengthOrDigits_data();
    void singlePresetRejectsWrongLengthOrDigits();
    void singlePresetWithoutContentIsEmpty();
    void allPresetsNeedTwentyWholeLines_data();
    void allPresetsNeedTwentyWholeLines();
    void allPresetsEmptyFileIsEmpty();
    void writtenFileIsUpperCaseWithCrLf();
    void writtenFilesReadBack();
    void readingUnreadableOrHugeFilesIsDamaged();
    void failedWriteLeavesTheOldFile();
};

void TestPresetFormat::linesSplitAsATextReaderDoes() {
    QCOMPARE(SplitPresetLines(""), QList<QByteArray>());
    QCOMPARE(SplitPresetLines("a"), QList<QByteArray>({"a"}));
    QCOMPARE(SplitPresetLines("a\r\n"), QList<QByteArray>({"a"}));
    QCOMPARE(SplitPresetLines("a\r\nb"), QList<QByteArray>({"a", "b"}));
    QCOMPARE(SplitPresetLines("a\nb\rc\r\n"), QList<QByteArray>({"a", "b", "c"}));
    QCOMPARE(SplitPresetLines("\r\n"), QList<QByteArray>({""}));
    QCOMPARE(SplitPresetLines("a\r\n\r\n"), QList<QByteArray>({"a", ""}));
    QCOMPARE(SplitPresetLines("a\r\r\n"), QList<QByteArray>({"a", ""}));
}

void TestPresetFormat::singlePresetAcceptsSplitAndLowerCaseText() {
    const QByteArray line = Line(7);
    // One line, with or without its line end.
    for (const QByteArray& content : {line, line + "\r\n", line + "\n"}) {
        const SinglePresetText read = ReadSinglePresetText(content);
        QCOMPARE(read.status, PresetFileStatus::Ok);
        QCOMPARE(read.text, line);
    }
    // Split over lines of uneven length, mixed line ends: the lines are joined.
    const QByteArray split = line.left(1) + "\r\n" + line.mid(1, 300) + "\n" + line.mid(301, 62) +
                             "\r" + line.mid(363) + "\r\n";
    QCOMPARE(ReadSinglePresetText(split).status, PresetFileStatus::Ok);
    QCOMPARE(ReadSinglePresetText(split).text, line);
    // Empty lines between the parts add nothing.
    QCOMPARE(ReadSinglePresetText(line.left(100) + "\r\n\r\n" + line.mid(100)).text, line);
    // Lower case reads as the same bytes.
    const SinglePresetText lower = ReadSinglePresetText(line.toLower());
    QCOMPARE(lower.status, PresetFileStatus::Ok);
    QCOMPARE(QByteArray::fromHex(lower.text), QByteArray::fromHex(line));
}

void TestPresetFormat::singlePresetRejectsWrongLengthOrDigits_data() {
    QTest::addColumn<QByteArray>("content");
    const QByteArray line = Line(3);
    QTest::newRow("663 characters") << line.left(663);
    QTest::newRow("665 characters") << line + "0";
    QTest::newRow("trailing blank") << line + " \r\n";
    QTest::newRow("leading blank") << " " + line;
    QTest::newRow("one line short") << line.left(662);
    QTest::newRow("two lines") << line + "\r\n" + line + "\r\n";
    QByteArray nonHex = line;
    nonHex[400] = 'G';
    QTest::newRow("non-hex pair") << nonHex;
    QByteArray prefixed = line;
    prefixed[20] = 'x'; // "0x" would be accepted by a lenient number reader
    QTest::newRow("0x pair") << prefixed.replace(20, 2, "0x");
    QByteArray nul = line;
    nul[100] = '\0';
    QTest::newRow("NUL byte") << nul;
    QByteArray high = line;
    high[5] = char(0xC3);
    QTest::newRow("non-ASCII byte") << high;
}

void TestPresetFormat::singlePresetRejectsWrongLengthOrDigits() {
    QFETCH(QByteArray, content);
    const SinglePresetText read = ReadSinglePresetText(content);
    QCOMPARE(read.status, PresetFileStatus::Damaged);
    QVERIFY(read.text.isEmpty());
}

void TestPresetFormat::singlePresetWithoutContentIsEmpty() {
    for (const QByteArray& content : {QByteArray(), QByteArray("\r\n"), QByteArray("\r\n\n\r")}) {
        QCOMPARE(ReadSinglePresetText(content).status, PresetFileStatus::Empty);
    }
}

void TestPresetFormat::allPresetsNeedTwentyWholeLines_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");
    const QList<QByteArray> lines = SlotLines(20);
    QTest::newRow("20 lines, CR LF") << Join(lines, "\r\n") << true;
    QTest::newRow("20 lines, last without line end") << Join(lines, "\r\n").chopped(2) << true;
    QTest::newRow("20 lines, LF") << Join(lines, "\n") << true;
    QList<QByteArray> lower = lines;
    lower[4] = lower[4].toLower();
    QTest::newRow("a lower-case line") << Join(lower, "\r\n") << true;

    QTest::newRow("19 lines") << Join(SlotLines(19), "\r\n") << false;
    QTest::newRow("21 lines") << Join(SlotLines(21), "\r\n") << false;
    QTest::newRow("an empty line at the end") << Join(lines, "\r\n") + "\r\n" << false;
    QList<QByteArray> shortLine = lines;
    shortLine[19].chop(1);
    QTest::newRow("last line 663 characters") << Join(shortLine, "\r\n") << false;
    QList<QByteArray> blank = lines;
    blank[0].append(' ');
    QTest::newRow("first line with a trailing blank") << Join(blank, "\r\n") << false;
    QList<QByteArray> nonHex = lines;
    nonHex[10][600] = 'Z';
    QTest::newRow("non-hex pair in line 11") << Join(nonHex, "\r\n") << false;
    // A single-preset text split over 20 lines is no all-presets file.
    QByteArray split;
    const QByteArray one = Line(9);
    for (int i = 0; i < 20; ++i) {
        split += one.mid(i * 34, 34) + "\r\n";
    }
    QTest::newRow("one preset split over 20 lines") << split << false;
}

void TestPresetFormat::allPresetsNeedTwentyWholeLines() {
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    const AllPresetsText read = ReadAllPresetsText(content);
    QCOMPARE(read.status, ok ? PresetFileStatus::Ok : PresetFileStatus::Damaged);
    QCOMPARE(read.lines.size(), ok ? 20 : 0);
    if (ok) {
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(read.lines[i].toUpper(), SlotLines(20)[i]);
        }
    }
}

void TestPresetFormat::allPresetsEmptyFileIsEmpty() {
    QCOMPARE(ReadAllPresetsText("").status, PresetFileStatus::Empty);
    // A lone line end is one empty line: that is a damaged file, not an empty one.
    QCOMPARE(ReadAllPresetsText("\r\n").status, PresetFileStatus::Damaged);
}

void TestPresetFormat::writtenFileIsUpperCaseWithCrLf() {
    QTemporaryDir dir;
    const QString path = dir.filePath("one.sps");
    const QByteArray line = Line(11);
    QVERIFY(WritePresetFile(path, {line.toLower()}));
    QCOMPARE(FileContent(path), line + "\r\n");

    const QList<QByteArray> lines = SlotLines(20);
    QVERIFY(WritePresetFile(dir.filePath("all.fps"), lines));
    const QByteArray all = FileContent(dir.filePath("all.fps"));
    QCOMPARE(all.size(), 20 * 666);
    QCOMPARE(all, Join(lines, "\r\n"));
    QCOMPARE(all, all.toUpper());
    // No temporary file is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

void TestPresetFormat::writtenFilesReadBack() {
    QTemporaryDir dir;
    const QList<QByteArray> lines = SlotLines(20);
    QVERIFY(WritePresetFile(dir.filePath("a.fps"), lines));
    QByteArray content;
    QCOMPARE(ReadPresetFile(dir.filePath("a.fps"), content), PresetFileStatus::Ok);
    const AllPresetsText all = ReadAllPresetsText(content);
    QCOMPARE(all.status, PresetFileStatus::Ok);
    QCOMPARE(all.lines, lines);

    QVERIFY(WritePresetFile(dir.filePath("b.sps"), {Line(5)}));
    QCOMPARE(ReadPresetFile(dir.filePath("b.sps"), content), PresetFileStatus::Ok);
    QCOMPARE(ReadSinglePresetText(content).text, Line(5));

    // Overwriting replaces the whole file.
    QVERIFY(WritePresetFile(dir.filePath("a.fps"), {Line(6)}));
    QCOMPARE(FileContent(dir.filePath("a.fps")), Line(6) + "\r\n");
}

void TestPresetFormat::readingUnreadableOrHugeFilesIsDamaged() {
    QTemporaryDir dir;
    QByteArray content = "left over";
    QCOMPARE(ReadPresetFile(dir.filePath("missing.sps"), content), PresetFileStatus::Damaged);
    QVERIFY(content.isEmpty());
    QCOMPARE(ReadPresetFile(dir.path(), content), PresetFileStatus::Damaged); // a directory

    QVERIFY(WriteRaw(dir.filePath("empty.sps"), {}));
    QCOMPARE(ReadPresetFile(dir.filePath("empty.sps"), content), PresetFileStatus::Empty);

    // A file just above the limit is refused without reading it whole; one at the limit reads.
    QVERIFY(WriteRaw(dir.filePath("huge.sps"), QByteArray(PresetFileSizeLimit + 1, '\n')));
    QCOMPARE(ReadPresetFile(dir.filePath("huge.sps"), content), PresetFileStatus::Damaged);
    QVERIFY(content.isEmpty());
    QByteArray atLimit(PresetFileSizeLimit - PresetLineChars, '\n');
    atLimit.append(Line(2));
    QVERIFY(WriteRaw(dir.filePath("big.sps"), atLimit));
    QCOMPARE(ReadPresetFile(dir.filePath("big.sps"), content), PresetFileStatus::Ok);
    QCOMPARE(ReadSinglePresetText(content).text, Line(2));
}

void TestPresetFormat::failedWriteLeavesTheOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("keep.fps");
    const QByteArray old = "OLD CONTENT\r\n";
    QVERIFY(WriteRaw(path, old));

    // The directory does not exist: nothing is written, with a reason.
    QString reason;
    QVERIFY(!WritePresetFile(dir.filePath("no/such/dir/x.fps"), SlotLines(20), &reason));
    QVERIFY(!reason.isEmpty());

    // A write that fails half-way: the file size limit stops the new content after 1000 bytes
    // (the 20 lines need 13320). The old file stays as it was and no partial file remains.
    struct rlimit saved {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 1000;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    reason.clear();
    const bool written = WritePresetFile(path, SlotLines(20), &reason);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!written);
    QVERIFY(!reason.isEmpty());
    QCOMPARE(FileContent(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"keep.fps"}));
}

QTEST_GUILESS_MAIN(TestPresetFormat)
#include "test_preset_format.moc"
