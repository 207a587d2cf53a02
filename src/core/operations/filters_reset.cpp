#include "operations/filters_reset.h"

namespace quellaton {

FiltersReset::FiltersReset(UnitLink& link, LiveWriter& writer, UnitModel& model, int section,
                           QObject* parent)
    : Operation(link, parent), writer_(writer), model_(model), section_(section) {}

void FiltersReset::begin() {
    sent_ = 0;
    // Every block the queue writes from now on counts: the six edits below are the only ones
    // the locked window lets through.
    sendWatch_ = connect(&writer_, &LiveWriter::slotSent, this, [this] {
        sent_ += 1;
        emit progress(sent_, BlockCount);
        if (sent_ >= BlockCount) {
            finish(Result::Done);
        }
    });
    // A new image drops the frames waiting to be written; they will never be counted.
    imageWatch_ =
        connect(&model_, &UnitModel::imageReplaced, this, [this] { finish(Result::Aborted); });
    emit progress(0, BlockCount);
    model_.resetBandGains(section_);
}

void FiltersReset::end(Result) {
    disconnect(sendWatch_);
    disconnect(imageWatch_);
}

} // namespace quellaton
