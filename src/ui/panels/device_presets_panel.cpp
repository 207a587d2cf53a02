#include "panels/device_presets_panel.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

#include "common/key_filter.h"
#include "common/messages.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QTimer>

namespace quellaton {

DevicePresetsPanel::DevicePresetsPanel(UnitSession& session, ShellWidgets& widgets,
                                       ConfirmationDialog& confirmation,
                                       ConnectionPanel& connection, WaySelection& selection,
                                       bool& commitArmed, QWidget* window)
    : QObject(window), session_(session), w_(widgets), confirmation_(confirmation),
      connection_(connection), selection_(selection), window_(window), commitArmed_(commitArmed) {
    connect(w_.recallButton, &QPushButton::clicked, this, &DevicePresetsPanel::recallClicked);
    connect(w_.storeNameButton, &QPushButton::clicked, this, &DevicePresetsPanel::storeNameClicked);
    connect(w_.userSlotList, &QComboBox::currentIndexChanged, this,
            &DevicePresetsPanel::userSlotChosen);
    UnitModel& model = session_.model();
    connect(&model, &UnitModel::presetNamesReplaced, this, &DevicePresetsPanel::namesArrived);
    connect(&model, &UnitModel::presetNameChanged, this, &DevicePresetsPanel::nameStored);
    connect(&model, &UnitModel::systemChanged, this, &DevicePresetsPanel::systemArrived);

    new KeyFilter(
        w_.presetNameField, QString(), [this] { storeNameClicked(); }, true);
    // Pasted text obeys the same rule as typed keys: printable characters from blank to "~".
    w_.presetNameField->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[ -~]{0,%1}").arg(PresetNameMaxLength)),
        w_.presetNameField));
    w_.presetNameField->installEventFilter(this);
}

bool DevicePresetsPanel::connected() const {
    return session_.link().portOpen();
}

bool DevicePresetsPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == w_.presetNameField) {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            nameFieldClicked();
        } else if (event->type() == QEvent::FocusOut) {
            // Leaving the field for another control; the window losing focus to a box or
            // another application is not leaving it.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
                nameFieldLeft();
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void DevicePresetsPanel::nameFieldClicked() {
    if (commitArmed_) {
        w_.presetNameField->selectAll();
        commitArmed_ = false;
    }
}

void DevicePresetsPanel::nameFieldLeft() {
    commitArmed_ = true;
}

QString DevicePresetsPanel::userName(int slot) const {
    const PresetNames& names = session_.model().presetNames();
    if (slot < 1 || slot > int(names.size())) {
        return {};
    }
    return PresetNameText(names[std::size_t(slot - 1)]);
}

void DevicePresetsPanel::userSlotChosen() {
    const int slot = FirstUserPreset + std::max(0, w_.userSlotList->currentIndex());
    w_.presetNameField->setText(userName(slot));
}

// The name table: the list anew, both selectors on their first entry, the "Usr6:" name shown.
void DevicePresetsPanel::namesArrived() {
    const PresetNames& names = session_.model().presetNames();
    {
        const QSignalBlocker blocker(w_.devicePresetList);
        w_.devicePresetList->clear();
        for (int preset = 1; preset <= PresetListCount; ++preset) {
            w_.devicePresetList->addItem(PresetListEntry(preset, names[std::size_t(preset - 1)]));
        }
        w_.devicePresetList->setCurrentIndex(0);
    }
    w_.userSlotList->setCurrentIndex(0);
    userSlotChosen();
}

// A stored name: its list entry shows it, and the list keeps its selected position.
void DevicePresetsPanel::nameStored(int slot) {
    if (slot >= 1 && slot <= w_.devicePresetList->count()) {
        w_.devicePresetList->setItemText(
            slot - 1, PresetListEntry(slot, session_.model().presetNames()[std::size_t(slot - 1)]));
    }
}

// A system block: the list selects the preset loaded last, and the label says which it is.
void DevicePresetsPanel::systemArrived() {
    const int preset = session_.model().system().lastLoadedPreset;
    const int entry = preset - 1;
    if (entry >= 0 && entry < w_.devicePresetList->count()) {
        w_.devicePresetList->setCurrentIndex(entry);
    }
    w_.lastLoadedLabel->setText(LastLoadedLabel(preset));
}

// Recall: ask first, then the unit loads the preset and sends its image.
void DevicePresetsPanel::recallClicked() {
    if (!connected()) {
        return;
    }
    // The preset chosen now is the one recalled: a system reply arriving while the question is
    // open moves the list's selection to the last loaded preset.
    const int preset = w_.devicePresetList->currentIndex() + 1;
    if (confirmation_.ask(QStringLiteral("Loading a Preset will replace the active\rPreset.Do "
                                         "you want to proceed?"),
                          QStringLiteral("Yes"), true) == ConfirmationDialog::Answer::First) {
        recall(preset);
    }
}

void DevicePresetsPanel::recall(int preset) {
    selection_.requestClose();
    RecallPreset* op = session_.recallPreset(preset);
    connect(op, &RecallPreset::requestSent, this, [this] {
        ShowProgressBox(w_, TransferBoxLeft, TransferBoxTop);
        SetAreasEnabled(w_, false);
    });
    connect(op, &Operation::progress, this,
            [this](int done, int) { w_.progressBar->setValue(10 * done); });
    connect(op, &Operation::finished, this, [this](Operation::Result result) {
        if (result == Operation::Result::TimedOut) {
            connection_.TimeoutEnding();
        } else if (result != Operation::Result::Aborted) {
            w_.progressPanel->hide();
            SetAreasEnabled(w_, true);
        }
    });
    op->start();
}

// Save: the name goes to the chosen user slot at once, outside the send queue.
void DevicePresetsPanel::storeNameClicked() {
    if (!connected()) {
        return;
    }
    const QString name = TrimPresetName(w_.presetNameField->text());
    w_.presetNameField->setText(name);
    const int slot = FirstUserPreset + std::clamp(w_.userSlotList->currentIndex(), 0, 1);
    StoreName* op = session_.storeName(slot, PresetNameBytes(name));
    connect(op, &StoreName::acknowledged, this, [this] {
        QTimer::singleShot(0, this,
                           [this] { ShowMessage(window_, QStringLiteral("Successfully saved.")); });
    });
    op->start();
}

} // namespace quellaton
