// Helpers of the editor tests: a window against a simulated unit with its editor area in
// view, typing into fields the way a user does (focus, keys, then Enter or leaving), and
// waiting for frames on the simulated line.
#pragma once

#include "app_fixture.h"

#include "editors/channel_editors.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>

namespace editortest {

inline quellaton::EditorWidgets& Editors(AppFixture& app) {
    return app.window->editors().widgets();
}

// Opens the window with the editor area in view (the result view of the start-up search
// closed through the close-panel operation) and the window active, so fields take focus.
inline bool OpenEditors(AppFixture& app) {
    if (!app.open()) {
        return false;
    }
    app.selection().requestClose();
    app.window->activateWindow();
    if (!QTest::qWaitForWindowActive(app.window.get())) {
        return false;
    }
    return app.widgets().editorArea->isVisible();
}

inline bool FocusOn(QWidget* widget) {
    widget->setFocus(Qt::MouseFocusReason);
    return WaitUntil([&] { return widget->hasFocus(); }, 2000);
}

// Moves the focus out of whatever field has it, onto the "Broadcast Mode" button.
inline bool Leave(AppFixture& app) {
    return FocusOn(app.widgets().broadcastButton);
}

// Focuses the field, replaces its whole text by typing `keys`, then leaves it.
inline bool TypeAndLeave(AppFixture& app, QLineEdit* field, const QString& keys) {
    if (!FocusOn(field)) {
        return false;
    }
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, keys);
    return Leave(app);
}

// Focuses the field, replaces its text by typing `keys` and presses Enter; the focus stays.
inline bool TypeAndEnter(QLineEdit* field, const QString& keys) {
    if (!FocusOn(field)) {
        return false;
    }
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, keys);
    QTest::keyClick(field, Qt::Key_Return);
    return true;
}

inline void Mouse(QWidget* widget, QEvent::Type type, QPoint at) {
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Payload byte `i` (0..7) of a logged block-write frame.
inline int PayloadByte(const QByteArray& frame, int i) {
    return frame.mid(20 + 2 * i, 2).toInt(nullptr, 16);
}

inline QByteArray BlockHeader(int block, int group) {
    return QByteArray("A100") + QByteArray::number(block, 16).rightJustified(2, '0').toUpper() +
           QByteArray::number(group, 16).rightJustified(2, '0').toUpper();
}

// Block writes of (block, group) the unit received, from log line `from` on. (The log is
// never truncated: the simulator keeps writing at its old offset.)
inline QList<QByteArray> BlockFrames(const SimProcess& sim, int block, int group, int from = 0) {
    const QByteArray header = BlockHeader(block, group);
    const QList<QByteArray> frames = sim.frames();
    QList<QByteArray> out;
    for (int i = from; i < frames.size(); ++i) {
        if (frames[i].mid(8, header.size()) == header) {
            out.append(frames[i]);
        }
    }
    return out;
}

// The number of frames logged so far: a mark for BlockFrames.
inline int LogMark(const SimProcess& sim) {
    return int(sim.frames().size());
}

// Waits for a block write of (block, group) after log line `from`; returns the last one seen
// (empty when none came).
inline QByteArray WaitForBlock(const SimProcess& sim, int block, int group, int timeoutMs = 4000,
                               int from = 0) {
    QByteArray last;
    WaitUntil(
        [&] {
            const QList<QByteArray> frames = BlockFrames(sim, block, group, from);
            if (frames.isEmpty()) {
                return false;
            }
            last = frames.last();
            return true;
        },
        timeoutMs);
    return last;
}

// Waits until the last block write of (block, group) the unit received satisfies `check`.
inline bool WaitForLastBlock(const SimProcess& sim, int block, int group,
                             const std::function<bool(const QByteArray&)>& check,
                             int timeoutMs = 4000) {
    return WaitUntil(
        [&] {
            const QList<QByteArray> frames = BlockFrames(sim, block, group);
            return !frames.isEmpty() && check(frames.last());
        },
        timeoutMs);
}

// Waits until nothing is pending in the send slots and the last send has had time to reach
// the unit, so that a cleared log starts from a quiet line.
inline bool WaitQuiet(AppFixture& app) {
    const bool idle =
        WaitUntil([&] { return !app.session().writer().sendSlots().anyPending(); }, 5000);
    QTest::qWait(600);
    return idle;
}

} // namespace editortest
