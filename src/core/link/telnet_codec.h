// The telnet side of a COM port reached through a serial device server with RFC 2217: what
// the program asks for when it connects (the COM-PORT option, binary transfer, no go-ahead,
// and the line at 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control), the
// escaping of 0xFF in the data it sends, and the decoding of what the server sends back into
// line data, answers to the server's requests and the state of the negotiation. It knows
// nothing of sockets: bytes in, bytes out.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSet>

namespace quellaton {

class TelnetCodec {
public:
    // Telnet commands and options used here.
    enum : quint8 {
        SE = 240,
        SB = 250,
        WILL = 251,
        WONT = 252,
        DO = 253,
        DONT = 254,
        IAC = 255,
        BinaryOption = 0,
        EchoOption = 1,
        SuppressGoAheadOption = 3,
        ComPortOption = 44,
    };
    // COM-PORT-OPTION commands from the client; the server answers each with it plus 100.
    enum : quint8 {
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        SetControl = 5,
        ServerOffset = 100,
    };
    static constexpr quint32 BaudRate = 9600;

    enum class ComPort { Pending, Accepted, Refused };

    // Everything the client sends right after connecting.
    static QByteArray OpeningRequests();
    // Line data as telnet data: each 0xFF doubled.
    static QByteArray Escape(QByteArrayView data);

    struct Output {
        QByteArray data;  // line data, unescaped
        QByteArray reply; // what the client must send back (answers to the server's requests)
    };
    // Decodes bytes from the server. A command may be split across calls.
    Output feed(QByteArrayView bytes);

    ComPort comPort() const { return comPort_; }
    // The server has confirmed all five line settings.
    bool settingsConfirmed() const;

private:
    void option(quint8 command, quint8 option, Output& out);
    void subnegotiation();

    enum class State { Data, Iac, Option, Sub, SubIac };
    State state_ = State::Data;
    quint8 command_ = 0;
    QByteArray sub_;
    ComPort comPort_ = ComPort::Pending;
    QSet<quint8> confirmed_;
};

} // namespace quellaton
