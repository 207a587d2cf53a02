// The connection controls of the main window: the port list and its refresh, the
// "Connect"/"Disconnect" button with its two-second lock, the connection picture, the status
// pane, the messages of a failed or lost connection, and the confirmation a broadcast connect
// asks for. The connection itself is the core's (UnitConnection); this shows it and drives it.
#pragma once

#include "common/dialogs.h"
#include "common/shell_widgets.h"
#include "link/port_list.h"
#include "operations/unit_session.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace quellaton {

struct AppOptions {
    QStringList extraPorts;      // --port PATH, for devices the system does not list
    bool listSystemPorts = true; // off in tests, so only the given paths are listed
    QString presetFile;          // a .sps to open once the start-up search has ended
};

class ConnectionPanel : public QObject {
    Q_OBJECT
public:
    using State = UnitConnection::State;

    ConnectionPanel(UnitSession& session, const AppOptions& options, ShellWidgets& widgets,
                    ConfirmationDialog& confirmation, QWidget* window);

    State state() const { return session_.connection().state(); }
    const PortList& ports() const { return ports_; }
    // The ports as the list shows them now, filled anew from the system.
    PortList listPorts() const;

    // Fills the port list: the system's ports and the given paths, last selected.
    void FillPorts();

    // "Connect"/"Disconnect".
    void connectClicked();
    // Asked before a connect replaces the window's image; false keeps it disconnected.
    void setConnectGuard(std::function<bool()> guard) { connectGuard_ = std::move(guard); }
    // Disconnects whatever state the connection is in.
    void ForceDisconnect();

    // The ending shared by the time-outs of long transfers: unlock the window, resume polling
    // and sending, and say "overtime，try again.".
    void TimeoutEnding();

signals:
    // The user confirmed a broadcast connect: the initial data load begins.
    void broadcastConfirmed();

private:
    void setPortList(const PortList& list);
    int selectedPort() const;
    void showState();
    void stateChanged(State state);
    void disconnected(UnitConnection::Failure reason);
    void askBroadcast();
    void unlockConnectButton();
    void showIndicator();
    void refreshPorts();

    UnitSession& session_;
    AppOptions options_;
    ShellWidgets& w_;
    ConfirmationDialog& confirmation_;
    QWidget* window_;
    PortList ports_;
    QTimer connectButtonLock;
    QTimer indicatorTimer;
    QTimer portRefresh;
    std::function<bool()> connectGuard_;
};

} // namespace quellaton
