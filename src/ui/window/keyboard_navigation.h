// Keyboard use of the main window. Tab walks the controls the way the window reads: row by
// row from the top, left to right within a row; a popup's controls come right after the
// button that opened it. The order follows the widgets' places, so it stays right when a
// popup or a panel moves or shows. F10 opens the menus.
#pragma once

#include "common/popups.h"
#include <QList>

#include <QObject>

class QMainWindow;
class QWidget;

namespace quellaton {

class KeyboardNavigation : public QObject {
    Q_OBJECT
public:
    // Controls whose centres lie within this many pixels of a row's first control share its
    // row.
    static constexpr int RowTolerance = 12;

    explicit KeyboardNavigation(QMainWindow& window);

    // The Tab order of the window's controls, as applied.
    QList<QWidget*> tabOrder() const;
    // Orders the Tab chain as described above.
    void applyTabOrder();
    // Opens the first menu of the menu bar that can be used.
    void openMenus();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMainWindow& window_;
};

} // namespace quellaton
