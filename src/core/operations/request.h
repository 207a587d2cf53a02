// One request and the reply to it: the request goes out from an empty received text and the
// first reply of the awaited kind within the time-out is taken (the tools without a window ask
// a unit for its status, system block or name table this way).
#pragma once

#include "operations/operation.h"

namespace quellaton {

class Request : public Operation {
    Q_OBJECT
public:
    Request(UnitLink& link, QByteArray frame, Reply::Kind awaited, int timeoutMs,
            QObject* parent = nullptr);

    const Reply& reply() const { return reply_; }
    bool claim(const Reply& reply) override;

protected:
    void begin() override;

private:
    QByteArray frame_;
    Reply::Kind awaited_;
    Reply reply_;
    QTimer timeout_;
};

} // namespace quellaton
