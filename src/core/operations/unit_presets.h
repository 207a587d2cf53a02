// The unit's own presets and identity: recalling a stored preset into the working set, storing
// a user preset's name, and giving the unit a new device ID.
#pragma once

#include "model/unit_address.h"
#include "model/unit_model.h"
#include "operations/live_writer.h"
#include "operations/operation.h"
#include "operations/pacing.h"

namespace quellaton {

// Recalls preset 1..8: the unit loads it into its working set and answers with the image,
// which replaces the model's. The poll and the queue resume then (with a system read queued,
// which brings the last loaded preset).
class RecallPreset : public Operation {
    Q_OBJECT
public:
    enum class State { Idle, Settling, AwaitingImage };
    Q_ENUM(State)

    RecallPreset(UnitLink& link, LiveWriter& writer, UnitModel& model, int preset,
                 QObject* parent = nullptr);

    State state() const { return state_; }
    int preset() const { return preset_; }
    bool claim(const Reply& reply) override;

signals:
    // The request has gone out (the window shows its progress from now on).
    void requestSent();

protected:
    void begin() override;

private:
    LiveWriter& writer_;
    UnitModel& model_;
    int preset_;
    State state_ = State::Idle;
    QTimer timeout_;
    QTimer progress_;
    int ticks_ = 0;
};

// Stores the name of user preset 7 or 8 in the unit. The name goes out at once, outside the
// queue; the poll and the queue resume a moment later, and the unit's acknowledgement may come
// at any time after (acknowledged()). With `ackTimeoutMs` above 0 the operation gives up on the
// acknowledgement after that time; otherwise it waits for it until it is aborted.
class StoreName : public Operation {
    Q_OBJECT
public:
    enum class State { Idle, Writing, Settling, AwaitingAck };
    Q_ENUM(State)

    StoreName(UnitLink& link, LiveWriter& writer, UnitModel& model, int slot, QByteArray name,
              int ackTimeoutMs = 0, QObject* parent = nullptr);

    State state() const { return state_; }
    bool claim(const Reply& reply) override;

signals:
    // The poll and the queue run again.
    void sent();
    // The unit took the name.
    void acknowledged();

protected:
    void begin() override;

private:
    LiveWriter& writer_;
    UnitModel& model_;
    int slot_;
    QByteArray name_;
    State state_ = State::Idle;
    bool acknowledged_ = false;
    QTimer ackTimeout_;
};

// Gives the unit addressed now a new device ID, with the other system values the program
// holds. The system write goes through the queue to the present address; the program then
// talks to the new ID at once (in broadcast mode every unit takes it and the address stays the
// broadcast one). Done when the unit acknowledges; with `ackTimeoutMs` above 0 it gives up
// after that time, otherwise it waits until it is aborted.
class ChangeId : public Operation {
    Q_OBJECT
public:
    enum class State { Idle, AwaitingAck };
    Q_ENUM(State)

    ChangeId(UnitLink& link, LiveWriter& writer, UnitModel& model, int newId, int ackTimeoutMs = 0,
             QObject* parent = nullptr);

    State state() const { return state_; }
    int newId() const { return newId_; }
    bool claim(const Reply& reply) override;

protected:
    void begin() override;

private:
    LiveWriter& writer_;
    UnitModel& model_;
    int newId_;
    State state_ = State::Idle;
    QTimer ackTimeout_;
};

} // namespace quellaton
