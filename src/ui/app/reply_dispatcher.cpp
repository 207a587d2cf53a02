#include "app/reply_dispatcher.h"

#include "app/image_apply.h"
#include "protocol/frames.h"

namespace quellaton {

ReplyDispatcher::ReplyDispatcher(ProgramState& state, ShellWidgets& widgets, Connection& connection)
    : s_(state), w_(widgets), connection_(connection) {
    s_.driver.parser = [this] { Parse(); };
}

QString ReplyDispatcher::PresetNameText(const QByteArray& name) {
    const qsizetype end = name.indexOf('\0');
    return QString::fromLatin1(end < 0 ? name : name.left(end));
}

void ReplyDispatcher::Parse() {
    connection_.bytesReceived();
    const ParseResult result = ParseReceiveText(s_.driver.ReceiveText, s_.flags);
    if (result.system) {
        applySystem(*result.system);
    }
    if (result.status) {
        applyStatus(*result.status, result.statusSearchHit);
    }
    if (result.idChangeAcknowledged) {
        TimerTable::Start(s_.timers.Timer2);
    }
    if (result.saveAcknowledged) {
        TimerTable::Start(s_.timers.Timer11);
    }
    applyBackup(result);
    if (result.imageReceived()) {
        applyImage(result);
    }
    if (result.presetNames) {
        applyNames(*result.presetNames);
    }
}

void ReplyDispatcher::applySystem(const SystemBlockReply& reply) {
    s_.system.lastLoadedPreset = reply.lastLoadedPreset;
    s_.system.systemByte1 = reply.systemByte1;
    s_.system.systemByte2 = reply.systemByte2;
    s_.system.protectTemperature = reply.protectTemperature;
    const int entry = reply.lastLoadedPreset - 1;
    if (entry >= 0 && entry < w_.devicePresetList->count()) {
        w_.devicePresetList->setCurrentIndex(entry);
    }
    w_.lastLoadedLabel->setText(reply.lastLoadedLabel);
    emit s_.systemBlockReceived();
}

void ReplyDispatcher::applyStatus(const StatusReply& reply, bool searchHit) {
    if (searchHit) {
        s_.foundTable.mark(s_.searchRow, s_.ProbeAddress);
    }
    w_.temperatureLabel->setText(reply.temperatureLabel);
    w_.attenuationLabel->setText(reply.attenuationLabel);
    emit s_.statusReceived(reply.temperatureLabel, reply.attenuationLabel);
}

void ReplyDispatcher::applyBackup(const ParseResult& result) {
    s_.backupList.append(result.backupLines);
    if (!result.backupComplete) {
        return;
    }
    s_.timers.Timer9.stop();
    w_.RzGroupBox1->hide();
    SetAreasEnabled(w_, true);
    TimerTable::Start(s_.timers.FSaveDialog4);
    TimerTable::Start(s_.timers.Timer1);
    TimerTable::Start(s_.timers.sendTimer);
}

void ReplyDispatcher::applyImage(const ParseResult& result) {
    s_.timers.chcon112.stop();
    switch (result.image) {
    case ImageAction::KeepForDistribution:
        s_.StoredImage = result.imageText;
        TimerTable::Start(s_.timers.trunon1);
        return;
    case ImageAction::SaveToFile:
        s_.saveList = {result.imageText};
        TimerTable::Start(s_.timers.FSaveDialog3);
        TimerTable::Start(s_.timers.Timer1);
        TimerTable::Start(s_.timers.sendTimer);
        return;
    case ImageAction::Apply:
        break;
    case ImageAction::None:
        return;
    }
    ApplyImage(s_, result.imageText);
    if (s_.StagedTransfer.active) {
        // The image dropped the frames a "Filters reset" was waiting to see written; its
        // progress would never finish and the window would stay locked.
        s_.StagedTransfer.active = false;
        s_.StagedTransfer.count = 0;
        UnlockAreas(w_);
    }
    w_.RzComboBox6->setEnabled(false);
    w_.RzComboBox1->setEnabled(false);
    if (result.recallCompleted) {
        s_.sendSlots.setPending(SystemReadSlot);
        s_.timers.Timer22.stop();
        s_.timers.Timer3.stop(); // the recall's progress is done
        w_.RzGroupBox1->hide();
        SetAreasEnabled(w_, true);
        TimerTable::Start(s_.timers.Timer1);
        TimerTable::Start(s_.timers.sendTimer);
        return;
    }
    connection_.imageApplied();
    BlockingSerialDriver& d = s_.driver;
    d.ReceiveText.clear();
    d.SendText = NameTableRead(s_.DeviceAddress);
    d.WriteFrame();
}

void ReplyDispatcher::applyNames(const std::array<QByteArray, 20>& names) {
    connection_.namesReceived();
    s_.presetNames = names;
    static const char* const prefixes[8] = {
        "Pre0:", "Pre1:", "Pre2:", "Pre3:", "Pre4:", "Pre5:", "Usr6:", "Usr7:"};
    {
        const QSignalBlocker blocker(w_.devicePresetList);
        w_.devicePresetList->clear();
        for (int k = 0; k < 8; ++k) {
            w_.devicePresetList->addItem(QLatin1String(prefixes[k]) + PresetNameText(names[k]));
        }
        w_.devicePresetList->setCurrentIndex(0);
    }
    // The user-slot selector goes to "Usr6:" and its change handler shows that slot's name.
    w_.RzComboBox11->setCurrentIndex(0);
    emit s_.presetNamesReceived();
    s_.sendSlots.setPending(SystemReadSlot);
    TimerTable::Start(s_.timers.sendTimer);
    TimerTable::Start(s_.timers.Timer1);
}

} // namespace quellaton
