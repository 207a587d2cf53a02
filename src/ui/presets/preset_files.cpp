#include "presets/preset_files.h"

#include "app/image_apply.h"
#include "app/messages.h"
#include "files/preset_file_format.h"
#include "link/pump_wait.h"
#include "protocol/frames.h"
#include "transfers/line_steps.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace quellaton {

namespace {

QString RunFileDialog(QWidget* parent, const PresetFileKind& kind, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent);
    dialog.setObjectName(mode == QFileDialog::AcceptSave ? QStringLiteral("presetSaveDialog")
                                                         : QStringLiteral("presetOpenDialog"));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    dialog.setNameFilter(kind.filter);
    dialog.setDefaultSuffix(kind.suffix);
    dialog.selectFile(kind.defaultName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace

const PresetFileKind& SinglePresetFile() {
    static const PresetFileKind kind{QStringLiteral("quellatonfile(*.sps)"),
                                     QStringLiteral("mystyle"), QStringLiteral("sps")};
    return kind;
}

const PresetFileKind& AllPresetsFile() {
    static const PresetFileKind kind{QStringLiteral("quellatonfile(*.fps)"),
                                     QStringLiteral("myallstyle"), QStringLiteral("fps")};
    return kind;
}

FileChooser::FileChooser() : open(&FileChooser::StandardOpen), save(&FileChooser::StandardSave) {}

QString FileChooser::StandardOpen(QWidget* parent, const PresetFileKind& kind) {
    return RunFileDialog(parent, kind, QFileDialog::AcceptOpen);
}

QString FileChooser::StandardSave(QWidget* parent, const PresetFileKind& kind) {
    return RunFileDialog(parent, kind, QFileDialog::AcceptSave);
}

QString WithDefaultSuffix(const QString& path, const QString& suffix) {
    if (path.isEmpty() || suffix.isEmpty() || !QFileInfo(path).suffix().isEmpty() ||
        path.endsWith(QLatin1Char('/')) || path.endsWith(QDir::separator())) {
        return path;
    }
    return path + QLatin1Char('.') + suffix;
}

void PauseLink(ProgramState& state) {
    TimerTable& t = state.timers;
    t.Timer1.stop();
    t.sendTimer.stop();
    t.intimer.stop();
    t.Timer4.stop();
    if (t.Timer7.isActive()) {
        t.Timer7.stop();
        if (state.SendingSlot > 0) {
            state.sendSlots.setPending(state.SendingSlot);
        }
        state.SendingSlot = 0;
    }
}

PresetFiles::PresetFiles(ProgramState& state, ShellWidgets& widgets, Confirmation& confirmation,
                         Connection& connection, FileChooser& chooser, QWidget* window)
    : s_(state), w_(widgets), confirmation_(confirmation), connection_(connection),
      chooser_(chooser), window_(window) {
    saveOneTimeout_.setObjectName(QStringLiteral("saveOneTimeout"));
    saveOneTimeout_.setSingleShot(true);
    saveOneTimeout_.setInterval(SaveOneTimeoutMs);

    TimerTable& t = s_.timers;
    // Any other transfer, or a dropped connection, ends the wait for a unit's image to save:
    // its time-out must not unlock the window or restart the poll in the middle of them.
    // (Connected before the workers, so it runs first.)
    for (QTimer* worker : {&t.Timer16, &t.Timer17, &t.Timer18, &t.Timer19, &t.Timer20}) {
        connect(worker, &QTimer::timeout, this, &PresetFiles::abandonSaveOne);
    }
    connect(&connection_, &Connection::stateChanged, this, [this](Connection::State state) {
        if (state == Connection::State::Disconnected) {
            abandonSaveOne();
        }
    });
    connect(&t.Timer15, &QTimer::timeout, this, &PresetFiles::Timer15Timer);
    connect(&t.Timer16, &QTimer::timeout, this, &PresetFiles::Timer16Timer);
    connect(&t.Timer17, &QTimer::timeout, this, &PresetFiles::Timer17Timer);
    connect(&t.Timer18, &QTimer::timeout, this, &PresetFiles::Timer18Timer);
    connect(&t.FSaveDialog3, &QTimer::timeout, this, &PresetFiles::FSaveDialog3Timer);
    connect(&t.FSaveDialog4, &QTimer::timeout, this, &PresetFiles::FSaveDialog4Timer);
    connect(&t.Timer8, &QTimer::timeout, this, &PresetFiles::Timer8Timer);
    connect(&t.Timer9, &QTimer::timeout, this, &PresetFiles::Timer9Timer);
    connect(&t.Timer10, &QTimer::timeout, this, &PresetFiles::Timer10Timer);
    connect(&t.Timer12, &QTimer::timeout, this, &PresetFiles::Timer12Timer);
    connect(&saveOneTimeout_, &QTimer::timeout, this, &PresetFiles::saveOneTimeoutTimer);

    connect(w_.Button6, &QPushButton::clicked, this, &PresetFiles::Button6Click);
    connect(w_.Button4, &QPushButton::clicked, this, &PresetFiles::Button4Click);
    connect(w_.Button7, &QPushButton::clicked, this, &PresetFiles::Button7Click);
    connect(w_.Button5, &QPushButton::clicked, this, &PresetFiles::Button5Click);
}

bool PresetFiles::connected() const {
    return s_.driver.PortOpen();
}

void PresetFiles::ask(int kind, const char* message) {
    if (!connected()) {
        return;
    }
    confirmation_.AskConfirmation(kind, QString::fromLatin1(message), QStringLiteral("Yes"), true);
}

void PresetFiles::Button6Click() {
    ask(SaveOnePresetKind, "Saving a Preset to PC.Do you want\r to proceed?");
}

void PresetFiles::Button4Click() {
    ask(SaveAllPresetsKind, "Saving all Presets to PC.Do you\rwant to proceed?");
}

void PresetFiles::Button7Click() {
    ask(LoadOnePresetKind,
        "Loading a Preset will replace the active\rPreset.Do you want to proceed?");
}

void PresetFiles::Button5Click() {
    ask(LoadAllPresetsKind, "Loading all Presets will overwrite all\rpresets already stored in "
                            "the unit.\rDo you want to proceed?");
}

QString PresetFiles::SaveFailedMessage(const QString& path, const QString& reason) {
    return QStringLiteral("The preset file could not be saved:\r%1\r%2\rNothing was written.")
        .arg(QDir::toNativeSeparators(path), reason);
}

void PresetFiles::saveLines(const PresetFileKind& kind, const QList<QByteArray>& lines) {
    const QString chosen = chooser_.save(window_, kind);
    if (chosen.isEmpty()) {
        return; // cancelled: nothing is written
    }
    const QString path = WithDefaultSuffix(chosen, kind.suffix);
    QString reason;
    if (!WritePresetFile(path, lines, &reason)) {
        ShowMessage(window_, SaveFailedMessage(path, reason));
    }
}

// Save this preset: read the unit's working set and offer it as a .sps file.
void PresetFiles::Timer15Timer() {
    TimerTable& t = s_.timers;
    BlockingSerialDriver& d = s_.driver;
    t.Timer15.stop();
    SetAreasEnabled(w_, false);
    PauseLink(s_);
    s_.flags.saveUnitImage = true;
    PumpWait(pacing::TransferSettleMs);

    s_.saveList.clear();
    d.ReceiveText.clear();
    d.SendText = ImageRead(s_.DeviceAddress);
    saveOneTimeout_.start();
    d.WriteFrame();
    PumpWait(pacing::TransferSettleMs);

    // The window is usable again while the reply is awaited.
    w_.RzGroupBox1->hide();
    SetAreasEnabled(w_, true);
}

void PresetFiles::abandonSaveOne() {
    saveOneTimeout_.stop();
    s_.flags.saveUnitImage = false;
}

void PresetFiles::saveOneTimeoutTimer() {
    if (!s_.flags.saveUnitImage) {
        return; // the image arrived just now
    }
    s_.flags.saveUnitImage = false;
    connection_.TimeoutEnding(saveOneTimeout_);
}

void PresetFiles::FSaveDialog3Timer() {
    s_.timers.FSaveDialog3.stop();
    saveOneTimeout_.stop();
    if (s_.saveList.isEmpty()) {
        return;
    }
    saveLines(SinglePresetFile(), s_.saveList);
}

// Save all presets: read the 20 slots one a tick and offer them as a .fps file.
void PresetFiles::Timer16Timer() {
    TimerTable& t = s_.timers;
    t.Timer16.stop();
    emit s_.closePanelRequested();
    PauseLink(s_);
    PumpWait(pacing::TransferSettleMs);
    s_.driver.ReceiveText.clear();

    requestCounter_ = 0;
    s_.flags.backupCount = 0;
    s_.flags.backup = true;
    ShowProgressBox(w_, TransferBoxLeft, TransferBoxTop);
    SetAreasEnabled(w_, false);
    s_.backupList.clear();
    TimerTable::Start(t.Timer8);
    TimerTable::Start(t.Timer9);
}

void PresetFiles::Timer8Timer() {
    requestCounter_ += 1;
    const int n = requestCounter_;
    BlockingSerialDriver& d = s_.driver;
    // What is left of the previous reply (a stray byte, a fragment) would make the sync rule
    // throw this slot's reply away with it.
    d.ReceiveText.clear();
    d.SendText = SlotRead(s_.DeviceAddress, n);
    d.WriteFrame();
    w_.RzProgressBar1->setValue(5 * n);
    if (n >= PresetSlotCount) {
        s_.timers.Timer8.stop();
    }
}

void PresetFiles::Timer9Timer() {
    // Replies that come after the time-out must not go on filling the abandoned store.
    s_.flags.backup = false;
    s_.flags.backupCount = 0;
    s_.timers.Timer8.stop();
    connection_.TimeoutEnding(s_.timers.Timer9);
}

void PresetFiles::FSaveDialog4Timer() {
    s_.timers.FSaveDialog4.stop();
    if (s_.backupList.size() != AllPresetsLineCount) {
        return;
    }
    saveLines(AllPresetsFile(), s_.backupList);
}

// Load a preset: write a .sps file's image to the unit and show it.
void PresetFiles::Timer17Timer() {
    TimerTable& t = s_.timers;
    BlockingSerialDriver& d = s_.driver;
    t.Timer17.stop();
    emit s_.closePanelRequested();

    const QString path = chooser_.open(window_, SinglePresetFile());
    if (path.isEmpty()) {
        return;
    }
    const SinglePresetText loaded = LoadSinglePresetFile(path);
    if (loaded.status != PresetFileStatus::Ok) {
        ShowMessage(window_, QString::fromLatin1(FileDamagedMessage));
        TimerTable::Start(t.Timer1);
        return;
    }

    ShowProgressBox(w_, TransferBoxLeft, TransferBoxTop);
    SetAreasEnabled(w_, false);
    progressCounter_ = 0;
    TimerTable::Start(t.Timer12);
    PauseLink(s_);

    s_.StoredImage = loaded.text;
    s_.ImageSlotCounter = ImageWriteCounter;
    WriteImageFrames(d, s_.DeviceAddress, ImageWriteCounter, s_.StoredImage);

    ApplyImage(s_, s_.StoredImage);
    d.ReceiveText.clear();
    PumpWait(pacing::LoadOneSettleMs);

    TimerTable::Start(t.Timer1);
    TimerTable::Start(t.sendTimer);
    w_.RzGroupBox1->hide();
    SetAreasEnabled(w_, true);
}

void PresetFiles::Timer12Timer() {
    progressCounter_ += 1;
    w_.RzProgressBar1->setValue(10 * progressCounter_);
    if (progressCounter_ >= 10) {
        s_.timers.Timer12.stop();
    }
}

// Load all presets: write a .fps file's 20 lines into the unit's slots, one a second.
void PresetFiles::Timer18Timer() {
    TimerTable& t = s_.timers;
    t.Timer18.stop();
    emit s_.closePanelRequested();
    s_.backupList.clear();

    const QString path = chooser_.open(window_, AllPresetsFile());
    const AllPresetsText loaded = path.isEmpty() ? AllPresetsText{} : LoadAllPresetsFile(path);
    if (loaded.status == PresetFileStatus::Empty) {
        TimerTable::Start(t.Timer1); // cancelled or an empty file: no message
        return;
    }
    if (loaded.status == PresetFileStatus::Damaged) {
        ShowMessage(window_, QString::fromLatin1(FileDamagedMessage));
        TimerTable::Start(t.Timer1);
        return;
    }

    s_.backupList = loaded.lines;
    ShowProgressBox(w_, TransferBoxLeft, TransferBoxTop);
    SetAreasEnabled(w_, false);
    t.Timer1.stop();
    t.intimer.stop();
    s_.ImageSlotCounter = 0;
    TimerTable::Start(t.Timer10);
}

void PresetFiles::Timer10Timer() {
    TimerTable& t = s_.timers;
    BlockingSerialDriver& d = s_.driver;
    t.Timer10.stop();
    // Nothing else may go out between a slot's head and its rest; the name table's reply
    // restarts the send queue at the end.
    PauseLink(s_);
    if (s_.ImageSlotCounter < 0 || s_.ImageSlotCounter >= s_.backupList.size()) {
        // The store was replaced meanwhile: nothing left to write.
        s_.ImageSlotCounter = 0;
        TimerTable::Start(t.Timer1);
        w_.RzGroupBox1->hide();
        SetAreasEnabled(w_, true);
        return;
    }
    s_.StoredImage = s_.backupList.at(s_.ImageSlotCounter);
    s_.ImageSlotCounter += 1;
    const int n = s_.ImageSlotCounter;

    WriteImageFrames(d, s_.DeviceAddress, n, s_.StoredImage);
    // The next slot a tick after this one has left the line.
    if (n < PresetSlotCount && d.PortOpen()) {
        TimerTable::Start(t.Timer10);
    }
    w_.RzProgressBar1->setValue(5 * n);

    if (n >= PresetSlotCount) {
        s_.ImageSlotCounter = 0;
        PumpWait(pacing::RestoreEndPauseMs);
        d.ReceiveText.clear();
        d.SendText = NameTableRead(s_.DeviceAddress);
        d.WriteFrame();
        PumpWait(pacing::NameTableAfterRestorePauseMs);
        TimerTable::Start(t.Timer1);
        w_.RzGroupBox1->hide();
        SetAreasEnabled(w_, true);
    }
}

} // namespace quellaton
