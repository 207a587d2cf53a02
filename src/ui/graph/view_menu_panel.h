// The View menu: "Section response" (the section being edited) or "System response" (the whole
// loudspeaker), "Show phase", "Load measurement for this section…" (a measured driver for the
// way being edited), "Load target curve…" and "Clear overlays". It sits between "Edit" and
// "Help".
#pragma once

#include "common/file_chooser.h"
#include "common/shell_widgets.h"

#include <QAction>
#include <QMenu>
#include <QObject>

class QMainWindow;

namespace quellaton {

class ResponseGraph;
class WaySelection;

class ViewMenuPanel : public QObject {
    Q_OBJECT
public:
    ViewMenuPanel(ResponseGraph& graph, WaySelection& selection, ShellWidgets& widgets,
                  FileChooser& chooser, QMainWindow* window);

    QMenu* menu() const { return menu_; }
    QAction* sectionViewAction() const { return sectionView_; }
    QAction* systemViewAction() const { return systemView_; }
    QAction* phaseAction() const { return phase_; }
    QAction* measurementAction() const { return measurement_; }
    QAction* targetAction() const { return target_; }
    QAction* clearAction() const { return clear_; }

    // What the open dialogs offer.
    static const PresetFileKind& MeasurementFile();
    static const PresetFileKind& TargetFile();

    // Loads a file as the measurement of the way being edited, or as the target; a file that
    // cannot be read is reported in a message box naming the line. True when loaded.
    bool loadMeasurement(const QString& path);
    bool loadTarget(const QString& path);

private:
    void showState();

    ResponseGraph& graph_;
    WaySelection& selection_;
    FileChooser& chooser_;
    QMainWindow* window_;
    QMenu* menu_;
    QAction* sectionView_;
    QAction* systemView_;
    QAction* phase_;
    QAction* measurement_;
    QAction* target_;
    QAction* clear_;
};

} // namespace quellaton
