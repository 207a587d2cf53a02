// What the operations tests share: a session on a simulated line, and running an operation
// to its end in the event loop.
#pragma once

#include "line_timing.h"
#include "sim_process.h"

#include "dsp/scales.h"
#include "operations/unit_session.h"
#include "protocol/frames.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

namespace quellaton::operations_test {

using State = UnitConnection::State;
using Result = Operation::Result;

// Runs the event loop until `op` has finished, or `timeoutMs` has passed.
inline bool WaitEnded(Operation* op, int timeoutMs) {
    QPointer<Operation> guard(op);
    return QTest::qWaitFor([&] { return !guard || guard->ended(); }, timeoutMs);
}

// Starts `op` and waits for its result; Aborted when it did not end in time. `inspect` sees the
// operation as it ends (the session deletes it soon after).
inline Result Run(Operation* op, int timeoutMs = 30000,
                  const std::function<void(Operation&)>& inspect = {}) {
    Result result = Result::Aborted;
    bool ended = false;
    QObject::connect(op, &Operation::finished, [&, op](Result r) {
        result = r;
        ended = true;
        if (inspect) {
            inspect(*op);
        }
    });
    op->start();
    const bool done = QTest::qWaitFor([&] { return ended; }, timeoutMs);
    return done ? result : Result::Aborted;
}

// A session with the simulator's link as the port, listed as the window lists given ports.
struct Rig {
    explicit Rig(QString ids = QStringLiteral("1"), QStringList args = {})
        : sim(std::move(ids), std::move(args)) {
        session.connection().setPortLister([this] { return FillPortList({sim.link()}); });
    }
    PortEntry port() const { return PortEntry{sim.link(), sim.link()}; }

    // Connects to device ID `id`; true once the names have arrived.
    bool connectTo(int id) {
        session.address().setDeviceId(id);
        session.connection().connectTo(port());
        return QTest::qWaitFor([&] { return session.connection().state() == State::Connected; },
                               5000);
    }
    // Opens the line without connecting (for the exchanges that need no connection).
    bool open() {
        session.link().driver().OpenPort(sim.link());
        session.link().driver().StartWatcher();
        return session.link().portOpen();
    }

    SimProcess sim;
    UnitSession session;
};

// A valid image reply text whose payload is `fill` everywhere.
inline QByteArray ImageText(char fill) {
    return ToHexText(
        DeviceFrame(0, ReadReply, 0, ParameterImageBlock, 0, QByteArray(ImagePayloadSize, fill)));
}

inline QList<QByteArray> SlotLines() {
    QList<QByteArray> lines;
    for (int slot = 1; slot <= PresetSlotCount; ++slot) {
        lines.append(ToHexText(DeviceFrame(0, ReadReply, quint8(slot), PresetSlotBlock, 0,
                                           QByteArray(ImagePayloadSize, char(slot)))));
    }
    return lines;
}

} // namespace quellaton::operations_test
