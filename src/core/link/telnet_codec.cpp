#include "link/telnet_codec.h"

namespace quellaton {

namespace {

void Append(QByteArray& out, std::initializer_list<quint8> bytes) {
    for (quint8 b : bytes) {
        out.append(char(b));
    }
}

// IAC SB COM-PORT-OPTION command value... IAC SE, with 0xFF in the value doubled.
void Subnegotiate(QByteArray& out, quint8 command, QByteArrayView value) {
    Append(out, {TelnetCodec::IAC, TelnetCodec::SB, TelnetCodec::ComPortOption, command});
    out.append(TelnetCodec::Escape(value));
    Append(out, {TelnetCodec::IAC, TelnetCodec::SE});
}

} // namespace

QByteArray TelnetCodec::OpeningRequests() {
    QByteArray out;
    Append(out, {IAC, WILL, ComPortOption, IAC, WILL, BinaryOption, IAC, DO, BinaryOption, IAC,
                 WILL, SuppressGoAheadOption, IAC, DO, SuppressGoAheadOption});
    const char baud[4] = {char((BaudRate >> 24) & 0xFF), char((BaudRate >> 16) & 0xFF),
                          char((BaudRate >> 8) & 0xFF), char(BaudRate & 0xFF)};
    Subnegotiate(out, SetBaudRate, QByteArrayView(baud, 4));
    Subnegotiate(out, SetDataSize, "\x08");
    Subnegotiate(out, SetParity, "\x01");   // none
    Subnegotiate(out, SetStopSize, "\x01"); // one
    Subnegotiate(out, SetControl, "\x01");  // no flow control
    return out;
}

QByteArray TelnetCodec::Escape(QByteArrayView data) {
    QByteArray out;
    out.reserve(data.size() + data.size() / 8);
    for (char c : data) {
        out.append(c);
        if (quint8(c) == IAC) {
            out.append(c);
        }
    }
    return out;
}

bool TelnetCodec::settingsConfirmed() const {
    for (quint8 command : {SetBaudRate, SetDataSize, SetParity, SetStopSize, SetControl}) {
        if (!confirmed_.contains(quint8(command + ServerOffset))) {
            return false;
        }
    }
    return true;
}

TelnetCodec::Output TelnetCodec::feed(QByteArrayView bytes) {
    Output out;
    for (char c : bytes) {
        const quint8 b = quint8(c);
        switch (state_) {
        case State::Data:
            if (b == IAC) {
                state_ = State::Iac;
            } else {
                out.data.append(c);
            }
            break;
        case State::Iac:
            if (b == IAC) {
                out.data.append(c); // an escaped 0xFF
                state_ = State::Data;
            } else if (b >= WILL && b <= DONT) {
                command_ = b;
                state_ = State::Option;
            } else if (b == SB) {
                sub_.clear();
                state_ = State::Sub;
            } else {
                state_ = State::Data; // NOP, GA, DM and the like carry nothing for the line
            }
            break;
        case State::Option:
            option(command_, b, out);
            state_ = State::Data;
            break;
        case State::Sub:
            if (b == IAC) {
                state_ = State::SubIac;
            } else {
                sub_.append(c);
            }
            break;
        case State::SubIac:
            if (b == SE) {
                subnegotiation();
                state_ = State::Data;
            } else {
                sub_.append(c); // IAC IAC inside: one 0xFF
                state_ = State::Sub;
            }
            break;
        }
    }
    return out;
}

// The client asked for the COM-PORT option, binary transfer and no go-ahead in both
// directions when it connected, so the server's DO and WILL for them only confirm. Anything
// else the server wants to switch on is declined; what it switches off needs no answer.
void TelnetCodec::option(quint8 command, quint8 option, Output& out) {
    const bool requested =
        option == ComPortOption || option == BinaryOption || option == SuppressGoAheadOption;
    switch (command) {
    case DO:
        if (option == ComPortOption) {
            if (comPort_ == ComPort::Pending) {
                comPort_ = ComPort::Accepted;
            }
        } else if (!requested) {
            Append(out.reply, {IAC, WONT, option});
        }
        break;
    case DONT:
        if (option == ComPortOption) {
            comPort_ = ComPort::Refused;
        }
        break;
    case WILL:
        if (!requested || option == ComPortOption) {
            Append(out.reply, {IAC, DONT, option});
        }
        break;
    default: // WONT
        break;
    }
}

void TelnetCodec::subnegotiation() {
    if (sub_.size() < 2 || quint8(sub_[0]) != ComPortOption) {
        return;
    }
    const quint8 command = quint8(sub_[1]);
    // Answers to the settings are recorded; notifications (line and modem state, flow
    // control) do not concern the program.
    if (command > ServerOffset && command <= ServerOffset + SetControl) {
        confirmed_.insert(command);
    }
}

} // namespace quellaton
