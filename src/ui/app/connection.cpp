#include "app/connection.h"

#include "app/messages.h"
#include "app/pictures.h"
#include "link/pump_wait.h"
#include "protocol/frames.h"

namespace quellaton {

namespace {
const char* const PortFailedMessage =
    "CONNECTION INTERRUPTED!\rPlease check data cables and reconnect.";
const char* const NoDeviceMessage =
    "UNABLE TO CONNECT TO DEVICE!\rPlease make sure the device ID is correct.";
const QString ConnectCaption = QStringLiteral("Connect");
const QString DisconnectCaption = QStringLiteral("Disconnect");
} // namespace

Connection::Connection(ProgramState& state, ShellWidgets& widgets, Confirmation& confirmation,
                       QWidget* window)
    : s_(state), w_(widgets), confirmation_(confirmation), window_(window) {
    TimerTable& t = s_.timers;
    connect(&t.Timer1, &QTimer::timeout, this, &Connection::Timer1Timer);
    connect(&t.intimer, &QTimer::timeout, this, &Connection::intimerTimer);
    connect(&t.sendTimer, &QTimer::timeout, this, &Connection::sendTimerTimer);
    connect(&t.Timer7, &QTimer::timeout, this, &Connection::Timer7Timer);
    connect(&t.Timer4, &QTimer::timeout, this, &Connection::Timer4Timer);
    connect(&t.chcon, &QTimer::timeout, this, &Connection::chconTimer);
    connect(&t.chcon112, &QTimer::timeout, this, &Connection::chcon112Timer);
    connect(&t.chcon188, &QTimer::timeout, this, &Connection::chcon188Timer);
    connect(&t.Timer6, &QTimer::timeout, this, &Connection::Timer6Timer);
    connect(&t.Timer13, &QTimer::timeout, this, &Connection::Timer13Timer);
    connect(&t.refurbish, &QTimer::timeout, this, &Connection::refurbishTimer);
    connect(&t.brocar1, &QTimer::timeout, this, &Connection::brocar1Timer);
    connect(&t.Timer22, &QTimer::timeout, this, &Connection::Timer22Timer);
    connect(&t.Timer21, &QTimer::timeout, this, &Connection::Timer21Timer);
    connect(&t.Timer20, &QTimer::timeout, this, &Connection::broadcastConfirmed);
    // A dropped network connection is known at once: the presence check need not wait for
    // its next round.
    connect(&s_.driver, &BlockingSerialDriver::stateChanged, this,
            [this](BlockingSerialDriver::DriverState st) {
                if (st == BlockingSerialDriver::DriverState::Broken && s_.driver.networkPort()) {
                    QTimer::singleShot(0, this, &Connection::brocar1Timer);
                }
            });
    connect(w_.Button3, &QPushButton::clicked, this, &Connection::Button3Click);

    w_.Image15->setPixmap(ConnectionPicture(false));
    showState();
}

// The button caption and the connection pane follow the state.
void Connection::setState(State state) {
    if (state_ != state) {
        state_ = state;
        showState();
        emit stateChanged(state);
    }
}

PortList Connection::listPorts() const {
    const PortSource source = s_.options.listSystemPorts ? PortSource(SystemPorts)
                                                         : PortSource([] { return PortList(); });
    return FillPortList(s_.options.extraPorts, source);
}

void Connection::FillPorts() {
    setPortList(listPorts());
}

void Connection::setPortList(const PortList& list) {
    s_.ports = list;
    const QSignalBlocker blocker(w_.RzComboBox1);
    w_.RzComboBox1->clear();
    w_.RzComboBox1->addItems(PortNames(list));
    w_.RzComboBox1->setCurrentIndex(LastItemIndex(list));
    if (!list.isEmpty()) {
        s_.PortNumbers = BuildPortNumbers(PortNames(list));
    }
}

int Connection::selectedPort() const {
    const int index = w_.RzComboBox1->currentIndex();
    return (index >= 0 && index < s_.ports.size() && index < s_.PortNumbers.size()) ? index : -1;
}

void Connection::showState() {
    // A broadcast connect shows as connected only once the user has chosen to proceed.
    const bool connected = state_ != State::Disconnected && state_ != State::BroadcastPending;
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
    if (s_.driver.opening()) {
        return; // a network port is still connecting for the click before
    }
    TimerTable::Start(s_.timers.Timer6);
    w_.Button3->setEnabled(false);
    if (state_ == State::Disconnected) {
        connectPort();
    } else {
        disconnectPort();
    }
}

void Connection::ForceDisconnect() {
    TimerTable::Start(s_.timers.Timer6);
    w_.Button3->setEnabled(false);
    disconnectPort();
}

void Connection::dropConnection() {
    // The supervision disconnects; it never toggles a connection that is already gone into a
    // new one.
    if (state_ != State::Disconnected) {
        ForceDisconnect();
    }
}

void Connection::connectPort() {
    BlockingSerialDriver& d = s_.driver;
    const int port = selectedPort();
    d.PortNumber = port >= 0 ? s_.PortNumbers[port] : 0;

    // Whatever was under way is abandoned.
    s_.flags.recall = false;
    s_.flags.searchActive = false;
    // A unit's image awaited by an earlier broadcast load belongs to that session only.
    s_.flags.loadFromDevice = false;
    s_.StagedTransfer.active = false;
    s_.StagedTransfer.count = 0;
    UnlockAreas(w_);

    if (d.PortOpen()) {
        d.ClosePort();
        PumpWait(100);
    }
    s_.sendSlots.clearAll();

    if (port >= 0) {
        d.PortLocation = s_.ports[port].location;
        d.OpenPort();
    }
    if (!d.PortOpen()) {
        d.PortNumber = 0;
        // The documented text, and on a line of its own the system's reason.
        QString message = QString::fromLatin1(PortFailedMessage);
        if (!d.openFailureReason().isEmpty()) {
            message += QLatin1Char('\r') + d.openFailureReason();
        }
        ShowMessage(window_, message);
        return;
    }
    d.StartWatcher();

    if (s_.DeviceAddress == BroadcastAddress) {
        w_.RzComboBox1->setEnabled(false);
        w_.RzComboBox6->setEnabled(false);
        s_.ActionConfirmed = false;
        setState(State::BroadcastPending);
        confirmation_.AskConfirmation(
            BroadcastConnectKind,
            QStringLiteral("Please make sure you have selected\rthe same preset on all devices."),
            QStringLiteral("Proceed"), false);
        return;
    }

    d.ReceiveText.clear();
    d.SendText = ImageRead(s_.DeviceAddress);
    d.WriteFrame();
    if (!d.PortOpen()) {
        return; // closed while the request was going out
    }
    TimerTable::Start(s_.timers.chcon);
    TimerTable::Start(s_.timers.chcon112);
    TimerTable::Start(s_.timers.chcon188);
    setState(State::AwaitingReply);
}

void Connection::disconnectPort() {
    BlockingSerialDriver& d = s_.driver;
    TimerTable& t = s_.timers;
    w_.RzGroupBox16->hide();
    w_.RzGroupBox12->show();
    UnlockAreas(w_);
    w_.RzGroupBox4->setEnabled(true);
    // A transfer or the initial data panel may have locked the menus; a dropped connection
    // must not leave them locked for good.
    w_.fileMenu->setEnabled(true);
    w_.helpMenu->setEnabled(true);
    w_.fileMenu->menuAction()->setEnabled(true);
    w_.helpMenu->menuAction()->setEnabled(true);

    t.Timer1.stop();
    t.intimer.stop();
    t.sendTimer.stop();
    // A send in progress would restart the poll and the queue 300 ms later.
    t.Timer7.stop();
    t.Timer4.stop();
    s_.SendingSlot = 0;
    // The connect time-outs belong to the connection being dropped: left running, one of them
    // would later press the button again and connect anew.
    t.chcon.stop();
    t.chcon112.stop();
    t.chcon188.stop();
    // So do the transfers: without a port they cannot finish, and their time-outs would
    // later restart the poll or show "overtime" over a new connection.
    for (QTimer* transfer : {&t.Timer22, &t.Timer3, &t.Timer8, &t.Timer9, &t.Timer10, &t.Timer12,
                             &t.Timer332, &t.Timer333, &t.Timer342, &t.trunon1}) {
        transfer->stop();
    }
    s_.flags.recall = false;
    s_.flags.backup = false;
    s_.flags.backupCount = 0;
    s_.flags.saveUnitImage = false;
    s_.flags.loadFromDevice = false;
    s_.flags.idChangePending = false;
    s_.flags.saveAwaited = false;
    d.SendText.clear();

    d.PortNumber = -1;
    PumpWait(50);
    d.ClosePort();
    // Unlocked only now: a reply handled during the pause above may have locked them.
    w_.RzComboBox6->setEnabled(true);
    w_.RzComboBox1->setEnabled(true);

    setState(State::Disconnected);
}

void Connection::bytesReceived() {
    s_.timers.chcon.stop();
    s_.timers.intimer.stop();
    if (state_ == State::AwaitingReply) {
        setState(State::ReceivingImage);
    }
}

void Connection::imageApplied() {
    s_.timers.chcon112.stop();
    if (state_ == State::AwaitingReply || state_ == State::ReceivingImage) {
        setState(State::AwaitingNames);
    }
}

void Connection::namesReceived() {
    s_.timers.chcon188.stop();
    if (state_ != State::Disconnected && state_ != State::BroadcastPending &&
        state_ != State::Broadcasting) {
        setState(State::Connected);
    }
}

void Connection::TimeoutEnding(QTimer& timer) {
    timer.stop();
    w_.RzGroupBox1->hide();
    SetAreasEnabled(w_, true);
    TimerTable::Start(s_.timers.Timer1);
    TimerTable::Start(s_.timers.sendTimer);
    ShowMessage(window_, QStringLiteral("overtime，try again."));
}

void Connection::Timer1Timer() {
    BlockingSerialDriver& d = s_.driver;
    if (!d.PortOpen() || state_ == State::Disconnected) {
        return;
    }
    d.ReceiveText.clear();
    d.SendText = StatusPoll(s_.DeviceAddress);
    d.WriteFrame();
    if (state_ != State::Disconnected) {
        TimerTable::Start(s_.timers.intimer);
    }
}

void Connection::intimerTimer() {
    s_.timers.intimer.stop();
    if (s_.DeviceAddress != BroadcastAddress && state_ != State::Disconnected) {
        dropConnection();
        ShowMessage(window_, QString::fromLatin1(PortFailedMessage));
    }
}

void Connection::sendTimerTimer() {
    if (!s_.driver.PortOpen() || state_ == State::Disconnected) {
        return;
    }
    const int slot = s_.sendSlots.nextPending();
    if (slot == 0) {
        return;
    }
    s_.SendingSlot = slot;
    s_.sendSlots.clearPending(slot);
    s_.timers.sendTimer.stop();
    s_.timers.Timer1.stop();
    s_.timers.intimer.stop();
    TimerTable::Start(s_.timers.Timer7);
}

void Connection::Timer7Timer() {
    BlockingSerialDriver& d = s_.driver;
    if (!d.PortOpen() || state_ == State::Disconnected) {
        return;
    }
    s_.timers.Timer7.stop();
    d.SendText = s_.sendSlots.frameToSend(s_.SendingSlot, s_.DeviceAddress);
    d.WriteFrame();
    if (state_ == State::Disconnected) {
        return; // disconnected while the frame was going out
    }
    if (s_.DeviceAddress == BroadcastAddress) {
        // No unit answers a broadcast, so each frame goes out twice.
        d.SendText = s_.sendSlots.frameToSend(s_.SendingSlot, s_.DeviceAddress);
        d.WriteFrame();
    }
    if (s_.StagedTransfer.active) {
        s_.StagedTransfer.count += 1;
        w_.RzProgressBar1->setValue(s_.StagedTransfer.count * 16);
        if (s_.StagedTransfer.count >= 6) {
            s_.StagedTransfer.active = false;
            UnlockAreas(w_);
        }
    }
    s_.SendingSlot = 0;
    TimerTable::Start(s_.timers.Timer4);
}

void Connection::Timer4Timer() {
    TimerTable::Start(s_.timers.Timer1);
    TimerTable::Start(s_.timers.sendTimer);
}

void Connection::chconTimer() {
    s_.timers.chcon.stop();
    s_.timers.chcon112.stop();
    s_.timers.chcon188.stop();
    dropConnection();
    ShowMessage(window_, QString::fromLatin1(NoDeviceMessage));
}

void Connection::chcon112Timer() {
    s_.timers.chcon112.stop();
    s_.timers.chcon188.stop();
    dropConnection();
    ShowMessage(window_, QString::fromLatin1(NoDeviceMessage));
}

void Connection::chcon188Timer() {
    s_.timers.chcon188.stop();
    dropConnection();
    ShowMessage(window_, QString::fromLatin1(NoDeviceMessage));
}

void Connection::Timer6Timer() {
    s_.timers.Timer6.stop();
    w_.Button3->setEnabled(true);
}

void Connection::Timer13Timer() {
    const bool open = s_.driver.PortOpen();
    if (w_.Image15->property("portOpen").toBool() != open || w_.Image15->pixmap().isNull()) {
        w_.Image15->setPixmap(ConnectionPicture(open));
        w_.Image15->setProperty("portOpen", open);
    }
}

void Connection::refurbishTimer() {
    // A device search holds its own copy of the list while it runs.
    if (s_.driver.PortOpen() || s_.flags.searchActive) {
        return;
    }
    const PortList scratch = listPorts();
    if (PortListDiffers(s_.ports, scratch)) {
        setPortList(scratch);
    }
}

bool Connection::portVanished() const {
    // A network port is always listed; it has gone when its connection has dropped.
    if (s_.driver.networkPort() && s_.driver.state() == BlockingSerialDriver::DriverState::Broken) {
        return true;
    }
    return !PortStillListed(listPorts(), w_.RzComboBox1->currentText());
}

void Connection::brocar1Timer() {
    // A device search also holds ports open; only a connection is dropped here.
    if (!s_.driver.PortOpen() || state_ == State::Disconnected) {
        return;
    }
    if (portVanished()) {
        dropConnection();
        ShowMessage(window_, QString::fromLatin1(NoDeviceMessage));
    }
}

void Connection::Timer22Timer() {
    s_.flags.recall = false;
    s_.timers.Timer3.stop();
    TimeoutEnding(s_.timers.Timer22);
}

void Connection::Timer21Timer() {
    ForceDisconnect();
}

void Connection::broadcastConfirmed() {
    if (state_ == State::BroadcastPending) {
        setState(State::Broadcasting);
    }
}

} // namespace quellaton
