// The Edit menu: "Undo WHAT" and "Redo WHAT", named after the step they take, and "Compare
// A/B", with "A" or "B" in the status bar while comparing. Undo, redo and a swap change the
// model as edits do, so a connected unit gets the blocks that differ through the send queue.
#pragma once

#include "common/shell_widgets.h"
#include "model/unit_model.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QObject>

class QMainWindow;

namespace quellaton {

class EditMenuPanel : public QObject {
    Q_OBJECT
public:
    EditMenuPanel(UnitModel& model, ShellWidgets& widgets, QMainWindow* window);

    QMenu* menu() const { return menu_; }
    QAction* undoAction() const { return undo_; }
    QAction* redoAction() const { return redo_; }
    QAction* compareAction() const { return compare_; }
    QLabel* compareLabel() const { return compareLabel_; }

private:
    void showHistory();
    void showComparison();

    UnitModel& model_;
    QMenu* menu_;
    QAction* undo_;
    QAction* redo_;
    QAction* compare_;
    QLabel* compareLabel_;
};

} // namespace quellaton
