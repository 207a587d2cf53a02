#include "model/parameter_change.h"

#include "dsp/scales.h"
#include "protocol/parameter_names.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <functional>

namespace quellaton {

namespace {

namespace names = parameter_names;
using Kind = ParameterChange::Kind;

enum class ValueType { Number, Switch, Choice };

struct ParameterInfo {
    Kind kind;
    QString name;
    ValueType type;
    int band = 0;
};

// The parameters of a section, as the reports list them.
QList<ParameterInfo> ParametersOf(int section) {
    QList<ParameterInfo> list;
    auto add = [&list](Kind kind, const QString& name, ValueType type, int band = 0) {
        list.append({kind, name, type, band});
    };
    if (section == Main) {
        add(Kind::Level, QLatin1String(names::Level), ValueType::Number);
        add(Kind::BassEnhancer, QLatin1String(names::BassEnhancer), ValueType::Switch);
        add(Kind::BtlMode, QLatin1String(names::BtlMode), ValueType::Switch);
    } else {
        add(Kind::Gain, QLatin1String(names::Gain), ValueType::Number);
        add(Kind::Mute, QLatin1String(names::Mute), ValueType::Switch);
        add(Kind::LimiterThreshold, QLatin1String(names::LimiterThreshold), ValueType::Choice);
        add(Kind::LimiterAttack, QLatin1String(names::LimiterAttack), ValueType::Choice);
        add(Kind::LimiterRelease, QLatin1String(names::LimiterRelease), ValueType::Choice);
    }
    add(Kind::Polarity, QLatin1String(names::Polarity), ValueType::Choice);
    add(Kind::Delay, QLatin1String(names::Delay), ValueType::Number);
    add(Kind::HighPassType, QLatin1String(names::HighPassType), ValueType::Choice);
    add(Kind::HighPassFrequency, QLatin1String(names::HighPassFrequency), ValueType::Number);
    add(Kind::LowPassType, QLatin1String(names::LowPassType), ValueType::Choice);
    add(Kind::LowPassFrequency, QLatin1String(names::LowPassFrequency), ValueType::Number);
    for (int b = 0; b < BandsPerSection; ++b) {
        add(Kind::BandType, names::Band(b, names::BandType), ValueType::Choice, b);
        add(Kind::BandFrequency, names::Band(b, names::BandFrequency), ValueType::Number, b);
        add(Kind::BandGain, names::Band(b, names::BandGain), ValueType::Number, b);
        add(Kind::BandQ, names::Band(b, names::BandQ), ValueType::Number, b);
    }
    return list;
}

// The texts of a choice, in list order (the position is the code stored).
QStringList ChoicesOf(Kind kind, int section) {
    QStringList texts;
    auto fill = [&texts](int count, const std::function<QString(int)>& text) {
        for (int code = 0; code < count; ++code) {
            texts.append(text(code));
        }
    };
    switch (kind) {
    case Kind::Polarity:
        texts = {names::PolarityText(section, false), names::PolarityText(section, true)};
        break;
    case Kind::LimiterThreshold:
        fill(LimiterThresholdCount, LimiterThresholdText);
        break;
    case Kind::LimiterAttack:
        fill(LimiterAttackCount, LimiterAttackText);
        break;
    case Kind::LimiterRelease:
        fill(LimiterReleaseCount, LimiterReleaseText);
        break;
    case Kind::HighPassType:
    case Kind::LowPassType:
        fill(CrossoverTypeListCount, CrossoverTypeText);
        break;
    case Kind::BandType:
        fill(3, EqBandTypeText);
        break;
    default:
        break;
    }
    return texts;
}

bool SameName(const QString& a, const QString& b) {
    return a.simplified().compare(b, Qt::CaseInsensitive) == 0;
}

QString ParseOne(const QJsonValue& json, ParameterChange& change) {
    if (!json.isObject()) {
        return QStringLiteral("a change is an object with \"section\", \"parameter\" and "
                              "\"value\"");
    }
    const QJsonObject object = json.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() != QLatin1String("section") && it.key() != QLatin1String("parameter") &&
            it.key() != QLatin1String("value")) {
            return QStringLiteral("unknown key \"%1\" in a change").arg(it.key());
        }
    }
    const QJsonValue sectionValue = object.value(QLatin1String("section"));
    const QJsonValue parameterValue = object.value(QLatin1String("parameter"));
    if (!sectionValue.isString()) {
        return QStringLiteral("\"section\" must be a text: high, mid, low or main");
    }
    if (!parameterValue.isString()) {
        return QStringLiteral("\"parameter\" must be a text");
    }
    if (!object.contains(QLatin1String("value"))) {
        return QStringLiteral("a change needs a \"value\"");
    }
    int section = -1;
    for (int s = 0; s < SectionCount; ++s) {
        if (SameName(sectionValue.toString(), QLatin1String(names::Sections[s]))) {
            section = s;
        }
    }
    if (section < 0) {
        return QStringLiteral("unknown section \"%1\"; the sections are high, mid, low and main")
            .arg(sectionValue.toString().left(40));
    }
    const QList<ParameterInfo> parameters = ParametersOf(section);
    const ParameterInfo* info = nullptr;
    for (const ParameterInfo& p : parameters) {
        if (SameName(parameterValue.toString(), p.name)) {
            info = &p;
        }
    }
    if (!info) {
        return QStringLiteral("unknown parameter \"%1\" in %2")
            .arg(parameterValue.toString().left(40), SectionName(section));
    }
    change.section = section;
    change.kind = info->kind;
    change.band = info->band;
    change.parameter = info->name;
    const QJsonValue value = object.value(QLatin1String("value"));
    const QString where = QStringLiteral("%1 %2").arg(SectionName(section), info->name);
    switch (info->type) {
    case ValueType::Number:
        // Main's level is also "Mute", as the reports show its lowest code.
        if (info->kind == Kind::Level && value.isString() &&
            SameName(value.toString(), MainLevelText(0))) {
            change.on = true;
            return {};
        }
        if (!value.isDouble() || !std::isfinite(value.toDouble())) {
            return QStringLiteral("the value of %1 must be a number").arg(where);
        }
        change.number = value.toDouble();
        return {};
    case ValueType::Switch:
        if (value.isBool()) {
            change.on = value.toBool();
            return {};
        }
        if (value.isString() && (SameName(value.toString(), names::OnOffText(true)) ||
                                 SameName(value.toString(), names::OnOffText(false)))) {
            change.on = SameName(value.toString(), names::OnOffText(true));
            return {};
        }
        return QStringLiteral("the value of %1 must be true or false").arg(where);
    case ValueType::Choice: {
        const QStringList choices = ChoicesOf(info->kind, section);
        if (value.isString()) {
            for (qsizetype code = 0; code < choices.size(); ++code) {
                if (SameName(value.toString(), choices[code])) {
                    change.code = int(code);
                    change.on = code != 0;
                    return {};
                }
            }
        }
        return QStringLiteral("the value of %1 must be one of: %2")
            .arg(where, choices.join(QStringLiteral(", ")));
    }
    }
    return {};
}

