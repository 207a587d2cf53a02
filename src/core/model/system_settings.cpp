#include "model/system_settings.h"

#include "dsp/scales.h"

#include <algorithm>

namespace quellaton {

SystemSettings SystemSettingsOf(const ParameterImage& image, const BypassRows& bypass) {
    SystemSettings settings;
    for (int s = 0; s < SectionCount; ++s) {
        SectionSettings& section = settings.sections[s];
        for (int k = 0; k < BandsPerSection; ++k) {
            const EqBand& band = image.bands[BandIndex(s, k)];
            BandSettings& out = section.bands[k];
            out.frequencyHz = FrequencyTable[std::clamp(band.frequencyIndex, 0, MaxFrequencyIndex)];
            out.gainDb = EqGainTable[std::clamp(band.activeGain(), 0, MaxEqGainIndex)];
            out.q = QTable[std::clamp(band.qIndex, 0, MaxQIndex)];
            out.type = band.type;
            out.bypassed = bypass[std::size_t(k)];
        }
        section.highPass = {HighPassCorner(image.highPassIndex[s]), image.highPassType[s]};
        section.lowPass = {LowPassCorner(image.lowPassIndex[s]), image.lowPassType[s]};
        section.inverted = image.polarity[s] != 0;
        section.delayMs = DelayMs(std::clamp(image.delay[s], 0, MaxDelaySteps));
        if (s == Main) {
            const int level = std::clamp(image.masterLevel, 0, MainLevelTop);
            section.muted = level == 0;
            section.gainDb = -2.0 * (MainLevelTop - level) / 10.0;
        } else {
            section.muted = image.onFlag[s] == 0;
            section.gainDb =
                OutputGainTable[std::clamp(image.gainIndex[s], 0, OutputGainCount - 1)];
        }
    }
    return settings;
}

} // namespace quellaton
