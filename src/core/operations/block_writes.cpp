#include "operations/block_writes.h"

#include "operations/pacing.h"
#include "operations/timer_setup.h"

namespace quellaton {

namespace {

// One block leaves about every half second; a send that has not left in twice that, plus a
// margin for a slow line, is not coming.
int TimeoutFor(qsizetype blocks) {
    const int perBlock =
        2 * (pacing::QueueScanMs + pacing::QueueWriteDelayMs + pacing::QueueResumeMs);
    return int(blocks) * perBlock + pacing::PollWatchdogMs;
}

} // namespace

QueuedBlockWrites::QueuedBlockWrites(UnitLink& link, LiveWriter& writer, QList<Block> blocks,
                                     QObject* parent)
    : Operation(link, parent), writer_(writer), blocks_(std::move(blocks)) {
    setUpTimeout(timeout_, "blockWritesTimeout", TimeoutFor(blocks_.size()));
}

void QueuedBlockWrites::begin() {
    for (const Block& block : blocks_) {
        waiting_.insert(block.slot);
    }
    emit progress(0, int(blocks_.size()));
    if (waiting_.isEmpty()) {
        finish(Result::Done);
        return;
    }
    sendWatch_ = connect(&writer_, &LiveWriter::slotSent, this, [this](int slot) {
        waiting_.remove(slot);
        emit progress(int(blocks_.size() - waiting_.size()), int(blocks_.size()));
        if (waiting_.isEmpty()) {
            finish(Result::Done);
        }
    });
    for (const Block& block : blocks_) {
        writer_.queueFrame(block.slot, block.frame);
    }
    timeout_.start();
    writer_.setActive(true);
    writer_.start();
}

void QueuedBlockWrites::end(Result result) {
    disconnect(sendWatch_);
    if (result != Result::Done) {
        // Frames that did not leave are not left behind for whoever uses the queue next.
        for (const int slot : std::as_const(waiting_)) {
            writer_.sendSlots().clearPending(slot);
        }
    }
}

} // namespace quellaton
