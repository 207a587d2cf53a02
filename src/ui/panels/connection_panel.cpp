#include "panels/connection_panel.h"

#include "common/messages.h"
#include "common/pictures.h"

#include "operations/timer_setup.h"

namespace quellaton {

namespace {
const char* const PortFailedMessage =
    "CONNECTION INTERRUPTED!\rPlease check data cables and reconnect.";
const char* const NoDeviceMessage =
    "UNABLE TO CONNECT TO DEVICE!\rPlease make sure the device ID is correct.";
const QString ConnectCaption = QStringLiteral("Connect");
const QString DisconnectCaption = QStringLiteral("Disconnect");

} // namespace

ConnectionPanel::ConnectionPanel(UnitSession& session, const AppOptions& options,
                                 ShellWidgets& widgets, ConfirmationDialog& confirmation,
                                 QWidget* window)
    : QObject(window), session_(session), options_(options), w_(widgets),
      confirmation_(confirmation), window_(window) {
    SetUpTimer(connectButtonLock, this, "connectButtonLock", pacing::ConnectButtonLockMs, true);
    SetUpTimer(indicatorTimer, this, "indicatorTimer", pacing::IndicatorPeriodMs, false);
    SetUpTimer(portRefresh, this, "portRefresh", pacing::PortRefreshMs, false);
    connect(&connectButtonLock, &QTimer::timeout, this, &ConnectionPanel::unlockConnectButton);
    connect(&indicatorTimer, &QTimer::timeout, this, &ConnectionPanel::showIndicator);
    connect(&portRefresh, &QTimer::timeout, this, &ConnectionPanel::refreshPorts);
    indicatorTimer.start();
    portRefresh.start();

    UnitConnection& connection = session_.connection();
    connection.setPortLister([this] { return listPorts(); });
    connect(&connection, &UnitConnection::stateChanged, this, &ConnectionPanel::stateChanged);
    connect(&connection, &UnitConnection::disconnected, this, &ConnectionPanel::disconnected);
    connect(&connection, &UnitConnection::broadcastConfirmationNeeded, this,
            &ConnectionPanel::askBroadcast);
    // The port and device lists stay as they are while a unit's image is shown.
    connect(&session_.model(), &UnitModel::imageReplaced, this, [this] {
        if (state() != State::Disconnected && state() != State::Opening) {
            w_.deviceIdList->setEnabled(false);
            w_.portList->setEnabled(false);
        }
    });
    connect(w_.connectButton, &QPushButton::clicked, this, &ConnectionPanel::connectClicked);

    w_.connectionIndicator->setPixmap(ConnectionPicture(false));
    showState();
}

PortList ConnectionPanel::listPorts() const {
    const PortSource source =
        options_.listSystemPorts ? PortSource(SystemPorts) : PortSource([] { return PortList(); });
    return FillPortList(options_.extraPorts, source);
}

void ConnectionPanel::FillPorts() {
    setPortList(listPorts());
}

void ConnectionPanel::setPortList(const PortList& list) {
    ports_ = list;
    const QSignalBlocker blocker(w_.portList);
    w_.portList->clear();
    w_.portList->addItems(PortNames(list));
    w_.portList->setCurrentIndex(LastItemIndex(list));
}

int ConnectionPanel::selectedPort() const {
    const int index = w_.portList->currentIndex();
    return index >= 0 && index < ports_.size() ? index : -1;
}

// The button caption and the connection pane follow the state.
void ConnectionPanel::showState() {
    const bool connected = session_.connection().shownConnected();
    w_.connectButton->setText(connected ? DisconnectCaption : ConnectCaption);
    QPalette palette = w_.connectionPane->palette();
    if (connected) {
        w_.connectionPane->setText(QStringLiteral("Connected ") + w_.portList->currentText());
        palette.setColor(QPalette::WindowText, QColor(0, 128, 0));
    } else {
        w_.connectionPane->setText(QStringLiteral("Disconnected"));
        palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    }
    w_.connectionPane->setPalette(palette);
}

void ConnectionPanel::connectClicked() {
    if (state() == State::Opening || state() == State::Disconnecting) {
        return; // a port is still opening or closing for the click before
    }
    if (state() == State::Disconnected && connectGuard_ && !connectGuard_()) {
        return;
    }
    connectButtonLock.start();
    w_.connectButton->setEnabled(false);
    if (state() != State::Disconnected) {
        session_.connection().disconnectLink();
        return;
    }
    // Whatever was under way is abandoned (the session ends its operations).
    UnlockAreas(w_);
    const int port = selectedPort();
    session_.connection().connectTo(port >= 0 ? ports_[port] : PortEntry{});
}

void ConnectionPanel::ForceDisconnect() {
    connectButtonLock.start();
    w_.connectButton->setEnabled(false);
    if (state() == State::Disconnected) {
        // Nothing to close; the window is put back as a disconnect leaves it all the same.
        stateChanged(State::Disconnecting);
        disconnected(UnitConnection::Failure::None);
        return;
    }
    session_.connection().disconnectLink();
}

void ConnectionPanel::stateChanged(State state) {
    showState();
    if (state == State::Disconnecting) {
        w_.initialDataPanel->hide();
        w_.editorArea->show();
        UnlockAreas(w_);
        w_.devicePresetGroup->setEnabled(true);
        // A transfer or the initial data panel may have locked the menus; a dropped
        // connection must not leave them locked for good.
        w_.fileMenu->setEnabled(true);
        w_.helpMenu->setEnabled(true);
        w_.fileMenu->menuAction()->setEnabled(true);
        w_.helpMenu->menuAction()->setEnabled(true);
    }
}

void ConnectionPanel::disconnected(UnitConnection::Failure reason) {
    // Unlocked only now: a reply handled while the port closed may have locked them.
    w_.deviceIdList->setEnabled(true);
    w_.portList->setEnabled(true);
    showState();
    switch (reason) {
    case UnitConnection::Failure::None:
        return;
    case UnitConnection::Failure::PortUnavailable: {
        // The documented text, and on a line of its own the system's reason.
        QString message = QString::fromLatin1(PortFailedMessage);
        const QString why = session_.connection().openFailureReason();
        if (!why.isEmpty()) {
            message += QLatin1Char('\r') + why;
        }
        ShowMessage(window_, message);
        return;
    }
    case UnitConnection::Failure::LinkInterrupted:
        ShowMessage(window_, QString::fromLatin1(PortFailedMessage));
        return;
    case UnitConnection::Failure::NoUnit:
    case UnitConnection::Failure::PortVanished:
        ShowMessage(window_, QString::fromLatin1(NoDeviceMessage));
        return;
    }
}

void ConnectionPanel::askBroadcast() {
    w_.portList->setEnabled(false);
    w_.deviceIdList->setEnabled(false);
    const ConfirmationDialog::Answer answer = confirmation_.ask(
        QStringLiteral("Please make sure you have selected\rthe same preset on all devices."),
        QStringLiteral("Proceed"), false);
    if (state() != State::BroadcastPending) {
        return; // the connection ended while the question was open
    }
    if (answer == ConfirmationDialog::Answer::First) {
        session_.connection().confirmBroadcast();
        showState();
        emit broadcastConfirmed();
    } else {
        ForceDisconnect();
    }
}

void ConnectionPanel::TimeoutEnding() {
    w_.progressPanel->hide();
    SetAreasEnabled(w_, true);
    ShowMessage(window_, QStringLiteral("overtime，try again."));
}

void ConnectionPanel::unlockConnectButton() {
    connectButtonLock.stop();
    w_.connectButton->setEnabled(true);
}

void ConnectionPanel::showIndicator() {
    const bool open = session_.link().portOpen();
    if (w_.connectionIndicator->property("portOpen").toBool() != open ||
        w_.connectionIndicator->pixmap().isNull()) {
        w_.connectionIndicator->setPixmap(ConnectionPicture(open));
        w_.connectionIndicator->setProperty("portOpen", open);
    }
}

void ConnectionPanel::refreshPorts() {
    // A device search holds its own copy of the list while it runs.
    if (session_.link().portOpen() || session_.searching()) {
        return;
    }
    const PortList scratch = listPorts();
    if (PortListDiffers(ports_, scratch)) {
        setPortList(scratch);
    }
}

} // namespace quellaton