// The model's setters take a switch as a toggle: toggled only when it is not as asked.
void SetSwitch(bool now, bool wanted, const std::function<void()>& toggle) {
    if (now != wanted) {
        toggle();
    }
}

} // namespace

QString SectionName(int section) {
    return section >= 0 && section < SectionCount ? QLatin1String(names::Sections[section])
                                                  : QString();
}

ParsedChanges ParseParameterChanges(const QJsonValue& json) {
    ParsedChanges parsed;
    QJsonArray list;
    if (json.isArray()) {
        list = json.toArray();
        if (list.isEmpty()) {
            parsed.error = QStringLiteral("the list of changes is empty");
            return parsed;
        }
        if (list.size() > MaxParameterChanges) {
            parsed.error = QStringLiteral("more than %1 changes").arg(MaxParameterChanges);
            return parsed;
        }
    } else {
        list.append(json);
    }
    for (qsizetype i = 0; i < list.size(); ++i) {
        ParameterChange change;
        const QString error = ParseOne(list.at(i), change);
        if (!error.isEmpty()) {
            parsed.changes.clear();
            parsed.error =
                list.size() > 1 ? QStringLiteral("change %1: %2").arg(i + 1).arg(error) : error;
            return parsed;
        }
        parsed.changes.append(change);
    }
    return parsed;
}

void ApplyParameterChange(UnitModel& model, const ParameterChange& change) {
    const int s = change.section;
    const ParameterImage& image = model.image();
    const int bandIndex = BandIndex(s, change.band);
    switch (change.kind) {
    case Kind::Gain:
        model.setGainDb(s, change.number);
        break;
    case Kind::Mute:
        SetSwitch(image.onFlag[s] == 0, change.on, [&] { model.toggleMute(s); });
        break;
    case Kind::Polarity:
        SetSwitch(image.polarity[s] != 0, change.on, [&] { model.togglePolarity(s); });
        break;
    case Kind::Delay:
        model.setDelaySteps(s, DelaySteps(change.number));
        break;
    case Kind::LimiterThreshold:
        model.setLimiterThreshold(s, change.code);
        break;
    case Kind::LimiterAttack:
        model.setLimiterAttack(s, change.code);
        break;
    case Kind::LimiterRelease:
        model.setLimiterRelease(s, change.code);
        break;
    case Kind::Level: {
        if (change.on) {
            model.setMasterLevel(0);
            break;
        }
        // 0.2 dB a step below 0.0 dB; the lowest level that still sounds is step 1 (code 0 is
        // muted, and only a level of exactly that code mutes).
        const double steps =
            std::clamp(-change.number / MainLevelStepDb, 0.0, double(MainLevelTop - 1));
        model.setMasterLevel(MainLevelTop - int(std::lround(steps)));
        break;
    }
    case Kind::BassEnhancer:
        SetSwitch(image.bassEnhancer == 1, change.on, [&] { model.toggleBassEnhancer(); });
        break;
    case Kind::BtlMode:
        SetSwitch(image.btlMode != 0, change.on, [&] { model.toggleBtlMode(); });
        break;
    case Kind::HighPassType:
        model.setCrossoverType(s, UnitModel::Filter::HighPass, change.code);
        break;
    case Kind::HighPassFrequency:
        model.setCrossoverFrequencyHz(s, UnitModel::Filter::HighPass, change.number);
        break;
    case Kind::LowPassType:
        model.setCrossoverType(s, UnitModel::Filter::LowPass, change.code);
        break;
    case Kind::LowPassFrequency:
        model.setCrossoverFrequencyHz(s, UnitModel::Filter::LowPass, change.number);
        break;
    case Kind::BandType:
        model.setBandType(bandIndex, change.code);
        break;
    case Kind::BandFrequency:
        model.setBandFrequencyHz(bandIndex, change.number);
        break;
    case Kind::BandGain:
        model.setBandGainDb(bandIndex, change.number);
        break;
    case Kind::BandQ:
        model.setBandQ(bandIndex, change.number);
        break;
    }
}

} // namespace quellaton
