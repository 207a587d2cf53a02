#include "editors/edit_commit.h"

#include "common/key_filter.h"

#include <QFocusEvent>

namespace quellaton {

CommitField::CommitField(QLineEdit* field, EditCommitState& state, const QString& allowed,
                         std::function<void()> onExit, std::function<void()> onEnter)
    : QObject(field), field_(field), state_(state), onExit_(std::move(onExit)) {
    new KeyFilter(field, allowed, std::move(onEnter));
    field->installEventFilter(this);
}

bool CommitField::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_ &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (event->type() == QEvent::FocusIn) {
                state_.fieldEntered(field_);
            } else {
                state_.fieldLeft();
                if (onExit_) {
                    onExit_();
                }
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quellaton
