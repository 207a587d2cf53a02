// The line to the units: the serial driver, the frame reader that turns what it receives into
// replies, and the address of the unit spoken to. Requests go out through send(); every reply
// goes to the operations that await one (the claims, in the order they were made) and, when
// none takes it, to whoever handles the replies nobody awaits.
#pragma once

#include "link/serial_driver.h"
#include "model/unit_address.h"
#include "protocol/frame_reader.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

namespace quellaton {

// What an operation that awaits a reply implements.
class ReplyClaim {
public:
    virtual ~ReplyClaim() = default;
    // True when the claimant takes `reply`; it then goes to nobody else.
    virtual bool claim(const Reply& reply) = 0;
};

class UnitLink : public QObject {
    Q_OBJECT
public:
    explicit UnitLink(UnitAddress& address, QObject* parent = nullptr);
    ~UnitLink() override;

    SerialDriver& driver() { return driver_; }
    const SerialDriver& driver() const { return driver_; }
    UnitAddress& address() { return address_; }
    // The address byte the frames carry now.
    int addressByte() const { return address_.address(); }
    bool portOpen() const { return driver_.PortOpen(); }

    // Writes `frame`. `left` is told once it has left the line (true) or will not (false),
    // unless `context` has gone by then. False, and no call, when nothing was written.
    bool send(const QByteArray& frame, QObject* context = nullptr,
              std::function<void(bool)> left = {});
    // Empties the received text, as every request that awaits a reply does first.
    void clearReceived() { reader_.clear(); }

    void addClaim(ReplyClaim* claim);
    void removeClaim(ReplyClaim* claim);

signals:
    // A receive pass brought bytes; its replies follow.
    void bytesReceived();
    // Every reply, in arrival order, once it has been offered to the claims.
    void replyReceived(const quellaton::Reply& reply);
    // A reply no claim took.
    void unclaimedReply(const quellaton::Reply& reply);

private:
    struct Pending {
        QPointer<QObject> context;
        bool hasContext = false;
        std::function<void(bool)> left;
    };

    void onReceived(const QByteArray& bytes);
    void onFrameLeft(quint64 ticket, bool onLine);

    UnitAddress& address_;
    SerialDriver driver_;
    FrameReader reader_;
    QList<ReplyClaim*> claims_;
    QHash<quint64, Pending> pending_;
};

} // namespace quellaton
