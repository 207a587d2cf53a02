// A session with the units on one line: the model of the unit addressed, the line, the live
// writer, the connection and the operations a front end runs on them. The window and
// quellaton-cli both run the operations made here.
//
// An operation made here is started by the caller (after connecting to its signals) and is
// deleted some time after it has finished. The session keeps them apart as the window always
// has: a transfer abandons a save of the working set that still awaits the unit's image, a new
// name or ID change abandons the one before, and a connect or a disconnect abandons them all.
#pragma once

#include "model/unit_address.h"
#include "model/unit_model.h"
#include "operations/block_writes.h"
#include "operations/device_search.h"
#include "operations/filters_reset.h"
#include "operations/initial_data_load.h"
#include "operations/live_writer.h"
#include "operations/pacing.h"
#include "operations/preset_transfers.h"
#include "operations/request.h"
#include "operations/unit_connection.h"
#include "operations/unit_link.h"
#include "operations/unit_presets.h"

#include <QList>
#include <QObject>
#include <QPointer>

namespace quellaton {

class UnitSession : public QObject {
    Q_OBJECT
public:
    explicit UnitSession(QObject* parent = nullptr);
    ~UnitSession() override;

    UnitAddress& address() { return address_; }
    UnitModel& model() { return model_; }
    UnitLink& link() { return link_; }
    LiveWriter& writer() { return writer_; }
    UnitConnection& connection() { return connection_; }

    SaveOnePreset* saveOnePreset(int timeoutMs = pacing::SaveOneTimeoutMs);
    SaveAllPresets* saveAllPresets();
    LoadOnePreset* loadOnePreset(const QByteArray& imageText);
    LoadAllPresets* loadAllPresets(const QList<QByteArray>& lines, int namesTimeoutMs = 0);
    RecallPreset* recallPreset(int preset);
    StoreName* storeName(int slot, const QByteArray& name, int ackTimeoutMs = 0);
    ChangeId* changeId(int newId, int ackTimeoutMs = 0);
    FiltersReset* resetFilters(int section);
    // Prepared block frames written through the send queue (which this sets going).
    QueuedBlockWrites* writeBlocks(const QList<QueuedBlockWrites::Block>& blocks);
    InitialDataLoad* initialDataLoad();
    // Single requests to the unit addressed now: its status, its system block, its name table.
    Request* readStatus(int timeoutMs);
    Request* readSystem(int timeoutMs);
    Request* readNames(int timeoutMs);
    // Probes every port at once, each on a line of its own (this session's line must be
    // closed).
    DeviceSearch* search(const PortList& ports, int firstAddress, int lastAddress, int pauseMs);

    // A search is running on the session's line.
    bool searching() const { return search_ && search_->running(); }
    // Every operation that runs now, oldest first.
    QList<Operation*> runningOperations() const;
    // Ends every running operation and a search (the program closing).
    void abortAll();

private:
    template <typename Op> Op* adopt(Op* op);
    void operationStarted(Operation* op);
    void abortOperations();

    UnitAddress address_;
    UnitModel model_;
    UnitLink link_;
    LiveWriter writer_;
    UnitConnection connection_;
    QList<QPointer<Operation>> operations_;
    QPointer<DeviceSearch> search_;
};

} // namespace quellaton
