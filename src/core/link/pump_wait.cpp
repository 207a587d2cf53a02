#include "link/pump_wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace quellaton {

void PumpWait(int milliseconds) {
    if (milliseconds <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(milliseconds);
    // Returns at once when the application is quitting, so loops that pump between steps
    // notice the closing window at their next test.
    loop.exec();
}

} // namespace quellaton
