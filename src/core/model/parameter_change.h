// A change of one parameter as a remote client asks for it: a JSON object
//
//   {"section": "high", "parameter": "gain", "value": -3.0}
//
// with the section and parameter named as the reports name them (in any letter case), and the
// value as a number (dB, Hz, Q, ms), true or false (or "on" and "off") for a switch, or one of
// the texts the reports show for a choice ("24db-L-R", "PEQ", "+", "Pol(-)", "-18dBu"). A
// change is read and checked whole before anything is applied, so that a list with one bad
// change changes nothing. Applying it goes through the model's setters, which limit and snap
// the value as every edit is limited and snapped.
#pragma once

#include "model/unit_model.h"

#include <QJsonValue>
#include <QList>
#include <QString>

namespace quellaton {

struct ParameterChange {
    enum class Kind {
        Gain,
        Mute,
        Polarity,
        Delay,
        LimiterThreshold,
        LimiterAttack,
        LimiterRelease,
        Level,
        BassEnhancer,
        BtlMode,
        HighPassType,
        HighPassFrequency,
        LowPassType,
        LowPassFrequency,
        BandType,
        BandFrequency,
        BandGain,
        BandQ,
    };

    int section = 0; // High, Mid, Low, Main
    Kind kind = Kind::Gain;
    int band = 0;        // 0..5, for the band parameters
    QString parameter;   // the parameter's name as the reports write it ("Band 3 gain")
    double number = 0.0; // a number's value
    bool on = false;     // a switch's value (Mute: muted; Polarity: inverted)
    int code = 0;        // a choice's position in its list
};

struct ParsedChanges {
    QList<ParameterChange> changes;
    QString error; // why the request cannot be used; empty when it can

    bool ok() const { return error.isEmpty(); }
};

// One change (an object) or several (an array of objects, at most MaxChanges).
ParsedChanges ParseParameterChanges(const QJsonValue& json);
inline constexpr int MaxParameterChanges = 1000;

// The section's name as the reports write it ("High").
QString SectionName(int section);

// Applies `change` through the model's setters. A switch or choice already at the value asked
// for is left alone; every other change edits its block.
void ApplyParameterChange(UnitModel& model, const ParameterChange& change);

} // namespace quellaton
