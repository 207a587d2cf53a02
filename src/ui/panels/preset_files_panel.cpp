#include "panels/preset_files_panel.h"

#include "common/messages.h"
#include "files/preset_file_format.h"

#include <QDir>
#include <QTimer>

namespace quellaton {

PresetFilesPanel::PresetFilesPanel(UnitSession& session, ShellWidgets& widgets,
                                   ConfirmationDialog& confirmation, ConnectionPanel& connection,
                                   WaySelection& selection, FileChooser& chooser, QWidget* window)
    : QObject(window), session_(session), w_(widgets), confirmation_(confirmation),
      connection_(connection), selection_(selection), chooser_(chooser), window_(window) {
    connect(w_.saveOneButton, &QPushButton::clicked, this, &PresetFilesPanel::saveOneClicked);
    connect(w_.saveAllButton, &QPushButton::clicked, this, &PresetFilesPanel::saveAllClicked);
    connect(w_.loadOneButton, &QPushButton::clicked, this, &PresetFilesPanel::loadOneClicked);
    connect(w_.loadAllButton, &QPushButton::clicked, this, &PresetFilesPanel::loadAllClicked);
}

// Each button does nothing unless a unit is connected; then it asks first.
bool PresetFilesPanel::confirmed(const char* message) {
    if (!session_.link().portOpen()) {
        return false;
    }
    return confirmation_.ask(QString::fromLatin1(message), QStringLiteral("Yes"), true) ==
           ConfirmationDialog::Answer::First;
}

void PresetFilesPanel::saveOneClicked() {
    if (confirmed("Saving a Preset to PC.Do you want\r to proceed?")) {
        saveOne();
    }
}

void PresetFilesPanel::saveAllClicked() {
    if (confirmed("Saving all Presets to PC.Do you\rwant to proceed?")) {
        saveAll();
    }
}

void PresetFilesPanel::loadOneClicked() {
    if (confirmed("Loading a Preset will replace the active\rPreset.Do you want to proceed?")) {
        loadOne();
    }
}

void PresetFilesPanel::loadAllClicked() {
    if (confirmed("Loading all Presets will overwrite all\rpresets already stored in "
                  "the unit.\rDo you want to proceed?")) {
        loadAll();
    }
}

QString PresetFilesPanel::SaveFailedMessage(const QString& path, const QString& reason) {
    return QStringLiteral("The preset file could not be saved:\r%1\r%2\rNothing was written.")
        .arg(QDir::toNativeSeparators(path), reason);
}

void PresetFilesPanel::saveLines(const PresetFileKind& kind, const QList<QByteArray>& lines) {
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

void PresetFilesPanel::follow(Operation* op, int percentPerStep) {
    connect(op, &Operation::progress, this, [this, percentPerStep](int done, int) {
        w_.progressBar->setValue(percentPerStep * done);
    });
    followEnd(op);
}

void PresetFilesPanel::followEnd(Operation* op) {
    connect(op, &Operation::finished, this, [this](Operation::Result result) {
        if (result == Operation::Result::Aborted) {
            return; // whoever ended it puts the window back
        }
        if (result == Operation::Result::TimedOut) {
            connection_.TimeoutEnding();
            return;
        }
        w_.progressPanel->hide();
        SetAreasEnabled(w_, true);
    });
}

// Save this preset: read the unit's working set and offer it as a .sps file. The window is
// usable again as soon as the request is out.
void PresetFilesPanel::saveOne() {
    SetAreasEnabled(w_, false);
    saveOne_ = session_.saveOnePreset();
    connect(saveOne_, &SaveOnePreset::requestSent, this, [this] {
        w_.progressPanel->hide();
        SetAreasEnabled(w_, true);
    });
    connect(saveOne_, &Operation::finished, this, [this](Operation::Result result) {
        if (result == Operation::Result::TimedOut) {
            connection_.TimeoutEnding();
            return;
        }
        if (result != Operation::Result::Done) {
            SetAreasEnabled(w_, true);
            return;
        }
        const QList<QByteArray> lines{saveOne_->imageText()};
        // The dialog opens from the event loop, once the reply has been handled.
        QTimer::singleShot(0, this, [this, lines] { saveLines(SinglePresetFile(), lines); });
    });
    saveOne_->start();
}

// Save all presets: read the 20 slots one a tick and offer them as a .fps file.
void PresetFilesPanel::saveAll() {
    selection_.requestClose();
    SaveAllPresets* op = session_.saveAllPresets();
    bool shown = false;
    connect(op, &Operation::progress, this, [this, shown](int done, int) mutable {
        if (!shown) {
            // The box appears once the line is quiet and the first request is due.
            shown = true;
            ShowProgressBox(w_, TransferBoxLeft, TransferBoxTop);
            SetAreasEnabled(w_, false);
        }
        w_.progressBar->setValue(5 * done);
    });
    followEnd(op);
    connect(op, &Operation::finished, this, [this, op](Operation::Result result) {
        if (result == Operation::Result::Done && op->lines().size() == AllPresetsLineCount) {
            const QList<QByteArray> lines = op->lines();
            QTimer::singleShot(0, this, [this, lines] { saveLines(AllPresetsFile(), lines); });
        }
    });
    op->start();
}

// Load a preset: write a .sps file's image to the unit and show it.
void PresetFilesPanel::loadOne() {
    selection_.requestClose();
    const QString path = chooser_.open(window_, SinglePresetFile());
    if (path.isEmpty()) {
        return;
    }
    const SinglePresetText loaded = LoadSinglePresetFile(path);
    if (loaded.status != PresetFileStatus::Ok) {
        ShowMessage(window_, QString::fromLatin1(FileDamagedMessage));
        session_.writer().startPoll();
        return;
    }
    ShowProgressBox(w_, TransferBoxLeft, TransferBoxTop);
    SetAreasEnabled(w_, false);
    LoadOnePreset* op = session_.loadOnePreset(loaded.text);
    follow(op, 10);
    op->start();
}

// Load all presets: write a .fps file's 20 lines into the unit's slots, one a second.
void PresetFilesPanel::loadAll() {
    selection_.requestClose();
    const QString path = chooser_.open(window_, AllPresetsFile());
    const AllPresetsText loaded = path.isEmpty() ? AllPresetsText{} : LoadAllPresetsFile(path);
    if (loaded.status == PresetFileStatus::Empty) {
        session_.writer().startPoll(); // cancelled or an empty file: no message
        return;
    }
    if (loaded.status == PresetFileStatus::Damaged) {
        ShowMessage(window_, QString::fromLatin1(FileDamagedMessage));
        session_.writer().startPoll();
        return;
    }
    ShowProgressBox(w_, TransferBoxLeft, TransferBoxTop);
    SetAreasEnabled(w_, false);
    LoadAllPresets* op = session_.loadAllPresets(loaded.lines);
    follow(op, 5);
    op->start();
}

} // namespace quellaton
