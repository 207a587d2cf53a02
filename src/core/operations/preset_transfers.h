// The preset transfers between a unit and the PC: its working set read (to save as a .sps file)
// and written (from one), and its 20 stored preset slots read (to save as a .fps file) and
// written (from one). Each takes the line from the live writer while it runs and gives it back
// when it ends (not when it is aborted); the files themselves are the front end's business.
#pragma once

#include "model/unit_model.h"
#include "operations/live_writer.h"
#include "operations/operation.h"
#include "operations/pacing.h"

#include <QList>

namespace quellaton {

// Reads the unit's working set: the image reply as it came, 664 characters of hex text. The
// request goes out after a short settle; another short settle after it, requestSent() says
// that the window may be used again while the reply is awaited.
class SaveOnePreset : public Operation {
    Q_OBJECT
public:
    enum class State { Idle, Settling, Requesting, AwaitingImage };
    Q_ENUM(State)

    SaveOnePreset(UnitLink& link, LiveWriter& writer, int timeoutMs = pacing::SaveOneTimeoutMs,
                  QObject* parent = nullptr);

    State state() const { return state_; }
    const QByteArray& imageText() const { return imageText_; }
    bool claim(const Reply& reply) override;

signals:
    void requestSent();

protected:
    void begin() override;

private:
    LiveWriter& writer_;
    State state_ = State::Idle;
    QTimer timeout_;
    QByteArray imageText_;
};

// Reads the unit's 20 preset slots, one request a tick; each slot's reply is taken only for the
// slot asked for next, in order. Done when the twentieth has arrived.
class SaveAllPresets : public Operation {
    Q_OBJECT
public:
    enum class State { Idle, Settling, Requesting, AwaitingSlots };
    Q_ENUM(State)

    SaveAllPresets(UnitLink& link, LiveWriter& writer, QObject* parent = nullptr);

    State state() const { return state_; }
    // The slot replies collected, slot 1 first (all 20 when done).
    const QList<QByteArray>& lines() const { return lines_; }
    bool claim(const Reply& reply) override;

protected:
    void begin() override;

private:
    void tick();

    LiveWriter& writer_;
    State state_ = State::Idle;
    QTimer tick_;
    QTimer timeout_;
    int requested_ = 0;
    QList<QByteArray> lines_;
};

// Writes an image (the payload of an image reply text) to the unit's working set as head and
// rest, shows it, and keeps the line this long before the poll and the queue resume.
class LoadOnePreset : public Operation {
    Q_OBJECT
public:
    enum class State { Idle, WritingHead, HeadPause, WritingRest, Settling };
    Q_ENUM(State)

    LoadOnePreset(UnitLink& link, LiveWriter& writer, UnitModel& model, QByteArray imageText,
                  QObject* parent = nullptr);

    State state() const { return state_; }

protected:
    void begin() override;

private:
    LiveWriter& writer_;
    UnitModel& model_;
    QByteArray imageText_;
    State state_ = State::Idle;
    QTimer progress_;
    int ticks_ = 0;
};

// Writes 20 image texts into the unit's preset slots, one slot a second, then asks for the
// name table. With `namesTimeoutMs` above 0 it ends only when the names have come (or that time
// has passed); otherwise right after the request, as the window does (the connection then
// takes the names).
class LoadAllPresets : public Operation {
    Q_OBJECT
public:
    enum class State {
        Idle,
        Waiting,
        WritingHead,
        HeadPause,
        WritingRest,
        EndPause,
        RequestingNames,
        NamesPause,
        AwaitingNames
    };
    Q_ENUM(State)

    LoadAllPresets(UnitLink& link, LiveWriter& writer, QList<QByteArray> lines,
                   int namesTimeoutMs = 0, QObject* parent = nullptr);

    State state() const { return state_; }
    bool namesReceived() const { return namesReceived_; }

protected:
    void begin() override;
    void end(Result result) override;

private:
    void writeSlot();
    void requestNames();

    LiveWriter& writer_;
    QList<QByteArray> lines_;
    int namesTimeoutMs_;
    State state_ = State::Idle;
    QTimer slotTimer_;
    QTimer namesTimeout_;
    int written_ = 0;
    bool namesReceived_ = false;
    QMetaObject::Connection namesWatch_;
};

} // namespace quellaton
