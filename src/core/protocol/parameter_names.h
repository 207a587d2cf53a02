// The names of a parameter set's sections and parameters as people read them: the rows of a
// report ("High", "Band 3 frequency"), the changes a remote client asks for, and the JSON of
// quellaton-cli show all use these, so a name printed can be given back to change the value.
#pragma once

#include "protocol/parameter_image.h"

#include <QString>

namespace quellaton::parameter_names {

inline const char* const Sections[SectionCount] = {"High", "Mid", "Low", "Main"};

// The ways' own parameters.
inline constexpr const char* Gain = "Gain";
inline constexpr const char* Mute = "Mute";
inline constexpr const char* Polarity = "Polarity";
inline constexpr const char* Delay = "Delay";
inline constexpr const char* LimiterThreshold = "Limiter threshold";
inline constexpr const char* LimiterAttack = "Limiter attack";
inline constexpr const char* LimiterRelease = "Limiter release";
// Main's own parameters (Delay and Polarity too).
inline constexpr const char* Level = "Level";
inline constexpr const char* BassEnhancer = "Bass enhancer";
inline constexpr const char* BtlMode = "BTL mode";
// Every section's filters.
inline constexpr const char* HighPassType = "HPF type";
inline constexpr const char* HighPassFrequency = "HPF frequency";
inline constexpr const char* LowPassType = "LPF type";
inline constexpr const char* LowPassFrequency = "LPF frequency";
// A band's parameters follow "Band N " (N 1..6).
inline constexpr const char* BandType = "type";
inline constexpr const char* BandFrequency = "frequency";
inline constexpr const char* BandGain = "gain";
inline constexpr const char* BandQ = "Q";

inline QString Band(int band, const char* parameter) {
    return QStringLiteral("Band %1 %2").arg(band + 1).arg(QLatin1String(parameter));
}

// The two ways polarity is written: the ways as "+" and "-", Main as "Pol(+)" and "Pol(-)".
inline QString PolarityText(int section, bool inverted) {
    if (section == Main) {
        return inverted ? QStringLiteral("Pol(-)") : QStringLiteral("Pol(+)");
    }
    return inverted ? QStringLiteral("-") : QStringLiteral("+");
}

inline QString OnOffText(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

} // namespace quellaton::parameter_names
