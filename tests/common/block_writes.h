// Block writes as tests compare them: block and group in four hex digits ("0203"), the ones a
// change of the parameter image should cause and the ones a simulated unit received.
#pragma once

#include "sim_process.h"

#include "protocol/parameter_image.h"
#include "protocol/send_slots.h"

inline QByteArray SlotBlockHex(int slot) {
    const quellaton::SlotBlock b = quellaton::BlockOfSlot(slot);
    return QByteArray::number(b.block, 16).rightJustified(2, '0').toUpper() +
           QByteArray::number(b.group, 16).rightJustified(2, '0').toUpper();
}

// The blocks whose bytes differ between two images, in slot order: the order in which the send
// queue writes them.
inline QList<QByteArray> DifferingBlocks(const quellaton::ParameterImage& a,
                                         const quellaton::ParameterImage& b) {
    QList<QByteArray> blocks;
    for (int slot = 1; slot <= quellaton::BlockSlotCount; ++slot) {
        const quellaton::SlotBlock s = quellaton::BlockOfSlot(slot);
        if (slot != quellaton::SystemWriteSlot &&
            quellaton::BlockPayload(a, s.block, s.group) !=
                quellaton::BlockPayload(b, s.block, s.group)) {
            blocks.append(SlotBlockHex(slot));
        }
    }
    return blocks;
}

// The block writes the unit received, from log line `from` on.
inline QList<QByteArray> ReceivedBlockWrites(const SimProcess& sim, int from = 0) {
    QList<QByteArray> writes;
    for (const QByteArray& frame : sim.frames().mid(from)) {
        if (frame.mid(8, 4) == "A100") {
            writes.append(frame.mid(12, 4));
        }
    }
    return writes;
}
