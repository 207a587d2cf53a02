#include "common/key_filter.h"

#include <QKeyEvent>
#include <QWidget>

namespace quellaton {

KeyFilter::KeyFilter(QWidget* field, QString allowed, std::function<void()> onEnter, bool printable)
    : QObject(field), allowed_(std::move(allowed)), onEnter_(std::move(onEnter)),
      printable_(printable) {
    field->installEventFilter(this);
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QObject::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (onEnter_) {
            onEnter_();
        }
        return true;
    }
    // Shortcuts that would put other text into the field count as discarded keys.
    if (key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Cut) ||
        key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo)) {
        return true;
    }
    if (key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Tab ||
        key->key() == Qt::Key_Backtab || key->key() == Qt::Key_Escape) {
        return false; // editing and focus keys, not characters
    }
    const QString text = key->text();
    if (text.isEmpty() || key->modifiers().testFlag(Qt::ControlModifier)) {
        return false; // arrows, Delete, Home, shortcuts: no character typed
    }
    for (QChar c : text) {
        const bool ok =
            printable_ ? (c >= QLatin1Char(' ') && c <= QLatin1Char('~')) : allowed_.contains(c);
        if (!ok) {
            return true; // discarded
        }
    }
    return false;
}

} // namespace quellaton
