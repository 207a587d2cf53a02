#include "window/keyboard_navigation.h"

#include <QEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QShortcut>
#include <QWidget>

#include <algorithm>
#include <map>

namespace quellaton {

namespace {

// A control the Tab key stops at in `window` (a drop-down list's popup is a window of its own).
bool TakesTabFocus(const QWidget* widget, const QWidget* window) {
    return (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy() &&
           widget->window() == window;
}

// The direct child of `root` that holds `widget`.
QWidget* TopUnder(QWidget* widget, const QWidget* root) {
    while (widget && widget->parentWidget() != root) {
        widget = widget->parentWidget();
    }
    return widget;
}

// `widgets` in reading order: rows from the top (controls whose vertical centres lie within
// the tolerance of the row's first one), left to right within a row.
QList<QWidget*> RowByRow(QList<QWidget*> widgets, const QWidget* root) {
    struct Placed {
        QWidget* widget;
        QRect rect;
    };
    QList<Placed> placed;
    for (QWidget* widget : widgets) {
        placed.append({widget, QRect(widget->mapTo(root, QPoint(0, 0)), widget->size())});
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        return a.rect.center().y() < b.rect.center().y();
    });
    QList<Placed> ordered;
    for (qsizetype first = 0; first < placed.size();) {
        const int rowCentre = placed[first].rect.center().y();
        qsizetype end = first;
        while (end < placed.size() &&
               placed[end].rect.center().y() - rowCentre <= KeyboardNavigation::RowTolerance) {
            ++end;
        }
        QList<Placed> row = placed.mid(first, end - first);
        std::stable_sort(row.begin(), row.end(), [](const Placed& a, const Placed& b) {
            return a.rect.left() < b.rect.left();
        });
        ordered += row;
        first = end;
    }
    QList<QWidget*> out;
    for (const Placed& p : ordered) {
        out.append(p.widget);
    }
    return out;
}

} // namespace

KeyboardNavigation::KeyboardNavigation(QMainWindow& window) : QObject(&window), window_(window) {
    auto* menus = new QShortcut(QKeySequence(Qt::Key_F10), &window);
    connect(menus, &QShortcut::activated, this, &KeyboardNavigation::openMenus);
    for (QObject* child : window_.centralWidget()->children()) {
        if (child->isWidgetType()) {
            child->installEventFilter(this);
        }
    }
    applyTabOrder();
}

QList<QWidget*> KeyboardNavigation::tabOrder() const {
    const QWidget* central = window_.centralWidget();
    // Controls of the window's own layer, and those of each popup by the button it hangs on.
    QList<QWidget*> layer;
    std::map<QWidget*, QList<QWidget*>> popups;
    for (QWidget* widget : central->findChildren<QWidget*>()) {
        if (!TakesTabFocus(widget, &window_)) {
            continue;
        }
        const QWidget* top = TopUnder(widget, central);
        const QVariant opener = top ? top->property(PopupOpenerProperty) : QVariant();
        if (!opener.isValid()) {
            layer.append(widget);
        } else if (auto* button = qobject_cast<QWidget*>(opener.value<QObject*>())) {
            popups[button].append(widget);
        }
        // A popup never opened has no place yet: it is hidden, and it joins when it opens.
    }
    QList<QWidget*> order;
    for (QWidget* widget : RowByRow(layer, central)) {
        order.append(widget);
        const auto popup = popups.find(widget);
        if (popup != popups.end()) {
            order += RowByRow(popup->second, central);
        }
    }
    return order;
}

void KeyboardNavigation::applyTabOrder() {
    const QList<QWidget*> order = tabOrder();
    for (qsizetype i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void KeyboardNavigation::openMenus() {
    QMenuBar* bar = window_.menuBar();
    if (!bar->isEnabled()) {
        return;
    }
    for (QAction* action : bar->actions()) {
        if (action->isVisible() && action->isEnabled()) {
            bar->setFocus(Qt::ShortcutFocusReason);
            bar->setActiveAction(action);
            return;
        }
    }
}

bool KeyboardNavigation::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::DynamicPropertyChange:
        if (static_cast<QWidget*>(watched)->parentWidget() == window_.centralWidget()) {
            applyTabOrder();
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quellaton
