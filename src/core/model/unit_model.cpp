#include "model/unit_model.h"

#include "dsp/scales.h"
#include "protocol/frames.h"
#include "protocol/send_slots.h"

#include <algorithm>

namespace quellaton {

namespace {

bool ValidWay(int way) {
    return way >= 0 && way < WayCount;
}
bool ValidSection(int section) {
    return section >= 0 && section < SectionCount;
}
bool ValidBand(int bandIndex) {
    return bandIndex >= 0 && bandIndex < BandCount;
}

// Steps `value` by `delta` within 0..last; false when that would leave the scale.
bool Step(int& value, int delta, int last) {
    const int next = value + delta;
    if (next < 0 || next > last) {
        return false;
    }
    value = next;
    return true;
}

constexpr int LastCrossoverType = CrossoverTypeListCount - 1;
constexpr int LastBandType = 2;

} // namespace

UnitModel::UnitModel(QObject* parent) : QObject(parent) {}

const EqBand& UnitModel::band(int bandIndex) const {
    return image_.bands[std::size_t(std::clamp(bandIndex, 0, BandCount - 1))];
}

EqBand* UnitModel::bandAt(int bandIndex) {
    return ValidBand(bandIndex) ? &image_.bands[std::size_t(bandIndex)] : nullptr;
}

bool UnitModel::rowBypassed(int row) const {
    return row >= 0 && row < BandsPerSection && bypass_[std::size_t(row)];
}

void UnitModel::edited(int slot) {
    // The views refresh while an image is being replaced; nothing they do is an edit.
    if (replacing_) {
        return;
    }
    if (!restoring_ && stepDepth_ == 0) {
        recordStep(QString());
    }
    emit blockEdited(slot);
}

void UnitModel::recordStep(const QString& name) {
    if (image_ == committed_) {
        return; // an edit that changed nothing is not a step
    }
    history_.record({name.isEmpty() ? ChangeName(committed_, image_) : name, committed_, image_});
    committed_ = image_;
    emit historyChanged();
}

void UnitModel::beginStep(const QString& name) {
    if (stepDepth_++ == 0) {
        stepName_ = name;
    }
}

void UnitModel::endStep() {
    if (stepDepth_ > 0 && --stepDepth_ == 0) {
        recordStep(stepName_);
    }
}

// Puts `image` in place as an edit: each block whose bytes differ is reported, in slot order.
void UnitModel::restore(const ParameterImage& image) {
    const ParameterImage old = image_;
    image_ = image;
    image_.Limit();
    restoring_ = true;
    for (int slot = 1; slot <= BlockSlotCount; ++slot) {
        if (slot == SystemWriteSlot) {
            continue;
        }
        const SlotBlock b = BlockOfSlot(slot);
        if (BlockPayload(old, b.block, b.group) != BlockPayload(image_, b.block, b.group)) {
            edited(slot);
        }
    }
    restoring_ = false;
    committed_ = image_;
    emit imageEdited();
}

void UnitModel::applyEdit(const ParameterImage& image, const QString& stepName) {
    const ParameterImage before = image_;
    restore(image);
    if (image_ != before) {
        committed_ = before;
        recordStep(stepName);
    }
}

bool UnitModel::undo() {
    if (!history_.canUndo()) {
        return false;
    }
    restore(history_.undo().before);
    emit historyChanged();
    return true;
}

bool UnitModel::redo() {
    if (!history_.canRedo()) {
        return false;
    }
    restore(history_.redo().after);
    emit historyChanged();
    return true;
}

void UnitModel::toggleComparison() {
    if (!comparing_) {
        comparing_ = true;
        showingB_ = true;
        otherImage_ = image_;
        otherHistory_ = history_;
        history_.clear();
    } else {
        showingB_ = !showingB_;
        std::swap(history_, otherHistory_);
        const ParameterImage shown = otherImage_;
        otherImage_ = image_;
        restore(shown);
    }
    emit historyChanged();
    emit comparisonChanged();
}

void UnitModel::endComparison() {
    if (!comparing_) {
        return;
    }
    comparing_ = false;
    otherHistory_.clear();
    emit comparisonChanged();
}

// The Main block carries the master level as the level bar shows it: within 0..301.
void UnitModel::mainEdited() {
    image_.masterLevel = std::clamp(image_.masterLevel, 0, MainLevelTop);
    edited(MainBlockSlot);
}

// Polarity and delay of a way are in its output block; Main's are in the Main block.
void UnitModel::sectionEdited(int section) {
    if (section == Main) {
        mainEdited();
    } else {
        edited(OutputSlot(section));
    }
}

void UnitModel::replaceImage(const ParameterImage& image) {
    image_ = image;
    committed_ = image_;
    history_.clear();
    endComparison();
    emit historyChanged();
    for (int row = 0; row < BandsPerSection; ++row) {
        if (bypass_[std::size_t(row)]) {
            bypass_[std::size_t(row)] = false;
            emit bypassChanged(row);
        }
    }
    replacing_ = true;
    emit imageReplaced();
    replacing_ = false;
}

void UnitModel::setSystem(const SystemValues& values) {
    system_ = values;
    emit systemChanged();
}

void UnitModel::setPresetNames(const PresetNames& names) {
    names_ = names;
    emit presetNamesReplaced();
}

void UnitModel::setPresetName(int slot, const QByteArray& name) {
    if (slot < 1 || slot > int(names_.size())) {
        return;
    }
    QByteArray stored = name.left(PresetNameSize);
    stored.append(QByteArray(PresetNameSize - stored.size(), '\0'));
    names_[std::size_t(slot - 1)] = stored;
    emit presetNameChanged(slot);
}

void UnitModel::setStatus(const StatusReply& status) {
    status_ = status;
    emit statusChanged();
}

// ---- Ways ----

void UnitModel::setGainDb(int way, double db) {
    if (!ValidWay(way)) {
        return;
    }
    const double top = way == Low ? 0.0 : 5.0;
    image_.gainIndex[way] = NearestOutputGainIndex(std::clamp(db, -20.0, top));
    edited(OutputSlot(way));
}

bool UnitModel::stepGain(int way, int delta) {
    if (!ValidWay(way) || !Step(image_.gainIndex[way], delta, ParameterImage::MaxGainIndex(way))) {
        return false;
    }
    edited(OutputSlot(way));
    return true;
}

void UnitModel::toggleMute(int way) {
    if (!ValidWay(way)) {
        return;
    }
    int& on = image_.onFlag[way];
    on = on != 0 ? 0 : 1;
    edited(OutputSlot(way));
}

void UnitModel::setLimiterThreshold(int way, int code) {
    if (ValidWay(way)) {
        image_.limiterThreshold[way] = std::clamp(code, 0, LimiterThresholdCount - 1);
        edited(LimiterSlot(way));
    }
}

void UnitModel::setLimiterAttack(int way, int code) {
    if (ValidWay(way)) {
        image_.limiterAttack[way] = std::clamp(code, 0, LimiterAttackCount - 1);
        edited(LimiterSlot(way));
    }
}

void UnitModel::setLimiterRelease(int way, int code) {
    if (ValidWay(way)) {
        image_.limiterRelease[way] = std::clamp(code, 0, LimiterReleaseCount - 1);
        edited(LimiterSlot(way));
    }
}

// ---- Ways and Main ----

void UnitModel::togglePolarity(int section) {
    if (!ValidSection(section)) {
        return;
    }
    int& polarity = image_.polarity[section];
    polarity = polarity != 0 ? 0 : 1;
    sectionEdited(section);
}

void UnitModel::setDelaySteps(int section, int steps) {
    if (!ValidSection(section)) {
        return;
    }
    image_.delay[section] = std::clamp(steps, 0, MaxDelaySteps);
    sectionEdited(section);
}

// ---- Main ----

void UnitModel::setMasterLevel(int level) {
    image_.masterLevel = std::clamp(level, 0, MainLevelTop);
    mainEdited();
}

void UnitModel::toggleBassEnhancer() {
    image_.bassEnhancer = image_.bassEnhancer == 1 ? 0 : 1;
    mainEdited();
}

void UnitModel::toggleBtlMode() {
    image_.btlMode = image_.btlMode != 0 ? 0 : 1;
    mainEdited();
}

// ---- Equaliser bands ----

void UnitModel::setBandFrequencyHz(int bandIndex, double hz) {
    if (EqBand* band = bandAt(bandIndex)) {
        band->frequencyIndex =
            NearestFrequencyIndex(std::clamp(hz, FrequencyTable.front(), FrequencyTable.back()));
        edited(EqBandSlot(bandIndex));
    }
}

void UnitModel::setBandQ(int bandIndex, double q) {
    if (EqBand* band = bandAt(bandIndex)) {
        band->qIndex = NearestQIndex(std::clamp(q, QTable.front(), QTable.back()));
        edited(EqBandSlot(bandIndex));
    }
}

void UnitModel::setBandGainDb(int bandIndex, double db) {
    if (EqBand* band = bandAt(bandIndex)) {
        band->activeGain() =
            NearestEqGainIndex(std::clamp(db, EqGainTable.front(), EqGainTable.back()));
        edited(EqBandSlot(bandIndex));
    }
}

void UnitModel::setBandType(int bandIndex, int type) {
    if (EqBand* band = bandAt(bandIndex)) {
        band->type = std::clamp(type, 0, LastBandType);
        edited(EqBandSlot(bandIndex));
    }
}

bool UnitModel::stepBandFrequency(int bandIndex, int delta) {
    EqBand* band = bandAt(bandIndex);
    if (!band || !Step(band->frequencyIndex, delta, MaxFrequencyIndex)) {
        return false;
    }
    edited(EqBandSlot(bandIndex));
    return true;
}

bool UnitModel::stepBandQ(int bandIndex, int delta) {
    EqBand* band = bandAt(bandIndex);
    if (!band || !Step(band->qIndex, delta, MaxQIndex)) {
        return false;
    }
    edited(EqBandSlot(bandIndex));
    return true;
}

bool UnitModel::stepBandGain(int bandIndex, int delta) {
    EqBand* band = bandAt(bandIndex);
    if (!band || !Step(band->activeGain(), delta, MaxEqGainIndex)) {
        return false;
    }
    edited(EqBandSlot(bandIndex));
    return true;
}

void UnitModel::setBandPoint(int bandIndex, int frequencyIndex, int gainIndex) {
    if (EqBand* band = bandAt(bandIndex)) {
        band->frequencyIndex = std::clamp(frequencyIndex, 0, MaxFrequencyIndex);
        band->activeGain() = std::clamp(gainIndex, 0, MaxEqGainIndex);
        edited(EqBandSlot(bandIndex));
    }
}

void UnitModel::resetBandGains(int section) {
    if (!ValidSection(section)) {
        return;
    }
    static const char* const names[SectionCount] = {"High", "Mid", "Low", "Main"};
    beginStep(QStringLiteral("%1 filters reset").arg(QLatin1String(names[section])));
    for (int row = 0; row < BandsPerSection; ++row) {
        const int bandIndex = BandIndex(section, row);
        image_.bands[std::size_t(bandIndex)].activeGain() = EqGainZeroIndex;
        edited(EqBandSlot(bandIndex));
    }
    endStep();
}

// ---- Crossovers ----

int& UnitModel::crossoverIndexRef(int section, Filter filter) {
    return filter == Filter::HighPass ? image_.highPassIndex[section]
                                      : image_.lowPassIndex[section];
}

int UnitModel::crossoverIndex(int section, Filter filter) const {
    if (!ValidSection(section)) {
        return 0;
    }
    return filter == Filter::HighPass ? image_.highPassIndex[section]
                                      : image_.lowPassIndex[section];
}

int UnitModel::crossoverType(int section, Filter filter) const {
    if (!ValidSection(section)) {
        return 0;
    }
    return filter == Filter::HighPass ? image_.highPassType[section] : image_.lowPassType[section];
}

void UnitModel::setCrossoverFrequencyHz(int section, Filter filter, double hz) {
    if (!ValidSection(section)) {
        return;
    }
    crossoverIndexRef(section, filter) =
        NearestFrequencyIndex(std::clamp(hz, FrequencyTable.front(), FrequencyTable.back()));
    edited(CrossoverSlot(section));
}

void UnitModel::setCrossoverType(int section, Filter filter, int type) {
    if (!ValidSection(section)) {
        return;
    }
    (filter == Filter::HighPass ? image_.highPassType : image_.lowPassType)[section] =
        std::clamp(type, 0, LastCrossoverType);
    edited(CrossoverSlot(section));
}

bool UnitModel::stepCrossover(int section, Filter filter, int delta) {
    if (!ValidSection(section) ||
        !Step(crossoverIndexRef(section, filter), delta, MaxFrequencyIndex)) {
        return false;
    }
    edited(CrossoverSlot(section));
    return true;
}

// ---- Bypass rows ----

void UnitModel::setRowBypassed(int row, bool bypassed) {
    if (row < 0 || row >= BandsPerSection) {
        return;
    }
    bypass_[std::size_t(row)] = bypassed;
    emit bypassChanged(row);
}

void UnitModel::touch(int slot) {
    if (slot >= 1 && slot <= BlockSlotCount && slot != SystemWriteSlot) {
        edited(slot);
    }
}

} // namespace quellaton
