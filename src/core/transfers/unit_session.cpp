#include "transfers/unit_session.h"

#include "link/pump_wait.h"
#include "protocol/frames.h"
#include "transfers/line_steps.h"
#include "transfers/pacing.h"

#include <QEventLoop>
#include <QTimer>

namespace quellaton {

namespace {
// A short request (status, system block, acknowledgements) counts as unanswered after the
// time the window's watchdog gives a poll.
constexpr int ShortReplyTimeoutMs = pacing::PollWatchdogMs;
} // namespace

UnitSession::UnitSession(QString portLocation, int address, QObject* parent)
    : QObject(parent), address_(address) {
    driver_.PortLocation = std::move(portLocation);
    driver_.parser = [this] { parse(); };
}

bool UnitSession::open() {
    driver_.OpenPort();
    if (!driver_.PortOpen()) {
        failure_ = Failure::PortUnavailable;
        portError_ = driver_.openFailureReason();
        return false;
    }
    driver_.StartWatcher();
    failure_ = Failure::None;
    return true;
}

void UnitSession::close() {
    driver_.ClosePort();
}

bool UnitSession::lost() const {
    return driver_.state() != BlockingSerialDriver::DriverState::Receiving;
}

void UnitSession::parse() {
    const ParseResult r = ParseReceiveText(driver_.ReceiveText, flags_);
    if (r.imageReceived()) {
        image_ = r.imageText.left(ImageReplyChars);
        recallDone_ = r.recallCompleted;
    }
    if (r.status) {
        status_ = r.status;
    }
    if (r.system) {
        system_ = r.system;
    }
    if (r.presetNames) {
        names_ = r.presetNames;
    }
    slots_ += r.backupLines;
    backupComplete_ = backupComplete_ || r.backupComplete;
    idAcknowledged_ = idAcknowledged_ || r.idChangeAcknowledged;
    nameAcknowledged_ = nameAcknowledged_ || r.saveAcknowledged;
    emit replied();
}

// A new request: the replies and parser flags of the one before are forgotten.
void UnitSession::start(const ParserFlags& flags) {
    flags_ = flags;
    image_.reset();
    recallDone_ = false;
    status_.reset();
    system_.reset();
    names_.reset();
    slots_.clear();
    backupComplete_ = false;
    idAcknowledged_ = false;
    nameAcknowledged_ = false;
}

// Every request starts from an empty receive text, as the window's do.
void UnitSession::send(const QByteArray& frame) {
    driver_.ReceiveText.clear();
    driver_.SendText = frame;
    driver_.WriteFrame();
}

bool UnitSession::await(const std::function<bool()>& done, int timeoutMs) {
    if (!done() && !lost()) {
        QEventLoop loop;
        QTimer timeout;
        timeout.setSingleShot(true);
        connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        auto check = [&] {
            if (done() || lost()) {
                loop.quit();
            }
        };
        connect(this, &UnitSession::replied, &loop, check);
        connect(&driver_, &BlockingSerialDriver::stateChanged, &loop, check);
        timeout.start(timeoutMs);
        loop.exec();
    }
    if (done()) {
        failure_ = Failure::None;
        return true;
    }
    failure_ = lost() ? Failure::PortLost : Failure::NoReply;
    return false;
}

template <typename Reply>
std::optional<Reply> UnitSession::ask(const QByteArray& frame, const std::optional<Reply>& reply,
                                      int timeoutMs, ParserFlags flags) {
    start(flags);
    send(frame);
    if (!await([&reply] { return reply.has_value(); }, timeoutMs)) {
        flags_ = {}; // a late reply is not taken for this request
        return std::nullopt;
    }
    return reply;
}

std::optional<QByteArray> UnitSession::readImage() {
    ParserFlags flags;
    flags.saveUnitImage = true;
    return ask(ImageRead(address_), image_, pacing::ImageTimeoutMs, flags);
}

std::optional<StatusReply> UnitSession::readStatus() {
    return ask(StatusPoll(address_), status_, ShortReplyTimeoutMs);
}

std::optional<SystemBlockReply> UnitSession::readSystem() {
    return ask(SystemRead(address_), system_, ShortReplyTimeoutMs);
}

std::optional<std::array<QByteArray, 20>> UnitSession::readNames() {
    return ask(NameTableRead(address_), names_, pacing::NamesTimeoutMs);
}

std::optional<QList<QByteArray>> UnitSession::backupSlots(const Progress& progress) {
    ParserFlags flags;
    flags.backup = true;
    start(flags);
    QElapsedTimer clock;
    clock.start();
    // One slot read a tick, as the window's backup timer sends them.
    for (int n = 1; n <= PresetSlotCount && !lost(); ++n) {
        PumpWait(pacing::SlotReadIntervalMs);
        send(SlotRead(address_, n));
        if (progress) {
            progress(n, PresetSlotCount);
        }
    }
    const int left = int(std::max<qint64>(0, pacing::BackupTimeoutMs - clock.elapsed()));
    if (!await([this] { return backupComplete_; }, left)) {
        flags_.backup = false;
        return std::nullopt;
    }
    return slots_;
}

bool UnitSession::writeImage(const QByteArray& imageText, const Progress& progress) {
    if (!WriteImageFrames(driver_, address_, ImageWriteCounter, imageText)) {
        failure_ = Failure::PortLost;
        return false;
    }
    // The window stays locked this long after a load before it talks to the unit again.
    constexpr int Steps = 10;
    for (int step = 1; step <= Steps && !lost(); ++step) {
        PumpWait(pacing::LoadOneSettleMs / Steps);
        if (progress) {
            progress(step, Steps);
        }
    }
    failure_ = lost() ? Failure::PortLost : Failure::None;
    return !lost();
}

bool UnitSession::restoreSlots(const QList<QByteArray>& lines, const Progress& progress) {
    for (int n = 1; n <= PresetSlotCount; ++n) {
        PumpWait(pacing::SlotWriteIntervalMs);
        if (!WriteImageFrames(driver_, address_, n, lines.value(n - 1))) {
            failure_ = Failure::PortLost;
            return false;
        }
        if (progress) {
            progress(n, PresetSlotCount);
        }
    }
    PumpWait(pacing::RestoreEndPauseMs);
    start({});
    send(NameTableRead(address_));
    PumpWait(pacing::NameTableAfterRestorePauseMs);
    return await([this] { return names_.has_value(); }, pacing::NamesTimeoutMs);
}

bool UnitSession::recall(int preset) {
    ParserFlags flags;
    flags.recall = true;
    start(flags);
    PumpWait(pacing::TransferSettleMs);
    send(PresetRecall(address_, preset));
    const bool done = await([this] { return recallDone_; }, pacing::RecallTimeoutMs);
    flags_.recall = false;
    return done;
}

bool UnitSession::storeName(int slot, const QByteArray& name) {
    ParserFlags flags;
    flags.saveAwaited = true;
    start(flags);
    send(NameWrite(address_, slot, name));
    return await([this] { return nameAcknowledged_; }, ShortReplyTimeoutMs);
}

bool UnitSession::changeId(int newId) {
    // The system block carries the unit's other values too: they are written back unchanged.
    const std::optional<SystemBlockReply> current = readSystem();
    if (!current) {
        return false;
    }
    SystemValues values;
    values.lastLoadedPreset = current->lastLoadedPreset;
    values.systemByte1 = current->systemByte1;
    values.systemByte2 = current->systemByte2;
    values.protectTemperature = current->protectTemperature;
    ParserFlags flags;
    flags.idChangePending = true;
    start(flags);
    send(BlockWrite(address_, SystemBlockNumber, 0, SystemPayload(values, newId)));
    if (!await([this] { return idAcknowledged_; }, ShortReplyTimeoutMs)) {
        return false;
    }
    address_ = newId - 1;
    return true;
}

bool UnitSession::broadcastImage(const QByteArray& imageText, const Progress& progress) {
    if (progress) {
        progress(0, 2);
    }
    if (!DistributeImage(driver_, imageText, pacing::ImageHeadPauseMs)) {
        failure_ = Failure::PortLost;
        return false;
    }
    if (progress) {
        progress(1, 2);
    }
    PumpWait(pacing::BroadcastEndPauseMs);
    if (progress) {
        progress(2, 2);
    }
    failure_ = lost() ? Failure::PortLost : Failure::None;
    return !lost();
}

} // namespace quellaton
