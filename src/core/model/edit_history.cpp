#include "model/edit_history.h"

#include <QStringList>

namespace quellaton {

void EditHistory::record(Step step) {
    steps_.erase(steps_.begin() + std::ptrdiff_t(next_), steps_.end());
    steps_.push_back(std::move(step));
    if (steps_.size() > std::size_t(StepLimit)) {
        steps_.pop_front();
    }
    next_ = steps_.size();
}

void EditHistory::clear() {
    steps_.clear();
    next_ = 0;
}

QString EditHistory::undoName() const {
    return canUndo() ? steps_[next_ - 1].name : QString();
}

QString EditHistory::redoName() const {
    return canRedo() ? steps_[next_].name : QString();
}

const EditHistory::Step& EditHistory::undo() {
    return steps_[--next_];
}

const EditHistory::Step& EditHistory::redo() {
    return steps_[next_++];
}

namespace {

const char* const SectionNames[SectionCount] = {"High", "Mid", "Low", "Main"};

// Collects the names of the fields that differ, in the order the editors show them.
class ChangeList {
public:
    ChangeList(const ParameterImage& before, const ParameterImage& after) : a_(before), b_(after) {}

    QStringList names() {
        for (int way = 0; way < WayCount; ++way) {
            field(way, "gain", a_.gainIndex[way] != b_.gainIndex[way]);
            field(way, "mute", a_.onFlag[way] != b_.onFlag[way]);
            field(way, "polarity", a_.polarity[way] != b_.polarity[way]);
            field(way, "delay", a_.delay[way] != b_.delay[way]);
            field(way, "limiter threshold", a_.limiterThreshold[way] != b_.limiterThreshold[way]);
            field(way, "limiter attack", a_.limiterAttack[way] != b_.limiterAttack[way]);
            field(way, "limiter release", a_.limiterRelease[way] != b_.limiterRelease[way]);
            filters(way);
        }
        field(Main, "level", a_.masterLevel != b_.masterLevel);
        field(Main, "delay", a_.delay[Main] != b_.delay[Main]);
        field(Main, "polarity", a_.polarity[Main] != b_.polarity[Main]);
        field(Main, "bass enhancer", a_.bassEnhancer != b_.bassEnhancer);
        field(Main, "BTL mode", a_.btlMode != b_.btlMode);
        filters(Main);
        return names_;
    }

private:
    void field(int section, const char* name, bool differs) {
        if (differs) {
            names_.append(QStringLiteral("%1 %2").arg(QLatin1String(SectionNames[section]),
                                                      QLatin1String(name)));
        }
    }

    void filters(int section) {
        field(section, "HPF type", a_.highPassType[section] != b_.highPassType[section]);
        field(section, "HPF frequency", a_.highPassIndex[section] != b_.highPassIndex[section]);
        field(section, "LPF type", a_.lowPassType[section] != b_.lowPassType[section]);
        field(section, "LPF frequency", a_.lowPassIndex[section] != b_.lowPassIndex[section]);
        for (int row = 0; row < BandsPerSection; ++row) {
            const EqBand& x = a_.bands[std::size_t(BandIndex(section, row))];
            const EqBand& y = b_.bands[std::size_t(BandIndex(section, row))];
            const QByteArray band = "band " + QByteArray::number(row + 1) + ' ';
            field(section, band + "type", x.type != y.type);
            field(section, band + "frequency", x.frequencyIndex != y.frequencyIndex);
            field(section, band + "gain",
                  x.peakingGain != y.peakingGain || x.shelfGain != y.shelfGain);
            field(section, band + "Q", x.qIndex != y.qIndex);
        }
    }

    void field(int section, const QByteArray& name, bool differs) {
        field(section, name.constData(), differs);
    }

    const ParameterImage& a_;
    const ParameterImage& b_;
    QStringList names_;
};

} // namespace

QString ChangeName(const ParameterImage& before, const ParameterImage& after) {
    const QStringList names = ChangeList(before, after).names();
    if (names.isEmpty()) {
        return QString();
    }
    // Several parameters of one band or one section (a drag moves frequency and gain) are
    // named by what they share, when that is more than the section alone.
    QStringList shared = names.front().split(QLatin1Char(' '));
    for (const QString& name : names) {
        const QStringList words = name.split(QLatin1Char(' '));
        qsizetype common = 0;
        while (common < shared.size() && common < words.size() && shared[common] == words[common]) {
            ++common;
        }
        shared = shared.first(common);
    }
    return shared.size() >= 2 ? shared.join(QLatin1Char(' ')) : names.front();
}

} // namespace quellaton
