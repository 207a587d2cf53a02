// Shared helpers of the preset window tests: file choosers that answer without a dialog,
// image texts built from the simulator's stored bytes, and waits for the transfers.
#pragma once

#include "app_fixture.h"

#include "dsp/scales.h"
#include "files/preset_file_format.h"
#include "protocol/frames.h"
#include "protocol/parameter_image.h"
#include "test_files.h"

#include <QFile>
#include <QList>

namespace presettest {

using namespace quellaton;

// Frame headers in the simulator's log (bytes 4..6: command, index, block).
inline const QByteArray PollHeader = "A2002B";
inline const QByteArray SystemReadHeader = "A20021";
inline const QByteArray ImageReadHeader = "A20028";
inline const QByteArray ImageWriteHeader = "A10028";
inline const QByteArray NameTableHeader = "A20026";

// The file choosers record what they were asked for and answer with a fixed path (an empty
// path is a cancel).
struct ChooserLog {
    QList<PresetFileKind> opened;
    QList<PresetFileKind> saved;
};

inline void AnswerOpen(AppFixture& app, const QString& path, ChooserLog* log = nullptr) {
    app.window->fileChooser().open = [path, log](QWidget*, const PresetFileKind& kind) {
        if (log) {
            log->opened.append(kind);
        }
        return path;
    };
}

inline void AnswerSave(AppFixture& app, const QString& path, ChooserLog* log = nullptr) {
    app.window->fileChooser().save = [path, log](QWidget*, const PresetFileKind& kind) {
        if (log) {
            log->saved.append(kind);
        }
        return path;
    };
}

// A unit's reply frame as hex text around `payload` (320 bytes).
inline QByteArray ReplyLine(const QByteArray& payload, quint8 block = ParameterImageBlock,
                            int address = 0, quint8 index = 0) {
    return ToHexText(DeviceFrame(address, ReadReply, index, block, 0, payload));
}

// The simulator's frame log from a mark on. The log is never truncated while the simulator
// writes it (its writes would go on at their old offset, leaving a run of zero bytes in front
// of the next frame): clear() only remembers where the frames of interest begin.
class FrameLog {
public:
    explicit FrameLog(const SimProcess& sim) : sim_(sim) {}
    void clear() { start_ = sim_.frames().size(); }
    QList<QByteArray> frames() const { return sim_.frames().mid(start_); }
    QList<QByteArray> framesWith(const QByteArray& header) const {
        QList<QByteArray> out;
        for (const QByteArray& f : frames()) {
            if (f.mid(8, header.size()) == header) {
                out.append(f);
            }
        }
        return out;
    }
    // Frames other than the keep-alive polls.
    QList<QByteArray> nonPoll() const {
        QList<QByteArray> out;
        for (const QByteArray& f : frames()) {
            if (f.mid(8, 6) != PollHeader) {
                out.append(f);
            }
        }
        return out;
    }

private:
    const SimProcess& sim_;
    qsizetype start_ = 0;
};

// The payload bytes of a logged frame (as hex text) that carries 320 of them.
inline QByteArray LoggedPayload(const QByteArray& frameHex) {
    return QByteArray::fromHex(frameHex.mid(20, 640));
}

// After a connect: waits until the queued system read has gone out and been answered, so the
// link is quiet apart from the polls.
inline bool Settle(AppFixture& app) {
    return WaitUntil(
        [&] {
            return !app.sim.framesWith(SystemReadHeader).isEmpty() &&
                   app.session().writer().sendSlots().nextPending() == 0 &&
                   app.session().writer().sendingSlot() == 0 &&
                   (app.widgets().lastLoadedLabel->text().startsWith("Last loaded preset:Pre") ||
                    app.widgets().lastLoadedLabel->text().startsWith("Last loaded preset:Usr"));
        },
        5000);
}

// The running operation of type Op, or nullptr.
template <typename Op> Op* RunningOperation(AppFixture& app) {
    for (Operation* op : app.session().runningOperations()) {
        if (auto* typed = qobject_cast<Op*>(op)) {
            return typed;
        }
    }
    return nullptr;
}

// True when `owner` has a timer of that name and it runs.
inline bool TimerActive(const QObject* owner, const char* name) {
    const QTimer* timer = owner ? owner->findChild<QTimer*>(QLatin1String(name)) : nullptr;
    return timer && timer->isActive();
}

// Switches broadcast mode on and connects; true once the source panel is shown.
inline bool ConnectBroadcast(AppFixture& app) {
    ShellWidgets& w = app.widgets();
    w.broadcastButton->click();
    if (app.session().address().address() != BroadcastAddress) {
        return false;
    }
    w.connectButton->click();
    return WaitUntil([&] { return w.initialDataPanel->isVisible(); }, 3000);
}

// The window is unlocked with no progress box: a transfer has ended.
inline bool Idle(AppFixture& app) {
    ShellWidgets& w = app.widgets();
    return !w.progressPanel->isVisible() && w.fileGroup->isEnabled() &&
           w.channelOverview->isEnabled() && w.editorArea->isEnabled();
}

} // namespace presettest
