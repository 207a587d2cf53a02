#include "operations/request.h"

namespace quellaton {

Request::Request(UnitLink& link, QByteArray frame, Reply::Kind awaited, int timeoutMs,
                 QObject* parent)
    : Operation(link, parent), frame_(std::move(frame)), awaited_(awaited) {
    setUpTimeout(timeout_, "requestTimeout", timeoutMs);
}

void Request::begin() {
    claimReplies();
    link_.clearReceived();
    timeout_.start();
    write(frame_, [](bool) {});
}

bool Request::claim(const Reply& reply) {
    if (reply.kind != awaited_) {
        return false;
    }
    reply_ = reply;
    finish(Result::Done);
    return true;
}

} // namespace quellaton
