// A conversation with one unit on one line (or, for a broadcast, with every unit), for tools
// that run without a window: the same frames, parser, pauses and time-outs as the window,
// with every wait in the event loop. Each request either gives its answer or says why not.
#pragma once

#include "link/blocking_serial_driver.h"
#include "protocol/parameter_image.h"
#include "protocol/receive_parser.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <optional>

namespace quellaton {

class UnitSession : public QObject {
    Q_OBJECT
public:
    enum class Failure {
        None,
        PortUnavailable, // the port could not be opened
        NoReply,         // the unit did not answer in time (or only with damaged replies)
        PortLost,        // the port failed or vanished during the exchange
    };

    // Called with the step reached and the number of steps of a long transfer.
    using Progress = std::function<void(int done, int total)>;

    // `address` is the device ID minus 1, or 255 for every unit.
    UnitSession(QString portLocation, int address, QObject* parent = nullptr);

    bool open();
    void close();
    // Why the last request failed, and for PortUnavailable the system's reason.
    Failure failure() const { return failure_; }
    QString portError() const { return portError_; }
    BlockingSerialDriver& driver() { return driver_; }

    // The unit's working set as the 664-character text of its image reply.
    std::optional<QByteArray> readImage();
    std::optional<StatusReply> readStatus();
    std::optional<SystemBlockReply> readSystem();
    // The 20 preset names, 20 bytes each.
    std::optional<std::array<QByteArray, 20>> readNames();
    // The 20 preset slots, as image reply texts in slot order.
    std::optional<QList<QByteArray>> backupSlots(const Progress& progress = {});

    // Writes an image text (its payload) as the unit's working set, then waits as long as
    // the window keeps itself locked after a load.
    bool writeImage(const QByteArray& imageText, const Progress& progress = {});
    // Writes 20 image texts into the slots, then asks for the name table as the window does;
    // done when the unit has answered it.
    bool restoreSlots(const QList<QByteArray>& lines, const Progress& progress = {});
    // Recalls preset 1..8 into the working set.
    bool recall(int preset);
    // Stores a user preset name (slot 7 or 8); done when the unit acknowledges it.
    bool storeName(int slot, const QByteArray& name);
    // Gives the unit a new device ID, keeping its other system values; done when the unit
    // acknowledges it. The session then talks to the new ID.
    bool changeId(int newId);
    // Writes an image text to every unit on the line (the session's address must be 255).
    bool broadcastImage(const QByteArray& imageText, const Progress& progress = {});

signals:
    void replied();

private:
    void parse();
    void send(const QByteArray& frame);
    bool await(const std::function<bool()>& done, int timeoutMs);
    bool lost() const;
    void start(const ParserFlags& flags);
    // Sends `frame` with `flags` set and waits for `reply` to be filled.
    template <typename Reply>
    std::optional<Reply> ask(const QByteArray& frame, const std::optional<Reply>& reply,
                             int timeoutMs, ParserFlags flags = {});

    BlockingSerialDriver driver_;
    int address_;
    ParserFlags flags_;
    Failure failure_ = Failure::None;
    QString portError_;

    std::optional<QByteArray> image_;
    bool recallDone_ = false;
    std::optional<StatusReply> status_;
    std::optional<SystemBlockReply> system_;
    std::optional<std::array<QByteArray, 20>> names_;
    QList<QByteArray> slots_;
    bool backupComplete_ = false;
    bool idAcknowledged_ = false;
    bool nameAcknowledged_ = false;
};

} // namespace quellaton
