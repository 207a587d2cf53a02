// Blocks written through the send queue as live edits go: each prepared frame waits in the send
// slot of its block and leaves at the queue's pace, with the keep-alive poll between sends. Done
// when every frame has left the line. This is how a parameter set reaches a unit block by block,
// changing only what differs, instead of as a whole image.
#pragma once

#include "operations/live_writer.h"
#include "operations/operation.h"

#include <QList>
#include <QSet>

namespace quellaton {

class QueuedBlockWrites : public Operation {
    Q_OBJECT
public:
    struct Block {
        int slot = 0; // send slot 1..36
        QByteArray frame;
    };

    QueuedBlockWrites(UnitLink& link, LiveWriter& writer, QList<Block> blocks,
                      QObject* parent = nullptr);

    int blockCount() const { return int(blocks_.size()); }

protected:
    void begin() override;
    void end(Result result) override;

private:
    LiveWriter& writer_;
    QList<Block> blocks_;
    QSet<int> waiting_;
    QTimer timeout_;
    QMetaObject::Connection sendWatch_;
};

} // namespace quellaton
