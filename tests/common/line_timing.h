// Pauses measured on a simulated line run at 9600 baud (quellaton-unit-sim --realtime).
#pragma once

#include "link/serial_driver.h"

#include <QList>
#include <QString>
#include <algorithm>

inline double LineMs(qsizetype bytes) {
    return double(quellaton::SerialDriver::LineTimeNs(bytes)) / 1e6;
}

// Pauses measured on the line: each gap from the start of a frame to the start of the next
// one, less the documented pause and the first frame's line time, is the excess, which the
// program keeps at zero or above. The simulator notices a frame a little late now and then
// on a busy machine, which shortens a single gap by as much as a few tens of milliseconds, so
// the typical (median) excess is held to that, and every single one only to a looser bound.
// A pause counted from the start of its frame instead shows in the median: a 10-byte frame
// takes 10.4 ms.
class PauseCheck {
public:
    void add(double gapMs, int pauseMs, qsizetype frameBytes, const char* what) {
        const double excess = gapMs - pauseMs - LineMs(frameBytes);
        excess_.append(excess);
        notes_ += QString(" %1:%2").arg(QLatin1String(what)).arg(excess, 0, 'f', 1);
    }
    bool ok() const {
        QList<double> sorted = excess_;
        std::sort(sorted.begin(), sorted.end());
        return !sorted.isEmpty() && sorted.first() >= -SingleSlackMs &&
               sorted[sorted.size() / 2] >= -TypicalSlackMs;
    }
    QString notes() const { return QStringLiteral("excess ms:") + notes_; }

private:
    static constexpr double SingleSlackMs = 30.0;
    static constexpr double TypicalSlackMs = 1.5;
    QList<double> excess_;
    QString notes_;
};
