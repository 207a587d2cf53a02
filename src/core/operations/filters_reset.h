// "Filters reset": the gains of a section's six bands go to 0.0 dB, and their six blocks go to
// the unit through the queue. The operation follows them out; it is done when the sixth has
// been written, and ends (aborted) when a new image replaces them before that.
#pragma once

#include "model/unit_model.h"
#include "operations/live_writer.h"
#include "operations/operation.h"

namespace quellaton {

class FiltersReset : public Operation {
    Q_OBJECT
public:
    static constexpr int BlockCount = BandsPerSection;

    FiltersReset(UnitLink& link, LiveWriter& writer, UnitModel& model, int section,
                 QObject* parent = nullptr);

    int section() const { return section_; }
    int sent() const { return sent_; }

protected:
    void begin() override;
    void end(Result result) override;

private:
    LiveWriter& writer_;
    UnitModel& model_;
    int section_;
    int sent_ = 0;
    QMetaObject::Connection sendWatch_;
    QMetaObject::Connection imageWatch_;
};

} // namespace quellaton
