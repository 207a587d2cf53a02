#include "editors/eq_editors.h"

#include "common/key_filter.h"
#include "dsp/scales.h"
#include "graph/response_graph.h"

#include <QSignalBlocker>
#include <algorithm>

namespace quellaton {

EqEditors::EqEditors(UnitSession& session, WaySelection& selection, ShellWidgets& shell,
                     EditorWidgets& widgets, EditCommitState& commit, ChannelStrip& strip,
                     ResponseGraph& graph, QObject* parent)
    : QObject(parent), session_(session), model_(session.model()), selection_(selection),
      shell_(shell), e_(widgets), commit_(commit), strip_(strip), graph_(graph) {
    connect(e_.rows[High].eq, &QPushButton::clicked, this, &EqEditors::highEqClicked);
    connect(e_.rows[Mid].eq, &QPushButton::clicked, this, &EqEditors::midEqClicked);
    connect(e_.rows[Low].eq, &QPushButton::clicked, this, &EqEditors::lowEqClicked);
    connect(e_.mainEqButton, &QPushButton::clicked, this, &EqEditors::mainEqClicked);

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
        e_.highPassField, commit_, unsignedKeys, [this] { highPassFieldLeft(); },
        [this] { commitCrossover(true, true); });
    new CommitField(
        e_.lowPassField, commit_, unsignedKeys, [this] { lowPassFieldLeft(); },
        [this] { commitCrossover(false, true); });
    connect(e_.highPassTypeList, &QComboBox::currentIndexChanged, this,
            &EqEditors::highPassTypeChosen);
    connect(e_.lowPassTypeList, &QComboBox::currentIndexChanged, this,
            &EqEditors::lowPassTypeChosen);
    connect(e_.highPassStepper, &SpinButtons::downClicked, this, &EqEditors::highPassStepDown);
    connect(e_.highPassStepper, &SpinButtons::upClicked, this, &EqEditors::highPassStepUp);
    connect(e_.lowPassStepper, &SpinButtons::downClicked, this, &EqEditors::lowPassStepDown);
    connect(e_.lowPassStepper, &SpinButtons::upClicked, this, &EqEditors::lowPassStepUp);
    connect(e_.filtersResetButton, &QPushButton::clicked, this, &EqEditors::filtersResetClicked);
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
    return selection_.way() >= 0 && selection_.way() == shownWay_;
}

// ---- Selecting a section ----

void EqEditors::selectEq(int way) {
    if (!selection_.is(way, EqPanel)) {
        strip_.closePanel();
    }
    selection_.set(way, EqPanel);
    e_.crossoverGroup->setVisible(true);
    SetButtonColour(e_.rows[way].eq, HighlightButtonColour);
    loadSection(way);
    selection_.announce();
}

void EqEditors::mainEqClicked() {
    selection_.set(Main, EqPanel);
    SetButtonColour(e_.mainEqButton, HighlightButtonColour);
    loadSection(Main);
    selection_.announce();
}

void EqEditors::loadSection(int way) {
    shownWay_ = way;
    fillBandRows();
    fillCrossovers();
    graph_.DrawStoredSum(way);
}

void EqEditors::reloadSection() {
    if (shownWay_ < 0 || shownWay_ >= SectionCount) {
        return;
    }
    fillBandRows();
    fillCrossovers();
    graph_.DrawStoredSum(shownWay_);
}

void EqEditors::fillBandRows() {
    const int way = selection_.way();
    if (way < 0 || way >= SectionCount) {
        return;
    }
    for (int row = 0; row < BandsPerSection; ++row) {
        const EqBand& band = model_.band(BandIndex(way, row));
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
    commit_.programSet(e_.highPassField, FrequencyText(model_.image().highPassIndex[way]));
    commit_.programSet(e_.lowPassField, FrequencyText(model_.image().lowPassIndex[way]));
    const QSignalBlocker b69(e_.highPassTypeList);
    const QSignalBlocker b71(e_.lowPassTypeList);
    e_.highPassTypeList->setCurrentIndex(model_.image().highPassType[way]);
    e_.lowPassTypeList->setCurrentIndex(model_.image().lowPassType[way]);
}

void EqEditors::showBand(int bandIndex) {
    if (bandIndex < 0 || bandIndex >= BandCount || bandIndex / BandsPerSection != shownWay_) {
        return;
    }
    const int row = bandIndex % BandsPerSection;
    const EqBand& band = model_.band(bandIndex);
    commit_.programSet(e_.frequencyFields[row], FrequencyText(band.frequencyIndex));
    commit_.programSet(e_.gainFields[row], EqGainText(band.activeGain()));
}

// ---- Band rows ----

void EqEditors::redrawBand(int bandIndex) {
    graph_.setCurrentBand(bandIndex);
    graph_.RedrawBand(model_.band(bandIndex).type);
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
    const std::optional<double> value = ParseDecimal(field->text());
    if (!value) {
        field->setText(commit_.referenceText);
        return;
    }
    const int bandIndex = BandIndex(shownWay_, row);
    switch (which) {
    case BandField::Frequency:
        model_.setBandFrequencyHz(bandIndex, *value);
        field->setText(FrequencyText(model_.band(bandIndex).frequencyIndex));
        break;
    case BandField::Q:
        model_.setBandQ(bandIndex, *value);
        field->setText(QText(model_.band(bandIndex).qIndex));
        break;
    case BandField::Gain:
        model_.setBandGainDb(bandIndex, *value);
        field->setText(EqGainText(model_.band(bandIndex).activeGain()));
        break;
    }
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
            list->setCurrentIndex(model_.band(BandIndex(shownWay_, row)).type);
        }
        return;
    }
    const int type = list->currentIndex();
    if (type < 0) {
        return;
    }
    const int bandIndex = BandIndex(shownWay_, row);
    model_.setBandType(bandIndex, type);
    commit_.programSet(e_.gainFields[row], EqGainText(model_.band(bandIndex).activeGain()));
    redrawBand(bandIndex);
}

