#include "presets/device_presets.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include "app/key_filter.h"
#include "app/messages.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QTimer>

namespace quellaton {

DevicePresets::DevicePresets(UnitSession& session, ShellWidgets& widgets, TForm5& confirmation,
                             Connection& connection, WaySelection& selection, bool& commitArmed,
                             QWidget* window)
    : QObject(window), session_(session), w_(widgets), confirmation_(confirmation),
      connection_(connection), selection_(selection), window_(window), commitArmed_(commitArmed) {
    connect(w_.RzButton9, &QPushButton::clicked, this, &DevicePresets::RzButton9Click);
    connect(w_.RzButton10, &QPushButton::clicked, this, &DevicePresets::RzButton10Click);
    connect(w_.RzComboBox11, &QComboBox::currentIndexChanged, this,
            &DevicePresets::RzComboBox11Change);
    UnitModel& model = session_.model();
    connect(&model, &UnitModel::presetNamesReplaced, this, &DevicePresets::namesArrived);
    connect(&model, &UnitModel::presetNameChanged, this, &DevicePresets::nameStored);
    connect(&model, &UnitModel::systemChanged, this, &DevicePresets::systemArrived);

    w_.RzEdit1->setMaxLength(NameMaxLength);
    new KeyFilter(
        w_.RzEdit1, QString(), [this] { RzButton10Click(); }, true);
    // Pasted text obeys the same rule as typed keys: printable characters from blank to "~".
    w_.RzEdit1->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[ -~]{0,19}")), w_.RzEdit1));
    w_.RzEdit1->installEventFilter(this);
}

bool DevicePresets::connected() const {
    return session_.link().portOpen();
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
    const PresetNames& names = session_.model().presetNames();
    if (slot < 1 || slot > int(names.size())) {
        return {};
    }
    return PresetNameText(names[std::size_t(slot - 1)]);
}

void DevicePresets::RzComboBox11Change() {
    const int slot = FirstUserPreset + std::max(0, w_.RzComboBox11->currentIndex());
    w_.RzEdit1->setText(userName(slot));
}

// The name table: the list anew, both selectors on their first entry, the "Usr6:" name shown.
void DevicePresets::namesArrived() {
    const PresetNames& names = session_.model().presetNames();
    {
        const QSignalBlocker blocker(w_.devicePresetList);
        w_.devicePresetList->clear();
        for (int preset = 1; preset <= PresetListCount; ++preset) {
            w_.devicePresetList->addItem(PresetListEntry(preset, names[std::size_t(preset - 1)]));
        }
        w_.devicePresetList->setCurrentIndex(0);
    }
    w_.RzComboBox11->setCurrentIndex(0);
    RzComboBox11Change();
}

// A stored name: its list entry shows it, and the list keeps its selected position.
void DevicePresets::nameStored(int slot) {
    if (slot >= 1 && slot <= w_.devicePresetList->count()) {
        w_.devicePresetList->setItemText(
            slot - 1, PresetListEntry(slot, session_.model().presetNames()[std::size_t(slot - 1)]));
    }
}

// A system block: the list selects the preset loaded last, and the label says which it is.
void DevicePresets::systemArrived() {
    const int preset = session_.model().system().lastLoadedPreset;
    const int entry = preset - 1;
    if (entry >= 0 && entry < w_.devicePresetList->count()) {
        w_.devicePresetList->setCurrentIndex(entry);
    }
    w_.lastLoadedLabel->setText(LastLoadedLabel(preset));
}

// Recall: ask first, then the unit loads the preset and sends its image.
void DevicePresets::RzButton9Click() {
    if (!connected()) {
        return;
    }
    // The preset chosen now is the one recalled: a system reply arriving while the question is
    // open moves the list's selection to the last loaded preset.
    const int preset = w_.devicePresetList->currentIndex() + 1;
    if (confirmation_.ask(QStringLiteral("Loading a Preset will replace the active\rPreset.Do "
                                         "you want to proceed?"),
                          QStringLiteral("Yes"), true) == TForm5::Answer::First) {
        recall(preset);
    }
}

void DevicePresets::recall(int preset) {
    selection_.requestClose();
    RecallPreset* op = session_.recallPreset(preset);
    connect(op, &RecallPreset::requestSent, this, [this] {
        ShowProgressBox(w_, TransferBoxLeft, TransferBoxTop);
        SetAreasEnabled(w_, false);
    });
    connect(op, &Operation::progress, this,
            [this](int done, int) { w_.RzProgressBar1->setValue(10 * done); });
    connect(op, &Operation::finished, this, [this](Operation::Result result) {
        if (result == Operation::Result::TimedOut) {
            connection_.TimeoutEnding();
        } else if (result != Operation::Result::Aborted) {
            w_.RzGroupBox1->hide();
            SetAreasEnabled(w_, true);
        }
    });
    op->start();
}

// Save: the name goes to the chosen user slot at once, outside the send queue.
void DevicePresets::RzButton10Click() {
    if (!connected()) {
        return;
    }
    const QString name = TrimPresetName(w_.RzEdit1->text());
    w_.RzEdit1->setText(name);
    const int slot = FirstUserPreset + std::clamp(w_.RzComboBox11->currentIndex(), 0, 1);
    StoreName* op = session_.storeName(slot, PresetNameBytes(name));
    connect(op, &StoreName::acknowledged, this, [this] {
        QTimer::singleShot(0, this,
                           [this] { ShowMessage(window_, QStringLiteral("Successfully saved.")); });
    });
    op->start();
}

} // namespace quellaton
