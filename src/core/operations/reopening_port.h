// The port of a line that is watched for a long time (a monitor, the remote service): opened
// when asked, and closed at once, with every operation on it ended, when it fails or vanishes,
// so that its owner can open it again later.
#pragma once

#include "operations/unit_session.h"

#include <QObject>
#include <QString>

namespace quellaton {

class ReopeningPort : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Opening, Open };

    // `port` as the user named it: a port of the list, a device path or a network address.
    ReopeningPort(UnitSession& session, QString port, QObject* parent = nullptr);
    // Ends what runs on the port and closes it.
    ~ReopeningPort() override;

    State state() const { return state_; }
    const QString& port() const { return port_; }

    // Opens the port when it is closed; opened() or lost() follows.
    void open();

signals:
    void opened();
    // The port could not be opened, or failed or vanished while open. Every operation on it
    // has ended and it is closed.
    void lost();

private:
    void openFinished(bool ok);
    void close();

    UnitSession& session_;
    QString port_;
    State state_ = State::Closed;
};

} // namespace quellaton
