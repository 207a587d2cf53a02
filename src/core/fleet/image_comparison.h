// How a unit's parameter set compares with the preset it should hold: the parameters that
// differ, as people read them, and the blocks that would bring the unit to the preset. Bytes of
// the image that no block carries can only be brought over by writing the whole image.
#pragma once

#include "files/image_report.h"
#include "operations/block_writes.h"

#include <QByteArray>
#include <QList>

namespace quellaton {

struct ImageComparison {
    QList<ReportDifference> rows; // preset first, unit second
    QList<int> blockSlots;        // send slots of the blocks whose bytes differ
    bool outsideBlocks = false;   // bytes no block carries differ

    bool equal() const { return blockSlots.isEmpty() && !outsideBlocks; }
};

// `wanted` and `actual` are image texts (an image reply or a preset file's line).
ImageComparison CompareImages(const QByteArray& wanted, const QByteArray& actual);

// The block writes to `address` that carry `wanted`'s bytes of the given blocks, exactly as
// the preset holds them.
QList<QueuedBlockWrites::Block> BlockWritesFor(const QByteArray& wanted,
                                               const QList<int>& blockSlots, int address);

// The preset slots (1..20) whose payloads differ; slots missing on either side differ.
QList<int> DifferingSlots(const QList<QByteArray>& wanted, const QList<QByteArray>& actual);

} // namespace quellaton
