#include "operations/reopening_port.h"

#include "link/port_list.h"

namespace quellaton {

ReopeningPort::ReopeningPort(UnitSession& session, QString port, QObject* parent)
    : QObject(parent), session_(session), port_(std::move(port)) {
    SerialDriver& driver = session_.link().driver();
    connect(&driver, &SerialDriver::openFinished, this, &ReopeningPort::openFinished);
    connect(&driver, &SerialDriver::stateChanged, this, [this](SerialDriver::DriverState state) {
        if (state == SerialDriver::DriverState::Broken) {
            close();
        }
    });
}

ReopeningPort::~ReopeningPort() {
    session_.abortAll();
    session_.link().driver().ClosePort();
}

void ReopeningPort::open() {
    if (state_ != State::Closed) {
        return;
    }
    state_ = State::Opening;
    SerialDriver& driver = session_.link().driver();
    driver.OpenPort(ResolvePort(port_, FillPortList({})).location);
    // A network port reports its opening later; a device has opened (or not) by now.
    if (!driver.opening()) {
        openFinished(driver.PortOpen());
    }
}

void ReopeningPort::openFinished(bool ok) {
    if (state_ != State::Opening) {
        return;
    }
    if (!ok) {
        close();
        return;
    }
    session_.link().driver().StartWatcher();
    state_ = State::Open;
    emit opened();
}

void ReopeningPort::close() {
    if (state_ == State::Closed) {
        return;
    }
    state_ = State::Closed;
    session_.abortAll();
    session_.link().driver().ClosePort();
    emit lost();
}

} // namespace quellaton
