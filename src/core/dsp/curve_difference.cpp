#include "dsp/curve_difference.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace quellaton {

namespace {

// Points of the grid: 2000 over the ten octaves, about 1/200 octave apart.
constexpr int GridPoints = 2000;

// |b0 + b1 z^-1 + b2 z^-2|^2 on the unit circle, written with phi = sin^2(w / 2) as
// (b0 + b1 + b2)^2 - 4 (b0 b1 + 4 b0 b2 + b1 b2) phi + 16 b0 b2 phi^2: it keeps its precision
// near w = 0, where a high-pass section's numerator all but vanishes.
struct SquaredMagnitude {
    double sum, middle, outer;

    SquaredMagnitude(double c0, double c1, double c2)
        : sum(c0 + c1 + c2), middle(c0 * c1 + 4.0 * c0 * c2 + c1 * c2), outer(c0 * c2) {}
    double at(double phi) const {
        return sum * sum - 4.0 * middle * phi + 16.0 * outer * phi * phi;
    }
};

struct SectionForm {
    SquaredMagnitude num;
    SquaredMagnitude den;
};

std::vector<SectionForm> Forms(std::span<const BiquadSection> chain) {
    std::vector<SectionForm> forms;
    forms.reserve(chain.size());
    for (const BiquadSection& s : chain) {
        forms.push_back({{s.b0, s.b1, s.b2}, {s.a0, s.a1, s.a2}});
    }
    return forms;
}

constexpr double MinimumPower = MinimumMagnitude * MinimumMagnitude;
constexpr double MaximumPower = MaximumMagnitude * MaximumMagnitude;

double ChainLevel(const std::vector<SectionForm>& forms, double phi) {
    double level = 0.0;
    for (const SectionForm& f : forms) {
        double power = f.num.at(phi) / f.den.at(phi);
        if (!(power >= MinimumPower)) { // also a power that is not a number
            power = MinimumPower;
        } else if (power > MaximumPower) {
            power = MaximumPower;
        }
        level += 10.0 * std::log10(power);
    }
    return level;
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

BiquadSection HighPassSection(double hz, double damping) {
    return DampedSection(hz, damping, false);
}

BiquadSection LowPassSection(double hz, double damping) {
    return DampedSection(hz, damping, true);
}

double MaxCurveDifference(std::span<const BiquadSection> a, std::span<const BiquadSection> b,
                          double offsetDb, std::span<const double> alsoAt) {
    const std::vector<SectionForm> formsA = Forms(a);
    const std::vector<SectionForm> formsB = Forms(b);
    auto differenceAt = [&](double hz) {
        const double half = std::sin(StandardAngularFrequency(hz) / 2.0);
        const double phi = half * half;
        return std::abs(ChainLevel(formsA, phi) - ChainLevel(formsB, phi) + offsetDb);
    };
    double largest = 0.0;
    const double octaves = std::log2(AudibleHighHz / AudibleLowHz);
    for (int i = 0; i < GridPoints; ++i) {
        const double hz = AudibleLowHz * std::exp2(octaves * i / (GridPoints - 1));
        largest = std::max(largest, differenceAt(hz));
    }
    std::vector<double> extra(alsoAt.begin(), alsoAt.end());
    std::sort(extra.begin(), extra.end());
    extra.erase(std::unique(extra.begin(), extra.end()), extra.end());
    for (const double hz : extra) {
        if (hz >= AudibleLowHz && hz <= AudibleHighHz) {
            largest = std::max(largest, differenceAt(hz));
        }
    }
    return largest;
}

} // namespace quellaton
