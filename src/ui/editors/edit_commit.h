// The edit-commit state shared by every numeric text field of the editors: the reference
// text (what the focused field showed when it gained focus, or after its last commit) and
// the commit-armed flag. A commit only happens when a field's text differs from the
// reference text.
#pragma once

#include <QLineEdit>
#include <QObject>
#include <QString>
#include <functional>

namespace quellaton {

struct EditCommitState {
    QString referenceText;
    bool commitArmed = true;

    // A field gained focus: its text becomes the reference text, but only while armed.
    void fieldEntered(const QLineEdit* field) {
        if (commitArmed) {
            referenceText = field->text();
            commitArmed = false;
        }
    }
    // Any field was left.
    void fieldLeft() { commitArmed = true; }

    // The program rewrites a field (a stepper, a type change, a drag, a reload). When that is
    // the field being edited, its new text becomes the reference, so that leaving it commits
    // nothing and a revert shows the value the unit has, not an older one.
    void programSet(QLineEdit* field, const QString& text) {
        field->setText(text);
        if (field->hasFocus()) {
            referenceText = text;
        }
    }
};

// Watches one field: focus in records the reference text, focus out arms the state and runs
// `onExit`, Enter (swallowed) runs `onEnter`; keys outside `allowed` (besides backspace,
// Enter and keys that type nothing) are discarded. Focus moves caused by the window losing
// or regaining activation, or by a popup menu, are not a leave or an enter of the field.
class CommitField : public QObject {
    Q_OBJECT
public:
    CommitField(QLineEdit* field, EditCommitState& state, const QString& allowed,
                std::function<void()> onExit, std::function<void()> onEnter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* field_;
    EditCommitState& state_;
    std::function<void()> onExit_;
};

} // namespace quellaton
