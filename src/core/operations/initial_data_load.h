// The initial data load of broadcast mode. No unit answers the broadcast address, so the
// common starting data comes from one unit, read by its own device ID, or from a single-preset
// file; that image is then written to every unit on the line, twice, and shown.
//
// The distribution: a pause, two status polls half a second apart, the image as head and rest,
// a second, the image again (its rest a second after its head when it came from a unit, else
// 100 ms), then it is shown and, a second later, the queue runs: every broadcast edit goes out
// twice. The load is done when the distribution and its progress (20 ticks, 200 ms each for a
// file, 300 ms for a unit) have both ended.
#pragma once

#include "model/unit_model.h"
#include "operations/live_writer.h"
#include "operations/operation.h"

namespace quellaton {

class InitialDataLoad : public Operation {
    Q_OBJECT
public:
    enum class State { Choosing, AwaitingSource, Distributing, Settling, AwaitingProgress };
    Q_ENUM(State)
    enum class Source { None, Unit, File };

    InitialDataLoad(UnitLink& link, LiveWriter& writer, UnitModel& model,
                    QObject* parent = nullptr);

    State state() const { return state_; }
    Source source() const { return source_; }
    int sourceAddress() const { return sourceAddress_; }
    // A unit's image was asked for and has not come yet.
    bool awaitingSource() const { return awaitingUnit_; }
    bool distributing() const { return state_ == State::Distributing || state_ == State::Settling; }

    // Reads the image of the unit with device ID `id` (1..255). When it does not answer within
    // 1.5 s, sourceSilent() and the choice is open again; a late answer is distributed all
    // the same.
    void loadFromUnit(int id);
    // Distributes this image (an image reply text, as a .sps file holds it). Ignored while a
    // distribution runs.
    void loadFromImage(const QByteArray& imageText);

    bool claim(const Reply& reply) override;

signals:
    void sourceSilent();
    // The progress of the load (re)starts: the window shows its progress box.
    void progressStarted();

protected:
    void begin() override;

private:
    void startProgress(int tickMs);
    void distribute(bool fromUnit);
    void distributionEnded();

    LiveWriter& writer_;
    UnitModel& model_;
    State state_ = State::Choosing;
    Source source_ = Source::None;
    int sourceAddress_ = 0;
    bool awaitingUnit_ = false;
    bool progressDone_ = false;
    int ticks_ = 0;
    QByteArray image_;
    QTimer sourceTimeout_;
    QTimer progress_;
};

} // namespace quellaton
