// Connecting to one unit (or all units in broadcast mode) and supervising the link: the port
// list and its refresh, the connect handshake with its three time-outs, the keep-alive poll,
// the port presence check, the connection indicator, and the send queue that writes the
// pending blocks one at a time.
#pragma once

#include "app/confirmation.h"
#include "app/program_state.h"
#include "app/shell_widgets.h"

namespace quellaton {

class Connection : public QObject {
    Q_OBJECT
public:
    enum class State {
        Disconnected,
        AwaitingReply,    // image requested, nothing received yet
        ReceivingImage,   // bytes arrive, the image is not complete
        AwaitingNames,    // image applied, name table requested
        Connected,        // names received, polling and sending
        BroadcastPending, // port open for all units, waiting for the user's choice
        Broadcasting      // the user chose to proceed: all units are driven at once
    };
    Q_ENUM(State)

    Connection(ProgramState& state, ShellWidgets& widgets, Confirmation& confirmation,
               QWidget* window);

    State state() const { return state_; }

    // Fills the port list at start: the system's ports and the given paths, last selected.
    void FillPorts();

    // "Connect"/"Disconnect"; also called by the supervision timers to disconnect.
    void Button3Click();
    // Disconnects whatever state the connection is in (also when already disconnected).
    void ForceDisconnect();

    // What the reply parser reports.
    void bytesReceived();
    void imageApplied();
    void namesReceived();

    // The ending shared by the time-outs of long transfers: unlock the window, resume polling
    // and sending, and say "overtime，try again.".
    void TimeoutEnding(QTimer& timer);

signals:
    void stateChanged(quellaton::Connection::State state);

private:
    void setState(State state);
    void connectPort();
    void disconnectPort();
    PortList listPorts() const;
    void setPortList(const PortList& list);
    int selectedPort() const;
    void showState();
    // Disconnects a connection that the supervision found lost.
    void dropConnection();
    // The open port is no longer there: not listed by the system, or a dropped connection.
    bool portVanished() const;

    void Timer1Timer();
    void intimerTimer();
    void sendTimerTimer();
    void Timer7Timer();
    void Timer4Timer();
    void chconTimer();
    void chcon112Timer();
    void chcon188Timer();
    void Timer6Timer();
    void Timer13Timer();
    void refurbishTimer();
    void brocar1Timer();
    void Timer22Timer();
    void Timer21Timer();
    void broadcastConfirmed();

    ProgramState& s_;
    ShellWidgets& w_;
    Confirmation& confirmation_;
    QWidget* window_;
    State state_ = State::Disconnected;
};

} // namespace quellaton
