#include "operations/operation.h"

#include "operations/timer_setup.h"
#include "protocol/frames.h"
#include "protocol/parameter_image.h"

#include <QMetaObject>

#include <algorithm>

namespace quellaton {

Operation::Operation(UnitLink& link, QObject* parent) : QObject(parent), link_(link) {
    SetUpTimer(pause_, this, "stepPause", 0, true);
    connect(&pause_, &QTimer::timeout, this, [this] {
        if (running_ && afterPause_) {
            const auto next = std::move(afterPause_);
            afterPause_ = nullptr;
            next();
        }
    });
    connect(&link_.driver(), &SerialDriver::stateChanged, this,
            [this](SerialDriver::DriverState state) {
                if (running_ && endsWithThePort() &&
                    (state == SerialDriver::DriverState::Broken ||
                     state == SerialDriver::DriverState::Closed)) {
                    finish(Result::PortLost);
                }
            });
}

Operation::~Operation() {
    if (claiming_) {
        link_.removeClaim(this);
    }
}

void Operation::start() {
    if (running_ || ended_) {
        return;
    }
    running_ = true;
    emit started();
    if (running_) {
        begin();
    }
}

void Operation::abort() {
    if (running_) {
        finish(Result::Aborted);
    }
}

void Operation::finish(Result result) {
    if (!running_) {
        return;
    }
    running_ = false;
    ended_ = true;
    result_ = result;
    // An ended operation does nothing more: every timer it owns stops with it.
    for (QTimer* timer : findChildren<QTimer*>(Qt::FindDirectChildrenOnly)) {
        timer->stop();
    }
    afterPause_ = nullptr;
    if (claiming_) {
        claiming_ = false;
        link_.removeClaim(this);
    }
    end(result);
    emit finished(result);
}

void Operation::claimReplies() {
    if (!claiming_) {
        claiming_ = true;
        link_.addClaim(this);
    }
}

void Operation::setUpTimeout(QTimer& timer, const char* name, int ms) {
    SetUpTimer(timer, this, name, std::max(ms, 0), true);
    connect(&timer, &QTimer::timeout, this, [this] { finish(Result::TimedOut); });
}

void Operation::write(const QByteArray& frame, std::function<void(bool)> then) {
    auto step = [this, then = std::move(then)](bool left) {
        if (running_ && then) {
            then(left);
        }
    };
    if (!link_.send(frame, this, step)) {
        QMetaObject::invokeMethod(
            this, [step] { step(false); }, Qt::QueuedConnection);
    }
}

void Operation::after(int ms, std::function<void()> then) {
    afterPause_ = std::move(then);
    pause_.start(ms);
}

void Operation::writeImage(int address, int counter, const QByteArray& imageText, int headPauseMs,
                           std::function<void()> then) {
    const QByteArray head =
        counter == ImageWriteCounter ? ImageWriteHead(address) : SlotWriteHead(address, counter);
    const QByteArray rest = ImageWriteRest(address, counter, ImagePayloadFromText(imageText));
    write(head, [this, rest, headPauseMs, then = std::move(then)](bool) {
        after(headPauseMs, [this, rest, then] { write(rest, [then](bool) { then(); }); });
    });
}

} // namespace quellaton
