// The port list: order, selection of the last item, port numbers, extra device paths and the
// refresh and presence rules.
#include "link/port_list.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quellaton;

namespace {

PortSource fixed(const QStringList& names) {
    return [names] {
        PortList ports;
        for (const QString& n : names)
            ports.append(PortEntry{n, QStringLiteral("\\\\.\\") + n});
        return ports;
    };
}

} // namespace

class TestPortList : public QObject {
    Q_OBJECT
private slots:
    void sortsWithoutRegardToCaseAndSelectsLast();
    void portNumbers_data();
    void portNumbers();
    void extraPathsListedWhileTheyExist();
    void givenPortsComeLast_data();
    void givenPortsComeLast();
    void refreshAndPresenceRules();
};

void TestPortList::sortsWithoutRegardToCaseAndSelectsLast() {
    const PortList list = FillPortList({}, fixed({"COM2", "COM10", "COM1"}));
    QCOMPARE(PortNames(list), (QStringList{"COM1", "COM10", "COM2"}));
    QCOMPARE(LastItemIndex(list), 2);
    QCOMPARE(list[LastItemIndex(list)].name, QStringLiteral("COM2"));
    QCOMPARE(list[LastItemIndex(list)].location, QStringLiteral("\\\\.\\COM2"));
    QCOMPARE(BuildPortNumbers(PortNames(list)), (QList<int>{1, 10, 2}));

    const PortList mixed = FillPortList({}, fixed({"com3", "COM2", "Com1", "ttyUSB0", "ttyACM1"}));
    QCOMPARE(PortNames(mixed), (QStringList{"Com1", "COM2", "com3", "ttyACM1", "ttyUSB0"}));

    // No ports at all: nothing selected, no numbers.
    const PortList none = FillPortList({}, fixed({}));
    QVERIFY(none.isEmpty());
    QCOMPARE(LastItemIndex(none), -1);
    QVERIFY(BuildPortNumbers(PortNames(none)).isEmpty());
    QVERIFY(FillPortList({}, PortSource{}).isEmpty());
}

void TestPortList::portNumbers_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("number");
    QTest::newRow("COM1") << "COM1" << 1;
    QTest::newRow("COM9") << "COM9" << 9;
    QTest::newRow("COM10") << "COM10" << 10;
    QTest::newRow("COM255") << "COM255" << 255;
    QTest::newRow("leading zero") << "COM007" << 7;
    QTest::newRow("any three letters") << "XYZ12" << 12;
    QTest::newRow("negative") << "COM-1" << -1;
    QTest::newRow("ttyUSB0") << "ttyUSB0" << 0;
    QTest::newRow("ttyS1") << "ttyS1" << 0;
    QTest::newRow("path") << "/tmp/x" << 0;
    QTest::newRow("pts path") << "/dev/pts/3" << 0;
    QTest::newRow("no number") << "COM" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("sign only") << "COM-" << 0;
    QTest::newRow("trailing letter") << "COM1a" << 0;
    QTest::newRow("inner space") << "COM 3" << 0;
    QTest::newRow("too large") << "COM99999999999" << 0;
    QTest::newRow("largest") << "COM2147483647" << 2147483647;
    QTest::newRow("smallest") << "COM-2147483648" << int(-2147483647 - 1);
    QTest::newRow("just beyond") << "COM2147483648" << 0;
}

void TestPortList::portNumbers() {
    QFETCH(QString, name);
    QFETCH(int, number);
    QCOMPARE(PortNumberOf(name), number);
    QCOMPARE(BuildPortNumbers({name, name}), (QList<int>{number, number}));
}

void TestPortList::extraPathsListedWhileTheyExist() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString device = dir.filePath("link-a");
    const QString link = dir.filePath("link-b");
    const QString missing = dir.filePath("link-c");
    const QString dangling = dir.filePath("link-d");
    {
        QFile f(device);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::link(device, link));
    QVERIFY(QFile::link(missing, dangling));

    const PortList list =
        FillPortList({missing, link, device, dangling, device}, fixed({"COM2", "COM1"}));
    // Existing paths (a symlink to an existing file included) are listed once each, after the
    // system's ports in the order given, name and location being the path as given; missing
    // paths and dangling links are not.
    QCOMPARE(PortNames(list), (QStringList{"COM1", "COM2", link, device}));
    QCOMPARE(list[2].location, link);
    QCOMPARE(list[3].location, device);
    QCOMPARE(BuildPortNumbers(PortNames(list)), (QList<int>{1, 2, 0, 0}));

    // A path that names a port the system already lists is not listed twice.
    const PortSource system = [device] { return PortList{PortEntry{"fake0", device}}; };
    QCOMPARE(FillPortList({device}, system).size(), 1);

    // The path goes away: the next fill no longer has it.
    QVERIFY(QFile::remove(device));
    QCOMPARE(PortNames(FillPortList({device, link}, fixed({"COM1"}))), QStringList{"COM1"});
}

