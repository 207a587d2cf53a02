#include "operations/unit_session.h"

#include "protocol/frames.h"

namespace quellaton {

namespace {

// The exchanges that hold the line for themselves; each abandons a save of the working set
// still awaiting its image.
bool HoldsTheLine(const Operation* op) {
    return qobject_cast<const SaveOnePreset*>(op) || qobject_cast<const SaveAllPresets*>(op) ||
           qobject_cast<const LoadOnePreset*>(op) || qobject_cast<const LoadAllPresets*>(op) ||
           qobject_cast<const RecallPreset*>(op) || qobject_cast<const InitialDataLoad*>(op);
}

} // namespace

UnitSession::UnitSession(QObject* parent)
    : QObject(parent), link_(address_), writer_(link_, model_),
      connection_(link_, model_, writer_) {
    // Whatever ran belongs to the connection that is going or about to be replaced.
    connect(&connection_, &UnitConnection::connecting, this, &UnitSession::abortAll);
    connect(&connection_, &UnitConnection::stateChanged, this, [this](UnitConnection::State state) {
        if (state == UnitConnection::State::Disconnecting) {
            abortOperations();
        }
    });
}

UnitSession::~UnitSession() {
    // The operations and the search refer to the line and the model: they go first.
    if (search_) {
        delete search_.data();
    }
    for (const QPointer<Operation>& op : operations_) {
        if (op) {
            disconnect(op, nullptr, this, nullptr);
            op->abort();
            delete op.data();
        }
    }
}

template <typename Op> Op* UnitSession::adopt(Op* op) {
    operations_.append(op);
    connect(op, &Operation::started, this, [this, op] { operationStarted(op); });
    connect(op, &Operation::finished, op, &QObject::deleteLater);
    return op;
}

void UnitSession::operationStarted(Operation* started) {
    operations_.removeAll(nullptr);
    for (Operation* op : runningOperations()) {
        if (op == started) {
            continue;
        }
        const bool sameKind = op->metaObject() == started->metaObject() &&
                              (qobject_cast<StoreName*>(op) || qobject_cast<ChangeId*>(op) ||
                               qobject_cast<SaveOnePreset*>(op));
        const bool abandoned = qobject_cast<SaveOnePreset*>(op) && HoldsTheLine(started);
        if (sameKind || abandoned) {
            op->abort();
        }
    }
}

QList<Operation*> UnitSession::runningOperations() const {
    QList<Operation*> running;
    for (const QPointer<Operation>& op : operations_) {
        if (op && op->running()) {
            running.append(op.data());
        }
    }
    return running;
}

void UnitSession::abortOperations() {
    for (Operation* op : runningOperations()) {
        op->abort();
    }
}

void UnitSession::abortAll() {
    abortOperations();
    if (search_ && search_->running()) {
        search_->requestStop();
    }
}

SaveOnePreset* UnitSession::saveOnePreset(int timeoutMs) {
    return adopt(new SaveOnePreset(link_, writer_, timeoutMs, this));
}

QueuedBlockWrites* UnitSession::writeBlocks(const QList<QueuedBlockWrites::Block>& blocks) {
    return adopt(new QueuedBlockWrites(link_, writer_, blocks, this));
}

SaveAllPresets* UnitSession::saveAllPresets() {
    return adopt(new SaveAllPresets(link_, writer_, this));
}

LoadOnePreset* UnitSession::loadOnePreset(const QByteArray& imageText) {
    return adopt(new LoadOnePreset(link_, writer_, model_, imageText, this));
}

LoadAllPresets* UnitSession::loadAllPresets(const QList<QByteArray>& lines, int namesTimeoutMs) {
    return adopt(new LoadAllPresets(link_, writer_, lines, namesTimeoutMs, this));
}

RecallPreset* UnitSession::recallPreset(int preset) {
    return adopt(new RecallPreset(link_, writer_, model_, preset, this));
}

StoreName* UnitSession::storeName(int slot, const QByteArray& name, int ackTimeoutMs) {
    return adopt(new StoreName(link_, writer_, model_, slot, name, ackTimeoutMs, this));
}

ChangeId* UnitSession::changeId(int newId, int ackTimeoutMs) {
    return adopt(new ChangeId(link_, writer_, model_, newId, ackTimeoutMs, this));
}

FiltersReset* UnitSession::resetFilters(int section) {
    return adopt(new FiltersReset(link_, writer_, model_, section, this));
}

InitialDataLoad* UnitSession::initialDataLoad() {
    return adopt(new InitialDataLoad(link_, writer_, model_, this));
}

Request* UnitSession::readStatus(int timeoutMs) {
    return adopt(
        new Request(link_, StatusPoll(address_.address()), Reply::Kind::Status, timeoutMs, this));
}

Request* UnitSession::readSystem(int timeoutMs) {
    return adopt(
        new Request(link_, SystemRead(address_.address()), Reply::Kind::System, timeoutMs, this));
}

Request* UnitSession::readNames(int timeoutMs) {
    return adopt(new Request(link_, NameTableRead(address_.address()), Reply::Kind::NameTable,
                             timeoutMs, this));
}

DeviceSearch* UnitSession::search(const PortList& ports, int firstAddress, int lastAddress,
                                  int pauseMs) {
    if (search_) {
        search_->requestStop();
        search_->deleteLater();
    }
    search_ = new DeviceSearch(&link_, ports, firstAddress, lastAddress, pauseMs,
                               DeviceSearch::Mode::AllAtOnce, this);
    connect(search_, &DeviceSearch::finished, search_, &QObject::deleteLater);
    return search_;
}

} // namespace quellaton
