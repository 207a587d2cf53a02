#include "presets/device_presets.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include "app/key_filter.h"
#include "app/messages.h"
#include "app/reply_dispatcher.h"
#include "link/pump_wait.h"
#include "presets/preset_files.h"
#include "protocol/frames.h"

#include <QFocusEvent>
#include <QMouseEvent>

namespace quellaton {

namespace {
constexpr int FirstUserSlot = 7; // "Usr6:" is preset 7 on the wire, "Usr7:" preset 8
} // namespace

DevicePresets::DevicePresets(ProgramState& state, ShellWidgets& widgets, Confirmation& confirmation,
                             bool& commitArmed, QWidget* window)
    : s_(state), w_(widgets), confirmation_(confirmation), window_(window),
      commitArmed_(commitArmed) {
    TimerTable& t = s_.timers;
    connect(&t.Timer19, &QTimer::timeout, this, &DevicePresets::Timer19Timer);
    connect(&t.Timer3, &QTimer::timeout, this, &DevicePresets::Timer3Timer);
    connect(&t.Timer11, &QTimer::timeout, this, &DevicePresets::Timer11Timer);

    connect(w_.RzButton9, &QPushButton::clicked, this, &DevicePresets::RzButton9Click);
    connect(w_.RzButton10, &QPushButton::clicked, this, &DevicePresets::RzButton10Click);
    connect(w_.RzComboBox11, &QComboBox::currentIndexChanged, this,
            &DevicePresets::RzComboBox11Change);
    // The name table selects "Usr6:" and shows its name, also when it was selected already.
    connect(&s_, &ProgramState::presetNamesReceived, this, &DevicePresets::RzComboBox11Change);

    w_.RzEdit1->setMaxLength(NameMaxLength);
    new KeyFilter(
        w_.RzEdit1, QString(), [this] { RzButton10Click(); }, true);
    // Pasted text obeys the same rule as typed keys: printable characters from blank to "~".
    w_.RzEdit1->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[ -~]{0,19}")), w_.RzEdit1));
    w_.RzEdit1->installEventFilter(this);
}

bool DevicePresets::connected() const {
    return s_.driver.PortOpen();
}

bool DevicePresets::eventFilter(QObject* watched, QEvent* event) {
    if (watched == w_.RzEdit1) {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            RzEdit1Click();
        } else if (event->type() == QEvent::FocusOut) {
            // Leaving the field for another control; the window losing focus to a box or
            // another application is not leaving it.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
                RzEdit1Exit();
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void DevicePresets::RzEdit1Click() {
    if (commitArmed_) {
        w_.RzEdit1->selectAll();
        commitArmed_ = false;
    }
}

void DevicePresets::RzEdit1Exit() {
    commitArmed_ = true;
}

QString DevicePresets::userName(int slot) const {
    if (slot < 1 || slot > int(s_.presetNames.size())) {
        return {};
    }
    return ReplyDispatcher::PresetNameText(s_.presetNames[std::size_t(slot - 1)]);
}

void DevicePresets::RzComboBox11Change() {
    const int slot = FirstUserSlot + std::max(0, w_.RzComboBox11->currentIndex());
    w_.RzEdit1->setText(userName(slot));
}

QString DevicePresets::TrimName(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) <= QLatin1Char(' ')) {
        ++first;
    }
    while (last > first && text.at(last - 1) <= QLatin1Char(' ')) {
        --last;
    }
    return text.mid(first, last - first);
}

QByteArray DevicePresets::NameBytes(const QString& text) {
    return TrimName(text).left(NameMaxLength).toLatin1();
}

// Recall: ask first; the worker runs 10 ms after the first button.
void DevicePresets::RzButton9Click() {
    if (!connected()) {
        return;
    }
    // The preset chosen now is the one recalled: a system reply arriving before the recall
    // starts moves the list's selection to the last loaded preset.
    recallPosition_ = w_.devicePresetList->currentIndex();
    confirmation_.AskConfirmation(
        RecallPresetKind,
        QStringLiteral("Loading a Preset will replace the active\rPreset.Do you want to proceed?"),
        QStringLiteral("Yes"), true);
}

void DevicePresets::Timer19Timer() {
    TimerTable& t = s_.timers;
    BlockingSerialDriver& d = s_.driver;
    t.Timer19.stop();
    emit s_.closePanelRequested();
    s_.flags.recall = true;
    PauseLink(s_);
    PumpWait(50);

    d.ReceiveText.clear();
    d.SendText = PresetRecall(s_.DeviceAddress, recallPosition_ + 1);
    d.WriteFrame();

    TimerTable::Start(t.Timer22);
    recallProgress_ = 0;
    TimerTable::Start(t.Timer3);
    ShowProgressBox(w_, TransferBoxLeft, TransferBoxTop);
    SetAreasEnabled(w_, false);
}

void DevicePresets::Timer3Timer() {
    recallProgress_ += 1;
    w_.RzProgressBar1->setValue(10 * recallProgress_);
    if (recallProgress_ >= 10) {
        s_.timers.Timer3.stop();
    }
}

// Save: the name goes to the chosen user slot at once, outside the send queue.
void DevicePresets::RzButton10Click() {
    if (!connected()) {
        return;
    }
    TimerTable& t = s_.timers;
    BlockingSerialDriver& d = s_.driver;
    const QString name = TrimName(w_.RzEdit1->text()).left(NameMaxLength);
    w_.RzEdit1->setText(name);

    t.Timer1.stop();
    t.sendTimer.stop();
    t.intimer.stop();
    s_.flags.saveAwaited = true;

    const int userIndex = std::clamp(w_.RzComboBox11->currentIndex(), 0, 1);
    const int slot = FirstUserSlot + userIndex;
    const QByteArray bytes = NameBytes(name);
    d.ReceiveText.clear();
    d.SendText = NameWrite(s_.DeviceAddress, slot, bytes);
    d.WriteFrame();

    // The list entry shows the new name; setItemText keeps the selected position.
    const int entry = slot - 1;
    if (entry < w_.devicePresetList->count()) {
        w_.devicePresetList->setItemText(entry, QStringLiteral("Usr%1:").arg(slot - 1) + name);
    }
    QByteArray stored = bytes;
    stored.append(QByteArray(PresetNameSize - stored.size(), '\0'));
    s_.presetNames[std::size_t(entry)] = stored;

    PumpWait(100);
    TimerTable::Start(t.Timer1);
    TimerTable::Start(t.sendTimer);
}

void DevicePresets::Timer11Timer() {
    s_.timers.Timer11.stop();
    s_.sendSlots.setPending(SystemReadSlot);
    ShowMessage(window_, QStringLiteral("Successfully saved."));
}

} // namespace quellaton
