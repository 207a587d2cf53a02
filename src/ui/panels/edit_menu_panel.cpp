#include "panels/edit_menu_panel.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>

namespace quellaton {

EditMenuPanel::EditMenuPanel(UnitModel& model, ShellWidgets& widgets, QMainWindow* window)
    : QObject(window), model_(model) {
    menu_ = new QMenu(QStringLiteral("Edit"), window);
    menu_->setObjectName(QStringLiteral("editMenu"));
    window->menuBar()->insertMenu(widgets.helpMenu->menuAction(), menu_);
    undo_ = menu_->addAction(QStringLiteral("Undo"));
    undo_->setObjectName(QStringLiteral("undoAction"));
    undo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redo_ = menu_->addAction(QStringLiteral("Redo"));
    redo_->setObjectName(QStringLiteral("redoAction"));
    redo_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    menu_->addSeparator();
    compare_ = menu_->addAction(QStringLiteral("Compare A/B"));
    compare_->setObjectName(QStringLiteral("compareAction"));
    compare_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    // The menu's items are reachable from the window wherever the focus is.
    for (QAction* action : {undo_, redo_, compare_}) {
        action->setShortcutContext(Qt::WindowShortcut);
    }

    compareLabel_ = new QLabel(window->statusBar());
    compareLabel_->setObjectName(QStringLiteral("compareLabel"));
    compareLabel_->setAccessibleName(QStringLiteral("Compared setting"));
    window->statusBar()->addPermanentWidget(compareLabel_);

    widgets.editMenu = menu_;
    // While a transfer locks the window the menu is disabled, and its keys do nothing either.
    connect(undo_, &QAction::triggered, this, [this] {
        if (menu_->isEnabled()) {
            model_.undo();
        }
    });
    connect(redo_, &QAction::triggered, this, [this] {
        if (menu_->isEnabled()) {
            model_.redo();
        }
    });
    connect(compare_, &QAction::triggered, this, [this] {
        if (menu_->isEnabled()) {
            model_.toggleComparison();
        }
    });
    connect(&model_, &UnitModel::historyChanged, this, &EditMenuPanel::showHistory);
    connect(&model_, &UnitModel::comparisonChanged, this, &EditMenuPanel::showComparison);
    showHistory();
    showComparison();
}

void EditMenuPanel::showHistory() {
    const EditHistory& history = model_.history();
    undo_->setEnabled(history.canUndo());
    redo_->setEnabled(history.canRedo());
    undo_->setText(history.canUndo() ? QStringLiteral("Undo ") + history.undoName()
                                     : QStringLiteral("Undo"));
    redo_->setText(history.canRedo() ? QStringLiteral("Redo ") + history.redoName()
                                     : QStringLiteral("Redo"));
}

void EditMenuPanel::showComparison() {
    compareLabel_->setVisible(model_.comparing());
    compareLabel_->setText(model_.showingB() ? QStringLiteral("B") : QStringLiteral("A"));
}

} // namespace quellaton