void EqEditors::stepBandField(BandField which, int row, int delta) {
    if (!editable()) {
        return;
    }
    const int bandIndex = BandIndex(shownWay_, row);
    QLineEdit* field = fieldOf(which, row);
    const EqBand& band = model_.band(bandIndex);
    switch (which) {
    case BandField::Frequency:
        if (!model_.stepBandFrequency(bandIndex, delta)) {
            return;
        }
        commit_.programSet(field, FrequencyText(band.frequencyIndex));
        break;
    case BandField::Q:
        if (!model_.stepBandQ(bandIndex, delta)) {
            return;
        }
        commit_.programSet(field, QText(band.qIndex));
        break;
    case BandField::Gain:
        if (!model_.stepBandGain(bandIndex, delta)) {
            return;
        }
        commit_.programSet(field, EqGainText(band.activeGain()));
        break;
    }
    redrawBand(bandIndex);
}

// ---- Crossover rows ----

void EqEditors::redrawCrossover(bool highPass) {
    const int way = shownWay_;
    const QComboBox* list = highPass ? e_.highPassTypeList : e_.lowPassTypeList;
    int type = list->currentIndex();
    if (type < 0) {
        type = model_.crossoverType(way, highPass ? UnitModel::Filter::HighPass
                                                  : UnitModel::Filter::LowPass);
    }
    graph_.RedrawCrossover(highPass, type);
}

void EqEditors::commitCrossover(bool highPass, bool enterKey) {
    QLineEdit* field = highPass ? e_.highPassField : e_.lowPassField;
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
    const std::optional<double> value = ParseDecimal(text);
    if (!value) {
        field->setText(commit_.referenceText);
        return;
    }
    const UnitModel::Filter filter =
        highPass ? UnitModel::Filter::HighPass : UnitModel::Filter::LowPass;
    model_.setCrossoverFrequencyHz(shownWay_, filter, *value);
    field->setText(FrequencyText(model_.crossoverIndex(shownWay_, filter)));
    redrawCrossover(highPass);
    if (enterKey) {
        commit_.referenceText = field->text();
    }
}

void EqEditors::crossoverTypeChanged(bool highPass) {
    QComboBox* list = highPass ? e_.highPassTypeList : e_.lowPassTypeList;
    if (!editable()) {
        if (shownWay_ >= 0) {
            const QSignalBlocker blocker(list);
            list->setCurrentIndex(model_.crossoverType(
                shownWay_, highPass ? UnitModel::Filter::HighPass : UnitModel::Filter::LowPass));
        }
        return;
    }
    const int type = list->currentIndex();
    if (type < 0) {
        return;
    }
    model_.setCrossoverType(
        shownWay_, highPass ? UnitModel::Filter::HighPass : UnitModel::Filter::LowPass, type);
    redrawCrossover(highPass);
}

void EqEditors::stepCrossover(bool highPass, int delta) {
    if (!editable()) {
        return;
    }
    const UnitModel::Filter filter =
        highPass ? UnitModel::Filter::HighPass : UnitModel::Filter::LowPass;
    if (!model_.stepCrossover(shownWay_, filter, delta)) {
        return;
    }
    commit_.programSet((highPass ? e_.highPassField : e_.lowPassField),
                       FrequencyText(model_.crossoverIndex(shownWay_, filter)));
    redrawCrossover(highPass);
}

// ---- "Filters reset" ----

void EqEditors::filtersResetClicked() {
    if (!editable()) {
        return;
    }
    if (!session_.link().portOpen()) {
        // Editing a file with no unit: nothing to wait for.
        model_.resetBandGains(shownWay_);
        showResetGains();
        return;
    }
    ShowProgressBox(shell_, 208, 512);
    for (QWidget* area :
         {static_cast<QWidget*>(shell_.graphArea), static_cast<QWidget*>(shell_.channelOverview),
          static_cast<QWidget*>(shell_.connectionGroup), static_cast<QWidget*>(shell_.fileGroup),
          static_cast<QWidget*>(shell_.editorArea)}) {
        area->setEnabled(false);
    }
    // The six band blocks go out through the queue; the window is usable again once the sixth
    // has been written, or when a new image has replaced them.
    FiltersReset* reset = session_.resetFilters(shownWay_);
    connect(reset, &Operation::progress, this,
            [this](int sent, int) { shell_.progressBar->setValue(16 * sent); });
    connect(reset, &Operation::finished, this, [this] { UnlockAreas(shell_); });
    reset->start();
    showResetGains();
}

void EqEditors::showResetGains() {
    for (int row = 0; row < BandsPerSection; ++row) {
        redrawBand(BandIndex(shownWay_, row));
    }
    for (QLineEdit* field : e_.gainFields) {
        field->setText(QStringLiteral("0"));
    }
}

} // namespace quellaton
