// The timers an operation owns: each has a name (tests and tools find it by that), its
// interval, one shot or repeating, and counts precisely. A timer started while it runs keeps its
// countdown when started through StartKeeping().
#pragma once

#include <QTimer>

namespace quellaton {

inline void SetUpTimer(QTimer& timer, QObject* owner, const char* name, int ms, bool singleShot) {
    timer.setParent(owner);
    timer.setObjectName(QLatin1String(name));
    timer.setInterval(ms);
    timer.setSingleShot(singleShot);
    timer.setTimerType(Qt::PreciseTimer);
}

inline void StartKeeping(QTimer& timer) {
    if (!timer.isActive()) {
        timer.start();
    }
}

} // namespace quellaton
