#include "app/initial_data_load.h"

#include "app/image_apply.h"
#include "app/key_filter.h"
#include "app/messages.h"
#include "files/preset_file_format.h"
#include "link/pump_wait.h"
#include "operations/pacing.h"
#include "protocol/frames.h"
#include "transfers/line_steps.h"

namespace quellaton {

namespace {
constexpr int PanelLeft = 208;
constexpr int PanelTop = 448;
constexpr int ProgressTicks = 20;
} // namespace

InitialDataLoad::InitialDataLoad(ProgramState& state, ShellWidgets& widgets, Connection& connection,
                                 FileChooser& chooser, QWidget* window)
    : s_(state), w_(widgets), connection_(connection), chooser_(chooser), window_(window) {
    TimerTable& t = s_.timers;
    connect(&t.Timer20, &QTimer::timeout, this, &InitialDataLoad::Timer20Timer);
    connect(&t.trunon1, &QTimer::timeout, this, &InitialDataLoad::trunon1Timer);
    connect(&t.Timer332, &QTimer::timeout, this, &InitialDataLoad::Timer332Timer);
    connect(&t.Timer342, &QTimer::timeout, this, &InitialDataLoad::Timer342Timer);
    connect(&t.Timer333, &QTimer::timeout, this, &InitialDataLoad::Timer333Timer);

    connect(w_.SpeedButton3, &QToolButton::clicked, this, &InitialDataLoad::SpeedButton3Click);
    connect(w_.Button10, &QPushButton::clicked, this, &InitialDataLoad::Button10Click);
    connect(w_.Button11, &QPushButton::clicked, this, &InitialDataLoad::Button11Click);
    new KeyFilter(w_.RzEdit3, QString::fromLatin1(KeyFilter::Digits), [this] { Button10Click(); });
}

void InitialDataLoad::Timer20Timer() {
    s_.timers.Timer20.stop();
    SetAreasEnabled(w_, false);
    w_.RzGroupBox16->move(PanelLeft, PanelTop);
    w_.RzGroupBox16->show();
    w_.RzGroupBox16->raise();
    w_.RzGroupBox12->hide();
}

void InitialDataLoad::SpeedButton3Click() {
    connection_.ForceDisconnect();
}

void InitialDataLoad::showProgress() {
    w_.RzGroupBox16->hide();
    w_.RzGroupBox12->show();
    ShowProgressBox(w_, TransferBoxLeft, TransferBoxTop);
    progressCount_ = 0;
    progressDone_ = false;
}

void InitialDataLoad::Button10Click() {
    bool ok = false;
    const int id = w_.RzEdit3->text().trimmed().toInt(&ok, 10);
    if (!ok || id < 1 || id > 255) {
        w_.RzEdit3->setText(QString::number(s_.SourceAddress + 1));
        ShowMessage(window_, QStringLiteral("Please input 1~255 number."));
        return;
    }
    showProgress();
    TimerTable::Start(s_.timers.Timer332);
    TimerTable::Start(s_.timers.Timer333);
    s_.flags.loadFromDevice = true;
    s_.SourceAddress = id - 1;

    BlockingSerialDriver& d = s_.driver;
    d.ReceiveText.clear();
    d.SendText = ImageRead(s_.SourceAddress);
    d.WriteFrame();
}

void InitialDataLoad::Button11Click() {
    if (!s_.driver.PortOpen()) {
        return;
    }
    TimerTable& t = s_.timers;
    t.Timer1.stop();
    t.sendTimer.stop();
    t.intimer.stop();
    s_.StoredImage.clear();

    const QString path = chooser_.open(window_, SinglePresetFile());
    if (path.isEmpty()) {
        return;
    }
    const SinglePresetText loaded = LoadSinglePresetFile(path);
    if (loaded.status == PresetFileStatus::Empty) {
        return;
    }
    if (loaded.status == PresetFileStatus::Damaged) {
        ShowMessage(window_, QString::fromLatin1(FileDamagedMessage));
        return;
    }
    if (distributing_) {
        return;
    }
    s_.StoredImage = loaded.text;

    showProgress();
    TimerTable::Start(t.Timer342);
    BroadcastImage(false);
}

void InitialDataLoad::trunon1Timer() {
    s_.timers.trunon1.stop();
    s_.timers.Timer332.stop();
    if (distributing_) {
        // A source unit answered late while a file is already being distributed: the file
        // was the user's later choice, so that reply is dropped.
        return;
    }
    if (!s_.timers.Timer333.isActive() && !s_.timers.Timer342.isActive()) {
        // A late reply after "Please check the ID": the choice panel is up again. Show the
        // progress as for a prompt reply, so that the window unlocks when it has completed.
        showProgress();
        TimerTable::Start(s_.timers.Timer333);
    }
    BroadcastImage(true);
}

void InitialDataLoad::Timer332Timer() {
    TimerTable& t = s_.timers;
    w_.RzGroupBox1->hide();
    w_.RzGroupBox16->show();
    w_.RzGroupBox16->raise();
    w_.RzGroupBox12->hide();
    t.Timer332.stop();
    t.Timer333.stop();
    ShowMessage(window_, QStringLiteral("Please check the ID and try to connect again."));
}

void InitialDataLoad::BroadcastImage(bool fromUnit) {
    distributing_ = true;
    // Nothing else may go out between the head and the rest of an image write.
    PauseLink(s_);
    BlockingSerialDriver& d = s_.driver;
    // The image as it stands now: a late reply kept by the parser meanwhile must not change
    // what the second write sends or what is shown.
    const QByteArray image = s_.StoredImage;

    s_.ImageSlotCounter = ImageWriteCounter;
    DistributeImage(
        d, image, fromUnit ? pacing::BroadcastSecondRestPauseFromUnitMs : pacing::ImageHeadPauseMs);

    s_.StoredImage = image;
    d.ReceiveText = s_.StoredImage;
    ApplyImage(s_, s_.StoredImage);
    d.ReceiveText.clear();

    PumpWait(pacing::BroadcastEndPauseMs);
    TimerTable::Start(s_.timers.sendTimer);
    distributing_ = false;
    if (progressDone_) {
        finishLoad();
    }
}

void InitialDataLoad::progressTick(QTimer& timer) {
    progressCount_ += 1;
    w_.RzProgressBar1->setValue(5 * progressCount_);
    if (progressCount_ < ProgressTicks) {
        return;
    }
    timer.stop();
    progressDone_ = true;
    // The window is unlocked once the distribution has ended as well, so no edit can be made
    // before the image is shown (and overwritten by it).
    if (!distributing_) {
        finishLoad();
    }
}

void InitialDataLoad::finishLoad() {
    progressDone_ = false;
    w_.RzGroupBox16->hide();
    w_.RzGroupBox1->hide();
    w_.RzGroupBox12->show();
    SetAreasEnabled(w_, true);
}

void InitialDataLoad::Timer342Timer() {
    progressTick(s_.timers.Timer342);
}

void InitialDataLoad::Timer333Timer() {
    progressTick(s_.timers.Timer333);
}

} // namespace quellaton
