#include "dsp/curve_difference.h"

#include <algorithm>
#include <cmath>

namespace quellaton {

namespace {

// Points of the grid: 2000 over the ten octaves, about 1/200 octave apart.
constexpr int GridPoints = 2000;

double LevelOfMagnitude(double m) {
    if (!(m >= MinimumMagnitude)) { // also a magnitude that is not a number
        m = MinimumMagnitude;
    } else if (m > MaximumMagnitude) {
        m = MaximumMagnitude;
    }
    return 20.0 * std::log10(m);
}

BiquadSection DampedSection(double hz, double damping, bool lowPass) {
    const double w0 = hz * CornerToW0;
    const double alpha = std::sin(w0) * damping;
    const double cosW0 = std::cos(w0);
    BiquadSection s;
    s.a0 = 1.0 + alpha;
    if (s.a0 == 0.0) {
        s.a0 = 1e-10;
    }
    s.a1 = -2.0 * cosW0;
    s.a2 = 1.0 - alpha;
    s.b0 = lowPass ? (1.0 - cosW0) / 2.0 : (1.0 + cosW0) / 2.0;
    s.b1 = lowPass ? 2.0 * s.b0 : -2.0 * s.b0;
    s.b2 = s.b0;
    return s;
}

} // namespace

std::complex<double> SectionResponse(const BiquadSection& s, double w) {
    const std::complex<double> z1 = std::polar(1.0, -w); // z^-1
    const std::complex<double> z2 = z1 * z1;
    const std::complex<double> num = s.b0 + s.b1 * z1 + s.b2 * z2;
    const std::complex<double> den = s.a0 + s.a1 * z1 + s.a2 * z2;
    return num / den;
}

double ChainLevelDb(std::span<const BiquadSection> chain, double hz) {
    const double w = StandardAngularFrequency(hz);
    double level = 0.0;
    for (const BiquadSection& section : chain) {
        level += LevelOfMagnitude(std::abs(SectionResponse(section, w)));
    }
    return level;
}

BiquadSection HighPassSection(double hz, double damping) {
    return DampedSection(hz, damping, false);
}

BiquadSection LowPassSection(double hz, double damping) {
    return DampedSection(hz, damping, true);
}

double MaxCurveDifference(std::span<const BiquadSection> a, std::span<const BiquadSection> b,
                          double offsetDb, std::span<const double> alsoAt) {
    auto differenceAt = [&](double hz) {
        return std::abs(ChainLevelDb(a, hz) - ChainLevelDb(b, hz) + offsetDb);
    };
    double largest = 0.0;
    const double octaves = std::log2(AudibleHighHz / AudibleLowHz);
    for (int i = 0; i < GridPoints; ++i) {
        const double hz = AudibleLowHz * std::exp2(octaves * i / (GridPoints - 1));
        largest = std::max(largest, differenceAt(hz));
    }
    for (const double hz : alsoAt) {
        if (hz >= AudibleLowHz && hz <= AudibleHighHz) {
            largest = std::max(largest, differenceAt(hz));
        }
    }
    return largest;
}

} // namespace quellaton
