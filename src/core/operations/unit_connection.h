// Connecting to one unit (or to every unit on the line, in broadcast mode) and keeping the
// connection supervised.
//
// Connecting opens the port and asks the unit for its parameter image; the image must begin to
// arrive within 800 ms, be complete within 1.5 s and be followed by the preset names within
// 2.5 s of the request, or the connection is dropped. Then the live writer polls the unit and
// sends the edits. The connection is dropped when the poll goes unanswered (except in broadcast
// mode, where nobody answers) or the open port disappears. In broadcast mode nothing is asked:
// the user must first confirm that every unit holds the same preset.
//
// It also handles the replies no operation awaits: status and system reports go into the model,
// an image is shown and followed by a request for the names, and the names start the live
// writer.
#pragma once

#include "link/port_list.h"
#include "model/unit_model.h"
#include "operations/live_writer.h"
#include "operations/unit_link.h"

#include <QObject>
#include <QTimer>
#include <functional>

namespace quellaton {

class UnitConnection : public QObject {
    Q_OBJECT
public:
    enum class State {
        Disconnected,
        Opening,          // a network port is connecting, or a previous port is being closed
        AwaitingReply,    // image requested, nothing received yet
        ReceivingImage,   // bytes arrive, the image is not complete
        AwaitingNames,    // image shown, name table requested
        Connected,        // names received, polling and sending
        BroadcastPending, // port open for all units, waiting for the user's confirmation
        Broadcasting,     // confirmed: all units are driven at once
        Disconnecting,    // the port is being closed
    };
    Q_ENUM(State)

    // Why a connection ended or did not come about.
    enum class Failure {
        None,            // the user disconnected
        PortUnavailable, // the port could not be opened (openFailureReason() says why)
        NoUnit,          // no reply, no image or no names in time
        LinkInterrupted, // the poll went unanswered
        PortVanished,    // the open port is no longer there
    };
    Q_ENUM(Failure)

    UnitConnection(UnitLink& link, UnitModel& model, LiveWriter& writer, QObject* parent = nullptr);

    State state() const { return state_; }
    // True from the moment the request went out until the disconnect: what the window shows
    // as connected (a broadcast connect only once it is confirmed).
    bool shownConnected() const;
    // The port connected to (or being connected to).
    const PortEntry& port() const { return port_; }
    QString openFailureReason() const { return openFailure_; }

    // The ports the system lists now, for the presence check.
    void setPortLister(std::function<PortList()> lister) { lister_ = std::move(lister); }

    // Connects to the unit addressed on `port` (every unit, in broadcast mode). A port still
    // open is closed first. Does nothing while a connect or disconnect is under way.
    void connectTo(const PortEntry& port);
    // The user confirmed a broadcast connect.
    void confirmBroadcast();
    // Ends the connection (whatever its state); `reason` is reported with disconnected().
    void disconnectLink(Failure reason = Failure::None);

signals:
    void stateChanged(quellaton::UnitConnection::State state);
    // A connect is about to begin (whatever ran before is to be abandoned).
    void connecting();
    // The port is open in broadcast mode: the user is to confirm, then confirmBroadcast().
    void broadcastConfirmationNeeded();
    // A received image has been shown (the port and device lists stay as they are from now).
    void imageShown();
    // The connection ended, or the connect failed; emitted once the port is closed (a
    // disconnect closes it at once).
    void disconnected(quellaton::UnitConnection::Failure reason);

private:
    void setState(State state);
    void openPort();
    void portOpened(bool ok);
    void requestImage();
    void bytesReceived();
    void unclaimedReply(const Reply& reply);
    void imageReceived(const QByteArray& text);
    void namesReceived(const PresetNames& names);
    void pollUnanswered();
    void checkPresence();
    // The unit did not answer the connect in time.
    void connectTimedOut();
    // A connect or connection is under way (neither ended nor ending).
    bool live() const;

    UnitLink& link_;
    UnitModel& model_;
    LiveWriter& writer_;
    State state_ = State::Disconnected;
    PortEntry port_;
    QString openFailure_;
    std::function<PortList()> lister_;
    QTimer firstByte_;
    QTimer image_;
    QTimer names_;
    QTimer presence_;
    QTimer reopen_;
};

} // namespace quellaton
