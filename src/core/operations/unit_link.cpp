#include "operations/unit_link.h"

namespace quellaton {

UnitLink::UnitLink(UnitAddress& address, QObject* parent)
    : QObject(parent), address_(address), driver_(this) {
    connect(&driver_, &SerialDriver::received, this, &UnitLink::onReceived);
    connect(&driver_, &SerialDriver::frameLeft, this, &UnitLink::onFrameLeft);
}

UnitLink::~UnitLink() {
    // No callback outlives the link.
    pending_.clear();
    claims_.clear();
    disconnect(&driver_, nullptr, this, nullptr);
}

bool UnitLink::send(const QByteArray& frame, QObject* context, std::function<void(bool)> left) {
    const quint64 ticket = driver_.WriteFrame(frame);
    if (ticket == 0) {
        return false;
    }
    if (left) {
        pending_.insert(ticket, Pending{context, context != nullptr, std::move(left)});
    }
    return true;
}

void UnitLink::onFrameLeft(quint64 ticket, bool onLine) {
    const auto it = pending_.find(ticket);
    if (it == pending_.end()) {
        return;
    }
    const Pending pending = it.value();
    pending_.erase(it);
    if (pending.hasContext && !pending.context) {
        return;
    }
    pending.left(onLine);
}

void UnitLink::addClaim(ReplyClaim* claim) {
    if (claim && !claims_.contains(claim)) {
        claims_.append(claim);
    }
}

void UnitLink::removeClaim(ReplyClaim* claim) {
    claims_.removeAll(claim);
}

void UnitLink::onReceived(const QByteArray& bytes) {
    const ReadResult result = reader_.feed(bytes);
    emit bytesReceived();
    for (const Reply& reply : result.replies) {
        bool taken = false;
        // A claimant may finish (and withdraw its claim) while it takes the reply.
        const QList<ReplyClaim*> claims = claims_;
        for (ReplyClaim* claim : claims) {
            if (claims_.contains(claim) && claim->claim(reply)) {
                taken = true;
                break;
            }
        }
        if (!taken) {
            emit unclaimedReply(reply);
        }
        emit replyReceived(reply);
    }
}

} // namespace quellaton
