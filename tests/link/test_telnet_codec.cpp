// The telnet side of RFC 2217 ports against byte strings: what the program sends when it
// connects, the escaping of 0xFF both ways, and how the server's negotiation is read, also
// when a command arrives in pieces.
#include "link/telnet_codec.h"

#include <QTest>

using namespace quellaton;

namespace {

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

// Feeds `stream` split after every `piece` bytes and joins what comes out.
TelnetCodec::Output FeedInPieces(TelnetCodec& codec, const QByteArray& stream, int piece) {
    TelnetCodec::Output all;
    for (qsizetype at = 0; at < stream.size(); at += piece) {
        const TelnetCodec::Output out = codec.feed(
            QByteArrayView(stream).sliced(at, std::min<qsizetype>(piece, stream.size() - at)));
        all.data += out.data;
        all.reply += out.reply;
    }
    return all;
}

// What ser2net sends when a client connects and asks for COM port control: its own option
// requests, a modem-state notification and the answers to the five settings.
QByteArray ServerAccepting() {
    return Bytes({255, 251, 3,   255, 253, 3,   255, 251, 1,   255, 254, 1,   255, 253,
                  0,   255, 251, 0,   255, 253, 44,  255, 250, 44,  107, 0,   255, 240,
                  255, 250, 44,  101, 0,   0,   37,  128, 255, 240, 255, 250, 44,  102,
                  8,   255, 240, 255, 250, 44,  103, 1,   255, 240, 255, 250, 44,  104,
                  1,   255, 240, 255, 250, 44,  105, 1,   255, 240});
}

} // namespace

class TestTelnetCodec : public QObject {
    Q_OBJECT
private slots:
    void openingAsksForComPortControlAt9600_8N1();
    void escapingDoublesEvery0xFF_data();
    void escapingDoublesEvery0xFF();
    void serverNegotiationInAnyPieces_data();
    void serverNegotiationInAnyPieces();
    void refusalIsRecognised();
    void requestsForOtherOptionsAreDeclined();
};

void TestTelnetCodec::openingAsksForComPortControlAt9600_8N1() {
    const QByteArray expected = Bytes({
        255, 251, 44,                                      // WILL COM-PORT-OPTION
        255, 251, 0,  255, 253, 0,                         // WILL and DO binary
        255, 251, 3,  255, 253, 3,                         // WILL and DO suppress go-ahead
        255, 250, 44, 1,   0,   0,   0x25, 0x80, 255, 240, // SET-BAUDRATE 9600
        255, 250, 44, 2,   8,   255, 240,                  // SET-DATASIZE 8
        255, 250, 44, 3,   1,   255, 240,                  // SET-PARITY none
        255, 250, 44, 4,   1,   255, 240,                  // SET-STOPSIZE 1
        255, 250, 44, 5,   1,   255, 240,                  // SET-CONTROL no flow control
    });
    QCOMPARE(TelnetCodec::OpeningRequests().toHex(' '), expected.toHex(' '));
}

void TestTelnetCodec::escapingDoublesEvery0xFF_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("escaped");
    QTest::newRow("no 0xFF") << QByteArray::fromHex("A5A5A500A2002B00000089AA")
                             << QByteArray::fromHex("A5A5A500A2002B00000089AA");
    // A status poll to every unit: the address byte is 0xFF.
    QTest::newRow("broadcast poll") << QByteArray::fromHex("A5A5A5FFA2002B00000076AA")
                                    << QByteArray::fromHex("A5A5A5FFFFA2002B00000076AA");
    QTest::newRow("runs of 0xFF") << QByteArray::fromHex("FFFF00FF")
                                  << QByteArray::fromHex("FFFFFFFF00FFFF");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestTelnetCodec::escapingDoublesEvery0xFF() {
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, escaped);
    QCOMPARE(TelnetCodec::Escape(data).toHex(), escaped.toHex());
    // What the server sends escaped comes back as the line data, whatever the pieces.
    for (int piece : {1, 2, 3, 64}) {
        TelnetCodec codec;
        const TelnetCodec::Output out = FeedInPieces(codec, escaped, piece);
        QCOMPARE(out.data.toHex(), data.toHex());
        QVERIFY(out.reply.isEmpty());
    }
}

void TestTelnetCodec::serverNegotiationInAnyPieces_data() {
    QTest::addColumn<int>("piece");
    for (int piece : {1, 2, 5, 7, 1000}) {
        QTest::addRow("%d-byte pieces", piece) << piece;
    }
}

void TestTelnetCodec::serverNegotiationInAnyPieces() {
    QFETCH(int, piece);
    // Negotiation, then a unit's reply to a broadcast-address frame with an escaped 0xFF, a
    // NOP and a line-state notification in the middle of it.
    const QByteArray reply = QByteArray::fromHex("A5A5A5FF52002B00000800000B630300000019AA");
    QByteArray stream = ServerAccepting();
    stream += TelnetCodec::Escape(reply.left(5));
    stream += Bytes({255, 241, 255, 250, 44, 106, 0x60, 255, 240});
    stream += TelnetCodec::Escape(reply.mid(5));
    TelnetCodec codec;
    QCOMPARE(codec.comPort(), TelnetCodec::ComPort::Pending);
    const TelnetCodec::Output out = FeedInPieces(codec, stream, piece);
    QCOMPARE(out.data.toHex(), reply.toHex());
    QCOMPARE(codec.comPort(), TelnetCodec::ComPort::Accepted);
    QVERIFY(codec.settingsConfirmed());
    // The server's WILL ECHO is declined; everything else it asked for the client asked too.
    QCOMPARE(out.reply.toHex(' '), Bytes({255, 254, 1}).toHex(' '));
}

void TestTelnetCodec::refusalIsRecognised() {
    TelnetCodec codec;
    const TelnetCodec::Output out =
        codec.feed(Bytes({255, 254, 44, 255, 253, 0, 'o', 'k', 255, 255}));
    QCOMPARE(codec.comPort(), TelnetCodec::ComPort::Refused);
    QVERIFY(!codec.settingsConfirmed());
    QCOMPARE(out.data, QByteArray("ok\xFF"));
}

void TestTelnetCodec::requestsForOtherOptionsAreDeclined() {
    TelnetCodec codec;
    // DO TERMINAL-TYPE (24), WILL STATUS (5), WONT and DONT of anything: no loops.
    const TelnetCodec::Output out =
        codec.feed(Bytes({255, 253, 24, 255, 251, 5, 255, 252, 3, 255, 254, 3}));
    QCOMPARE(out.reply.toHex(' '), Bytes({255, 252, 24, 255, 254, 5}).toHex(' '));
    QVERIFY(out.data.isEmpty());
    QCOMPARE(codec.comPort(), TelnetCodec::ComPort::Pending);
}

QTEST_GUILESS_MAIN(TestTelnetCodec)
#include "test_telnet_codec.moc"
