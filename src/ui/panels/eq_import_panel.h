// EQ filters in and out of the window: File > "Import EQ filters…" and "Export EQ filters…",
// acting on the section being edited. An import shows its report first (EqImportDialog);
// "Apply" puts the filters in place as one step that undo takes back, and while a unit is
// connected the blocks that change go to it like any edit. A .txt file dropped on the response
// graph starts the same import.
#pragma once

#include "common/file_chooser.h"
#include "common/shell_widgets.h"
#include "common/way_selection.h"
#include "files/eq_text.h"
#include "operations/unit_session.h"
#include "panels/eq_import_dialog.h"
#include "panels/preset_document_panel.h"

#include <QAction>
#include <QObject>
#include <QPointer>

class QMainWindow;

namespace quellaton {

// What the file dialogs offer for EQ text files.
const PresetFileKind& EqTextFile();

class EqImportPanel : public QObject {
    Q_OBJECT
public:
    EqImportPanel(UnitSession& session, ShellWidgets& widgets, WaySelection& selection,
                  FileChooser& chooser, PresetDocumentPanel& document, QWidget* graph,
                  QMainWindow* window);

    QAction* importAction() const { return import_; }
    QAction* exportAction() const { return export_; }
    // The report being shown, or null.
    EqImportDialog* dialog() const { return dialog_; }

    // Reads `path` and shows its report for the section being edited; false (after saying
    // why) when the file cannot be used or no section is being edited.
    bool importFile(const QString& path);
    // Writes the section being edited to `path`; false after saying why when it fails.
    bool exportFile(const QString& path);

protected:
    // Drops of a .txt file on the graph.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool available() const;
    void showAvailability();
    void showReport();
    void apply();
    QString sourceName() const;

    UnitSession& session_;
    ShellWidgets& w_;
    WaySelection& selection_;
    FileChooser& chooser_;
    PresetDocumentPanel& document_;
    QWidget* graph_;
    QMainWindow* window_;
    QAction* import_;
    QAction* export_;
    QPointer<EqImportDialog> dialog_;
    // The import the dialog shows: the file, the section and whether to keep six.
    EqText text_;
    QString fileName_;
    int section_ = -1;
    bool fit_ = false;
};

} // namespace quellaton
