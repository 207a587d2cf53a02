// Preset files on the PC, as the main window's four buttons offer them: the unit's working set
// saved to a .sps file and loaded from one, and its 20 stored slots saved to a .fps file and
// loaded from one. Each asks for confirmation first; the exchange itself is an operation of the
// core, shown here with its progress while the window is locked.
#pragma once

#include "common/dialogs.h"
#include "common/file_chooser.h"
#include "common/shell_widgets.h"
#include "common/way_selection.h"
#include "operations/unit_session.h"
#include "panels/connection_panel.h"

#include <QList>
#include <QObject>
#include <QPointer>

namespace quellaton {

class PresetFilesPanel : public QObject {
    Q_OBJECT
public:
    PresetFilesPanel(UnitSession& session, ShellWidgets& widgets, ConfirmationDialog& confirmation,
                     ConnectionPanel& connection, WaySelection& selection, FileChooser& chooser,
                     QWidget* window);

    void saveOneClicked(); // "Save this preset to PC"
    void saveAllClicked(); // "Save all presets to PC"
    void loadOneClicked(); // "Load a preset from PC"
    void loadAllClicked(); // "Load all presets from PC"

    // The text shown when a preset file cannot be written.
    static QString SaveFailedMessage(const QString& path, const QString& reason);

private:
    bool confirmed(const char* message);
    void saveOne();
    void saveAll();
    void loadOne();
    void loadAll();
    // Moves the progress bar `percentPerStep` a step of `op`, and puts the window back when
    // `op` ends (followEnd()).
    void follow(Operation* op, int percentPerStep);
    // When `op` ends: the window back, with the time-out message when it timed out; an aborted
    // one is put back by whoever ended it.
    void followEnd(Operation* op);
    void saveLines(const PresetFileKind& kind, const QList<QByteArray>& lines);

    UnitSession& session_;
    ShellWidgets& w_;
    ConfirmationDialog& confirmation_;
    ConnectionPanel& connection_;
    WaySelection& selection_;
    FileChooser& chooser_;
    QWidget* window_;
    QPointer<SaveOnePreset> saveOne_;
};

} // namespace quellaton