void TestPortList::givenPortsComeLast_data() {
    // Names starting with "@" stand for files made for the test; a system port "name=@x" is
    // listed by the system at that file.
    QTest::addColumn<QStringList>("system");
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("no given port") << QStringList{"COM2", "COM10", "COM1"} << QStringList{}
                                   << QStringList{"COM1", "COM10", "COM2"};
    QTest::newRow("a path sorting first") << QStringList{"ttyUSB0", "ttyS0"} << QStringList{"@line"}
                                          << QStringList{"ttyS0", "ttyUSB0", "@line"};
    QTest::newRow("several, in the order given")
        << QStringList{"COM3"} << QStringList{"@zz", "@aa", "@mm"}
        << QStringList{"COM3", "@zz", "@aa", "@mm"};
    QTest::newRow("given twice") << QStringList{"COM3"} << QStringList{"@b", "@a", "@b"}
                                 << QStringList{"COM3", "@b", "@a"};
    QTest::newRow("a system port given by its device")
        << QStringList{"aaa=@dev", "COM1"} << QStringList{"@dev"} << QStringList{"COM1", "aaa"};
    QTest::newRow("only given ports")
        << QStringList{} << QStringList{"@b", "@a"} << QStringList{"@b", "@a"};
}

// The system's ports come sorted, the ports given after them, so the last item (the one
// selected) is a port the user gave.
void TestPortList::givenPortsComeLast() {
    QFETCH(QStringList, system);
    QFETCH(QStringList, given);
    QFETCH(QStringList, listed);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto path = [&](QString name) {
        if (!name.startsWith(QLatin1Char('@'))) {
            return name;
        }
        const QString file = dir.filePath(name.mid(1));
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        return file;
    };
    PortList ports;
    for (const QString& entry : system) {
        const QStringList parts = entry.split(QLatin1Char('='));
        ports.append(PortEntry{parts[0], parts.size() > 1 ? path(parts[1]) : "/dev/" + parts[0]});
    }
    QStringList paths;
    for (const QString& name : given) {
        paths.append(path(name));
    }
    QStringList expected;
    for (const QString& name : listed) {
        expected.append(path(name));
    }
    const PortList list = FillPortList(paths, [ports] { return ports; });
    QCOMPARE(PortNames(list), expected);
    QCOMPARE(list[LastItemIndex(list)].name, expected.last());
    // The selected item opens a path the user gave.
    QCOMPARE(paths.contains(list.last().location), !given.isEmpty());
}

void TestPortList::refreshAndPresenceRules() {
    const PortList shown = FillPortList({}, fixed({"COM1", "COM2"}));
    QVERIFY(!PortListDiffers(shown, FillPortList({}, fixed({"COM2", "COM1"}))));
    QVERIFY(PortListDiffers(shown, FillPortList({}, fixed({"COM1", "COM2", "COM3"}))));
    QVERIFY(PortListDiffers(shown, FillPortList({}, fixed({"COM1"}))));
    QVERIFY(PortListDiffers(shown, FillPortList({}, fixed({"COM1", "COM3"}))));
    QVERIFY(PortListDiffers(shown, PortList{}));
    QVERIFY(!PortListDiffers(PortList{}, PortList{}));
    // Same names at the same places but another location: the list is filled again.
    PortList moved = shown;
    moved[1].location = QStringLiteral("/dev/ttyUSB7");
    QVERIFY(PortListDiffers(shown, moved));

    QVERIFY(PortStillListed(shown, "COM2"));
    QVERIFY(!PortStillListed(shown, "COM3"));
    QVERIFY(!PortStillListed(shown, "COM"));
    QVERIFY(!PortStillListed(PortList{}, "COM1"));
    QVERIFY(!PortStillListed(shown, QString()));
}

QTEST_GUILESS_MAIN(TestPortList)
#include "test_port_list.moc"
