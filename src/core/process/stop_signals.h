// SIGINT and SIGTERM as a Qt signal: a program that runs until it is stopped (quellaton-cli
// monitor, the remote service) ends through its event loop, so files are finished and ports
// closed as on any other exit. The handler only writes a byte into a pipe; the event loop reads
// it.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace quellaton {

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

} // namespace quellaton
