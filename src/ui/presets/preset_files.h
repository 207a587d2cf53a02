// Preset files on the PC: saving the unit's working set to a .sps file and all 20 stored
// slots to a .fps file, and loading them back into the unit. Each transfer asks for
// confirmation, then its worker runs from a 10 ms timer after the dialog has closed.
#pragma once

#include "app/confirmation.h"
#include "app/connection.h"
#include "app/program_state.h"
#include "app/shell_widgets.h"
#include "operations/pacing.h"

#include <QString>
#include <QTimer>
#include <functional>

class QWidget;

namespace quellaton {

// What the file dialogs offer for one kind of preset file.
struct PresetFileKind {
    QString filter;      // "quellatonfile(*.sps)"
    QString defaultName; // "mystyle"
    QString suffix;      // "sps", added to a saved name typed without one
};
const PresetFileKind& SinglePresetFile();
const PresetFileKind& AllPresetsFile();

// The open and save dialogs, replaceable so that tests can supply a path or a cancel. Each
// returns the chosen path, or an empty string when the dialog was cancelled. The defaults are
// the standard file dialogs with the kind's filter, default name and default suffix.
struct FileChooser {
    std::function<QString(QWidget* parent, const PresetFileKind& kind)> open;
    std::function<QString(QWidget* parent, const PresetFileKind& kind)> save;

    FileChooser();
    static QString StandardOpen(QWidget* parent, const PresetFileKind& kind);
    static QString StandardSave(QWidget* parent, const PresetFileKind& kind);
};

// `path` with ".suffix" appended when its file name has no suffix of its own.
QString WithDefaultSuffix(const QString& path, const QString& suffix);

inline constexpr const char* FileDamagedMessage = "File damaged.";

// Stops the keep-alive poll, the send queue and the link watchdog before a transfer, and the
// queue's own pending steps with them: a block picked but not yet written goes back into its
// slot (it leaves when the queue runs again), and the step that would restart the poll in the
// middle of the transfer is dropped (the transfer restarts the poll itself when it ends).
void PauseLink(ProgramState& state);

class PresetFiles : public QObject {
    Q_OBJECT
public:
    // How long "Save this preset to PC" waits for the unit's image before giving up.
    static constexpr int SaveOneTimeoutMs = pacing::SaveOneTimeoutMs;

    PresetFiles(ProgramState& state, ShellWidgets& widgets, Confirmation& confirmation,
                Connection& connection, FileChooser& chooser, QWidget* window);

    void Button6Click(); // "Save this preset to PC"
    void Button4Click(); // "Save all presets to PC"
    void Button7Click(); // "Load a preset from PC"
    void Button5Click(); // "Load all presets from PC"

    // The save-one time-out, started with the image request.
    QTimer& saveOneTimeout() { return saveOneTimeout_; }

    // The text shown when a preset file cannot be written.
    static QString SaveFailedMessage(const QString& path, const QString& reason);

private:
    void Timer15Timer(); // save this preset
    void Timer16Timer(); // save all presets
    void Timer17Timer(); // load a preset
    void Timer18Timer(); // load all presets
    void FSaveDialog3Timer();
    void FSaveDialog4Timer();
    void Timer8Timer();  // one slot read a tick
    void Timer9Timer();  // save-all time-out
    void Timer10Timer(); // one slot write a tick
    void Timer12Timer(); // load-one progress
    void saveOneTimeoutTimer();
    void abandonSaveOne();

    void saveLines(const PresetFileKind& kind, const QList<QByteArray>& lines);
    bool connected() const;
    void ask(int kind, const char* message);

    ProgramState& s_;
    ShellWidgets& w_;
    Confirmation& confirmation_;
    Connection& connection_;
    FileChooser& chooser_;
    QWidget* window_;
    QTimer saveOneTimeout_;
    int requestCounter_ = 0;  // slot read 1..20
    int progressCounter_ = 0; // load-one progress 0..10
};

} // namespace quellaton
