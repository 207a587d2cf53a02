// SIGINT and SIGTERM as a Qt signal: a command that runs until it is stopped (monitor) ends
// through its event loop, so files are finished and ports closed as on any other exit. The
// handler only writes a byte into a pipe; the event loop reads it.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace quellaton::cli {

class StopSignals : public QObject {
    Q_OBJECT
public:
    StopSignals();
    ~StopSignals() override;

signals:
    void received();

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace quellaton::cli
