#include "app/connection.h"

#include "app/messages.h"
#include "app/pictures.h"

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

Connection::Connection(UnitSession& session, const AppOptions& options, ShellWidgets& widgets,
                       TForm5& confirmation, QWidget* window)
    : QObject(window), session_(session), options_(options), w_(widgets),
      confirmation_(confirmation), window_(window) {
    SetUpTimer(Timer6, this, "Timer6", pacing::ConnectButtonLockMs, true);
    SetUpTimer(Timer13, this, "Timer13", pacing::IndicatorPeriodMs, false);
    SetUpTimer(refurbish, this, "refurbish", pacing::PortRefreshMs, false);
    connect(&Timer6, &QTimer::timeout, this, &Connection::Timer6Timer);
    connect(&Timer13, &QTimer::timeout, this, &Connection::Timer13Timer);
    connect(&refurbish, &QTimer::timeout, this, &Connection::refurbishTimer);
    Timer13.start();
    refurbish.start();

    UnitConnection& connection = session_.connection();
    connection.setPortLister([this] { return listPorts(); });
    connect(&connection, &UnitConnection::stateChanged, this, &Connection::stateChanged);
    connect(&connection, &UnitConnection::disconnected, this, &Connection::disconnected);
    connect(&connection, &UnitConnection::broadcastConfirmationNeeded, this,
            &Connection::askBroadcast);
    // The port and device lists stay as they are while a unit's image is shown.
    connect(&session_.model(), &UnitModel::imageReplaced, this, [this] {
        if (state() != State::Disconnected && state() != State::Opening) {
            w_.RzComboBox6->setEnabled(false);
            w_.RzComboBox1->setEnabled(false);
        }
    });
    connect(w_.Button3, &QPushButton::clicked, this, &Connection::Button3Click);

    w_.Image15->setPixmap(ConnectionPicture(false));
    showState();
}

PortList Connection::listPorts() const {
    const PortSource source =
        options_.listSystemPorts ? PortSource(SystemPorts) : PortSource([] { return PortList(); });
    return FillPortList(options_.extraPorts, source);
}

void Connection::FillPorts() {
    setPortList(listPorts());
}

void Connection::setPortList(const PortList& list) {
    ports_ = list;
    const QSignalBlocker blocker(w_.RzComboBox1);
    w_.RzComboBox1->clear();
    w_.RzComboBox1->addItems(PortNames(list));
    w_.RzComboBox1->setCurrentIndex(LastItemIndex(list));
}

int Connection::selectedPort() const {
    const int index = w_.RzComboBox1->currentIndex();
    return index >= 0 && index < ports_.size() ? index : -1;
}

// The button caption and the connection pane follow the state.
void Connection::showState() {
    const bool connected = session_.connection().shownConnected();
    w_.Button3->setText(connected ? DisconnectCaption : ConnectCaption);
    QPalette palette = w_.RzStatusPane2->palette();
    if (connected) {
        w_.RzStatusPane2->setText(QStringLiteral("Connected ") + w_.RzComboBox1->currentText());
        palette.setColor(QPalette::WindowText, QColor(0, 128, 0));
    } else {
        w_.RzStatusPane2->setText(QStringLiteral("Disconnected"));
        palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    }
    w_.RzStatusPane2->setPalette(palette);
}

void Connection::Button3Click() {
    if (state() == State::Opening || state() == State::Disconnecting) {
        return; // a port is still opening or closing for the click before
    }
    Timer6.start();
    w_.Button3->setEnabled(false);
    if (state() != State::Disconnected) {
        session_.connection().disconnectLink();
        return;
    }
    // Whatever was under way is abandoned (the session ends its operations).
    UnlockAreas(w_);
    const int port = selectedPort();
    session_.connection().connectTo(port >= 0 ? ports_[port] : PortEntry{});
}

void Connection::ForceDisconnect() {
    Timer6.start();
    w_.Button3->setEnabled(false);
    if (state() == State::Disconnected) {
        // Nothing to close; the window is put back as a disconnect leaves it all the same.
        stateChanged(State::Disconnecting);
        disconnected(UnitConnection::Failure::None);
        return;
    }
    session_.connection().disconnectLink();
}

void Connection::stateChanged(State state) {
    showState();
    if (state == State::Disconnecting) {
        w_.RzGroupBox16->hide();
        w_.RzGroupBox12->show();
        UnlockAreas(w_);
        w_.RzGroupBox4->setEnabled(true);
        // A transfer or the initial data panel may have locked the menus; a dropped
        // connection must not leave them locked for good.
        w_.fileMenu->setEnabled(true);
        w_.helpMenu->setEnabled(true);
        w_.fileMenu->menuAction()->setEnabled(true);
        w_.helpMenu->menuAction()->setEnabled(true);
    }
}

void Connection::disconnected(UnitConnection::Failure reason) {
    // Unlocked only now: a reply handled while the port closed may have locked them.
    w_.RzComboBox6->setEnabled(true);
    w_.RzComboBox1->setEnabled(true);
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

void Connection::askBroadcast() {
    w_.RzComboBox1->setEnabled(false);
    w_.RzComboBox6->setEnabled(false);
    const TForm5::Answer answer = confirmation_.ask(
        QStringLiteral("Please make sure you have selected\rthe same preset on all devices."),
        QStringLiteral("Proceed"), false);
    if (state() != State::BroadcastPending) {
        return; // the connection ended while the question was open
    }
    if (answer == TForm5::Answer::First) {
        session_.connection().confirmBroadcast();
        showState();
        emit broadcastConfirmed();
    } else {
        ForceDisconnect();
    }
}

void Connection::TimeoutEnding() {
    w_.RzGroupBox1->hide();
    SetAreasEnabled(w_, true);
    ShowMessage(window_, QStringLiteral("overtime，try again."));
}

void Connection::Timer6Timer() {
    Timer6.stop();
    w_.Button3->setEnabled(true);
}

void Connection::Timer13Timer() {
    const bool open = session_.link().portOpen();
    if (w_.Image15->property("portOpen").toBool() != open || w_.Image15->pixmap().isNull()) {
        w_.Image15->setPixmap(ConnectionPicture(open));
        w_.Image15->setProperty("portOpen", open);
    }
}

void Connection::refurbishTimer() {
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
