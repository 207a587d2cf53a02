#include "editors/eq_editors.h"

#include "app/key_filter.h"
#include "dsp/scales.h"
#include "graph/response_graph.h"

#include <QSignalBlocker>
#include <algorithm>

namespace quellaton {

EqEditors::EqEditors(ProgramState& state, ShellWidgets& shell, EditorWidgets& widgets,
                     EditCommitState& commit, ChannelStrip& strip, ResponseGraph& graph,
                     QObject* parent)
    : QObject(parent), s_(state), shell_(shell), e_(widgets), commit_(commit), strip_(strip),
      graph_(graph) {
    connect(e_.rows[High].eq, &QPushButton::clicked, this, &EqEditors::RzButton41Click);
    connect(e_.rows[Mid].eq, &QPushButton::clicked, this, &EqEditors::RzButton47Click);
    connect(e_.rows[Low].eq, &QPushButton::clicked, this, &EqEditors::RzButton53Click);
    connect(e_.RzButton4, &QPushButton::clicked, this, &EqEditors::RzButton4Click);

    const QString unsignedKeys = QLatin1String(KeyFilter::Decimal);
    const QString signedKeys = QLatin1String(KeyFilter::SignedDecimal);
    for (int row = 0; row < BandsPerSection; ++row) {
        const std::array<std::pair<BandField, QString>, 3> fields = {
            std::pair{BandField::Frequency, unsignedKeys}, std::pair{BandField::Q, unsignedKeys},
            std::pair{BandField::Gain, signedKeys}};
        for (const auto& [which, keys] : fields) {
            const BandField field = which;
            new CommitField(
                fieldOf(field, row), commit_, keys,
                [this, field, row] { commitBandField(field, row, false); },
                [this, field, row] { commitBandField(field, row, true); });
        }
        connect(e_.typeLists[row], &QComboBox::currentIndexChanged, this,
                [this, row] { bandTypeChanged(row); });
        const std::array<std::pair<BandField, SpinButtons*>, 3> steppers = {
            std::pair{BandField::Frequency, e_.frequencySteppers[row]},
            std::pair{BandField::Q, e_.qSteppers[row]},
            std::pair{BandField::Gain, e_.gainSteppers[row]}};
        for (const auto& [which, stepper] : steppers) {
            const BandField field = which;
            connect(stepper, &SpinButtons::downClicked, this,
                    [this, field, row] { stepBandField(field, row, -1); });
            connect(stepper, &SpinButtons::upClicked, this,
                    [this, field, row] { stepBandField(field, row, 1); });
        }
    }

    new CommitField(
        e_.RzEdit205, commit_, unsignedKeys, [this] { RzEdit205Exit(); },
        [this] { commitCrossover(true, true); });
    new CommitField(
        e_.RzEdit206, commit_, unsignedKeys, [this] { RzEdit206Exit(); },
        [this] { commitCrossover(false, true); });
    connect(e_.RzComboBox69, &QComboBox::currentIndexChanged, this, &EqEditors::RzComboBox69Change);
    connect(e_.RzComboBox71, &QComboBox::currentIndexChanged, this, &EqEditors::RzComboBox71Change);
    connect(e_.RzSpinButtons181, &SpinButtons::downClicked, this,
            &EqEditors::RzSpinButtons181DownLeftClick);
    connect(e_.RzSpinButtons181, &SpinButtons::upClicked, this,
            &EqEditors::RzSpinButtons181UpRightClick);
    connect(e_.RzSpinButtons182, &SpinButtons::downClicked, this,
            &EqEditors::RzSpinButtons182DownLeftClick);
    connect(e_.RzSpinButtons182, &SpinButtons::upClicked, this,
            &EqEditors::RzSpinButtons182UpRightClick);
    connect(e_.RzButton97, &QPushButton::clicked, this, &EqEditors::RzButton97Click);
}

QLineEdit* EqEditors::fieldOf(BandField which, int row) const {
    switch (which) {
    case BandField::Frequency:
        return e_.frequencyFields[row];
    case BandField::Q:
        return e_.qFields[row];
    default:
        return e_.gainFields[row];
    }
}

// The table edits the section it shows, and only while that section is the selected one.
bool EqEditors::editable() const {
    return s_.selection.way >= 0 && s_.selection.way == shownWay_;
}

// ---- Selecting a section ----

void EqEditors::selectEq(int way) {
    if (s_.selection.panel != EqPanel || s_.selection.way != way) {
        strip_.closePanel();
    }
    s_.selection.panel = EqPanel;
    s_.selection.way = way;
    e_.crossoverGroup->setVisible(true);
    SetButtonColour(e_.rows[way].eq, HighlightButtonColour);
    loadSection(way);
    emit s_.selectionChanged();
}

void EqEditors::RzButton4Click() {
    s_.selection.panel = EqPanel;
    s_.selection.way = Main;
    SetButtonColour(e_.RzButton4, HighlightButtonColour);
    loadSection(Main);
    emit s_.selectionChanged();
}

void EqEditors::loadSection(int way) {
    shownWay_ = way;
    FillEqEditors();
    fillCrossovers();
    graph_.DrawStoredSum(way);
}

void EqEditors::FillEqEditors() {
    const int way = s_.selection.way;
    if (way < 0 || way >= SectionCount) {
        return;
    }
    for (int row = 0; row < BandsPerSection; ++row) {
        const EqBand& band = s_.image.bands[BandIndex(way, row)];
        commit_.programSet(e_.frequencyFields[row], FrequencyText(band.frequencyIndex));
        commit_.programSet(e_.qFields[row], QText(band.qIndex));
        {
            const QSignalBlocker blocker(e_.typeLists[row]);
            e_.typeLists[row]->setCurrentIndex(band.type);
        }
        commit_.programSet(e_.gainFields[row], EqGainText(band.activeGain()));
    }
}

void EqEditors::fillCrossovers() {
    const int way = shownWay_;
    commit_.programSet(e_.RzEdit205, FrequencyText(s_.image.highPassIndex[way]));
    commit_.programSet(e_.RzEdit206, FrequencyText(s_.image.lowPassIndex[way]));
    const QSignalBlocker b69(e_.RzComboBox69);
    const QSignalBlocker b71(e_.RzComboBox71);
    e_.RzComboBox69->setCurrentIndex(s_.image.highPassType[way]);
    e_.RzComboBox71->setCurrentIndex(s_.image.lowPassType[way]);
}

void EqEditors::showBand(int bandIndex) {
    if (bandIndex < 0 || bandIndex >= BandCount || bandIndex / BandsPerSection != shownWay_) {
        return;
    }
    const int row = bandIndex % BandsPerSection;
    const EqBand& band = s_.image.bands[bandIndex];
    commit_.programSet(e_.frequencyFields[row], FrequencyText(band.frequencyIndex));
    commit_.programSet(e_.gainFields[row], EqGainText(band.activeGain()));
}

// ---- Band rows ----

void EqEditors::redrawBand(int bandIndex) {
    graph_.setCurrentBand(bandIndex);
    graph_.RedrawBand(s_.image.bands[bandIndex].type);
    s_.builders.queueEqBandBlock(bandIndex);
}

void EqEditors::commitBandField(BandField which, int row, bool enterKey) {
    QLineEdit* field = fieldOf(which, row);
    if (field->text() == commit_.referenceText) {
        return;
    }
    if (!editable()) {
        field->setText(commit_.referenceText);
        return;
    }
    std::optional<TypedEntry> entry;
    switch (which) {
    case BandField::Frequency:
        entry = EnterFrequency(field->text());
        break;
    case BandField::Q:
        entry = EnterQ(field->text());
        break;
    case BandField::Gain:
        entry = EnterEqGain(field->text());
        break;
    }
    if (!entry) {
        field->setText(commit_.referenceText);
        return;
    }
    const int bandIndex = BandIndex(shownWay_, row);
    EqBand& band = s_.image.bands[bandIndex];
    switch (which) {
    case BandField::Frequency:
        band.frequencyIndex = entry->index;
        break;
    case BandField::Q:
        band.qIndex = entry->index;
        break;
    case BandField::Gain:
        band.activeGain() = entry->index;
        break;
    }
    field->setText(entry->text);
    redrawBand(bandIndex);
    if (enterKey) {
        commit_.referenceText = field->text();
    }
}

void EqEditors::bandTypeChanged(int row) {
    QComboBox* list = e_.typeLists[row];
    if (!editable()) {
        // Nothing selected to edit: the list goes back to the shown band's type.
        if (shownWay_ >= 0) {
            const QSignalBlocker blocker(list);
            list->setCurrentIndex(s_.image.bands[BandIndex(shownWay_, row)].type);
        }
        return;
    }
    const int type = list->currentIndex();
    if (type < 0) {
        return;
    }
    const int bandIndex = BandIndex(shownWay_, row);
    EqBand& band = s_.image.bands[bandIndex];
    band.type = type;
    commit_.programSet(e_.gainFields[row], EqGainText(band.activeGain()));
    redrawBand(bandIndex);
}

void EqEditors::stepBandField(BandField which, int row, int delta) {
    if (!editable()) {
        return;
    }
    const int bandIndex = BandIndex(shownWay_, row);
    EqBand& band = s_.image.bands[bandIndex];
    int* index = nullptr;
    int last = 0;
    switch (which) {
    case BandField::Frequency:
        index = &band.frequencyIndex;
        last = MaxFrequencyIndex;
        break;
    case BandField::Q:
        index = &band.qIndex;
        last = MaxQIndex;
        break;
    case BandField::Gain:
        index = &band.activeGain();
        last = MaxEqGainIndex;
        break;
    }
    const int next = *index + delta;
    if (next < 0 || next > last) {
        return;
    }
    *index = next;
    switch (which) {
    case BandField::Frequency:
        commit_.programSet(fieldOf(which, row), FrequencyText(next));
        break;
    case BandField::Q:
        commit_.programSet(fieldOf(which, row), QText(next));
        break;
    case BandField::Gain:
        commit_.programSet(fieldOf(which, row), EqGainText(next));
        break;
    }
    redrawBand(bandIndex);
}

// ---- Crossover rows ----

void EqEditors::redrawCrossover(bool highPass) {
    const int way = shownWay_;
    const QComboBox* list = highPass ? e_.RzComboBox69 : e_.RzComboBox71;
    int type = list->currentIndex();
    if (type < 0) {
        type = highPass ? s_.image.highPassType[way] : s_.image.lowPassType[way];
    }
    graph_.RedrawCrossover(highPass, type);
    s_.builders.queueCrossoverBlock(way);
}

void EqEditors::commitCrossover(bool highPass, bool enterKey) {
    QLineEdit* field = highPass ? e_.RzEdit205 : e_.RzEdit206;
    if (field->text() == commit_.referenceText) {
        return;
    }
    if (!editable()) {
        field->setText(commit_.referenceText);
        return;
    }
    QString text = field->text();
    if (text.endsWith(QLatin1String(" Hz"))) {
        text.chop(3);
    } else if (text.endsWith(QLatin1String("Hz"))) {
        text.chop(2);
    }
    const std::optional<TypedEntry> entry = EnterFrequency(text);
    if (!entry) {
        field->setText(commit_.referenceText);
        return;
    }
    (highPass ? s_.image.highPassIndex : s_.image.lowPassIndex)[shownWay_] = entry->index;
    field->setText(entry->text);
    redrawCrossover(highPass);
    if (enterKey) {
        commit_.referenceText = field->text();
    }
}

void EqEditors::crossoverTypeChanged(bool highPass) {
    QComboBox* list = highPass ? e_.RzComboBox69 : e_.RzComboBox71;
    if (!editable()) {
        if (shownWay_ >= 0) {
            const QSignalBlocker blocker(list);
            list->setCurrentIndex(
                (highPass ? s_.image.highPassType : s_.image.lowPassType)[shownWay_]);
        }
        return;
    }
    const int type = list->currentIndex();
    if (type < 0) {
        return;
    }
    (highPass ? s_.image.highPassType : s_.image.lowPassType)[shownWay_] = type;
    redrawCrossover(highPass);
}

void EqEditors::stepCrossover(bool highPass, int delta) {
    if (!editable()) {
        return;
    }
    int& index = (highPass ? s_.image.highPassIndex : s_.image.lowPassIndex)[shownWay_];
    const int next = index + delta;
    if (next < 0 || next > MaxFrequencyIndex) {
        return;
    }
    index = next;
    commit_.programSet((highPass ? e_.RzEdit205 : e_.RzEdit206), FrequencyText(next));
    redrawCrossover(highPass);
}

// ---- "Filters reset" ----

void EqEditors::RzButton97Click() {
    if (!s_.driver.PortOpen() || !editable()) {
        return;
    }
    ShowProgressBox(shell_, 208, 512);
    for (QWidget* area :
         {static_cast<QWidget*>(shell_.RzGroupBox8), static_cast<QWidget*>(shell_.GroupBox1),
          static_cast<QWidget*>(shell_.GroupBox2), static_cast<QWidget*>(shell_.GroupBox3),
          static_cast<QWidget*>(shell_.RzGroupBox12)}) {
        area->setEnabled(false);
    }
    s_.StagedTransfer.count = 0;
    s_.StagedTransfer.active = true;
    for (int row = 0; row < BandsPerSection; ++row) {
        const int bandIndex = BandIndex(shownWay_, row);
        s_.image.bands[bandIndex].activeGain() = EqGainZeroIndex;
        redrawBand(bandIndex);
    }
    for (QLineEdit* field : e_.gainFields) {
        field->setText(QStringLiteral("0"));
    }
}

} // namespace quellaton
