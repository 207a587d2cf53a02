#include "dsp/system_response.h"

#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace quellaton {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Product without the library's infinity and NaN recovery, which is far slower and changes
// nothing for the finite values met here; a NaN still propagates.
inline Complex Mul(Complex a, Complex b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

struct Normalised {
    double B0, B1, B2, A1, A2;
};

Normalised Normalise(const BiquadSection& s) {
    return {s.b0 / s.a0, s.b1 / s.a0, s.b2 / s.a0, s.a1 / s.a0, s.a2 / s.a0};
}

// (B0 + B1 z^-1 + B2 z^-2) / (1 + A1 z^-1 + A2 z^-2) at z = e^jw, given cos and sin of w
// and 2w.
inline Complex Evaluate(const Normalised& n, double c1, double s1, double c2, double s2) {
    const double numRe = n.B0 + n.B1 * c1 + n.B2 * c2;
    const double numIm = -(n.B1 * s1 + n.B2 * s2);
    const double denRe = 1.0 + n.A1 * c1 + n.A2 * c2;
    const double denIm = -(n.A1 * s1 + n.A2 * s2);
    double norm = denRe * denRe + denIm * denIm;
    if (norm == 0.0) {
        norm = std::numeric_limits<double>::min(); // a pole on the circle: huge, not undefined
    }
    return {(numRe * denRe + numIm * denIm) / norm, (numIm * denRe - numRe * denIm) / norm};
}

double AngularFrequency(double hz) {
    return StandardTwoPi * hz / ResponseSampleRate;
}

Complex EvaluateAt(const BiquadSection& section, double hz) {
    const double w = AngularFrequency(hz);
    return Evaluate(Normalise(section), std::cos(w), std::sin(w), std::cos(2.0 * w),
                    std::sin(2.0 * w));
}

// The band's section, or nothing when the band is flat: bypassed, 0 dB, or of no known type.
bool BandSection(const BandSettings& band, BiquadSection& section) {
    if (band.bypassed || band.gainDb == 0.0) {
        return false;
    }
    switch (band.type) {
    case 0:
        section = PeakingSection(band.frequencyHz, band.gainDb, band.q);
        return true;
    case 1:
        section = LowShelfSection(band.frequencyHz, band.gainDb);
        return true;
    case 2:
        section = HighShelfSection(band.frequencyHz, band.gainDb);
        return true;
    default:
        return false;
    }
}

FilterCascade CrossoverSections(const CrossoverSettings& filter, bool highPass) {
    return highPass ? HighPassSections(filter.cornerHz, filter.type)
                    : LowPassSections(filter.cornerHz, filter.type);
}

} // namespace

Complex SectionResponse(const BiquadSection& section, double hz) {
    return EvaluateAt(section, hz);
}

Complex CascadeResponse(const FilterCascade& cascade, double hz) {
    Complex h(1.0, 0.0);
    for (const BiquadSection& section : cascade.view()) {
        h = Mul(h, EvaluateAt(section, hz));
    }
    return h;
}

Complex BandResponse(const BandSettings& band, double hz) {
    BiquadSection section;
    return BandSection(band, section) ? EvaluateAt(section, hz) : Complex(1.0, 0.0);
}

Complex HighPassResponse(const CrossoverSettings& filter, double hz) {
    return CascadeResponse(CrossoverSections(filter, true), hz);
}

Complex LowPassResponse(const CrossoverSettings& filter, double hz) {
    return CascadeResponse(CrossoverSections(filter, false), hz);
}

double LevelDb(Complex h) {
    const double norm = h.real() * h.real() + h.imag() * h.imag();
    if (std::isnan(norm)) {
        return NaN;
    }
    return norm == 0.0 ? -std::numeric_limits<double>::infinity() : 10.0 * std::log10(norm);
}

double PhaseDeg(Complex h) {
    if (std::isnan(h.real()) || std::isnan(h.imag()) || (h.real() == 0.0 && h.imag() == 0.0)) {
        return NaN;
    }
    double degrees = std::atan2(h.imag(), h.real()) * (180.0 / std::numbers::pi);
    if (degrees <= -180.0) {
        degrees += 360.0;
    }
    return degrees;
}

QJsonArray ResponsePointsJson(const std::vector<double>& frequencies,
                              const std::vector<Complex>& values) {
    auto number = [](double value) {
        return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
    };
    QJsonArray points;
    for (std::size_t i = 0; i < frequencies.size() && i < values.size(); ++i) {
        points.append(QJsonObject{{"frequency", frequencies[i]},
                                  {"level", number(LevelDb(values[i]))},
                                  {"phase", number(PhaseDeg(values[i]))}});
    }
    return points;
}

std::vector<double> OctaveFrequencies(double from, double to, int pointsPerOctave, int maxPoints) {
    std::vector<double> points;
    if (!(from > 0.0) || !(to >= from) || !std::isfinite(to) || pointsPerOctave < 1) {
        return points;
    }
    const double limit = to * (1.0 + 1e-9);
    for (int k = 0;; ++k) {
        const double f = from * std::exp2(double(k) / pointsPerOctave);
        if (f > limit) {
            break;
        }
        if (int(points.size()) >= maxPoints) {
            return {};
        }
        points.push_back(f);
    }
    return points;
}

// ---- SystemResponse ---------------------------------------------------------------------

SystemResponse::SystemResponse(std::vector<double> frequencies) {
    setFrequencies(std::move(frequencies));
}

void SystemResponse::setFrequencies(std::vector<double> frequencies) {
    frequencies_ = std::move(frequencies);
    const std::size_t n = frequencies_.size();
    cos1_.resize(n);
    sin1_.resize(n);
    cos2_.resize(n);
    sin2_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double w = AngularFrequency(frequencies_[i]);
        cos1_[i] = std::cos(w);
        sin1_[i] = std::sin(w);
        cos2_[i] = std::cos(2.0 * w);
        sin2_[i] = std::sin(2.0 * w);
    }
    resizeRows();
    for (int way = 0; way < SystemWayCount; ++way) {
        measured_[way] = false;
        measurementChanged_[way] = true;
    }
    computed_ = false;
}

void SystemResponse::resizeRows() {
    const std::size_t n = frequencies_.size();
    for (Row& row : filter_) {
        row.assign(n, Complex(1.0, 0.0));
    }
    for (auto* rows : {&level_, &section_}) {
        for (Row& row : *rows) {
            row.assign(n, Complex(1.0, 0.0));
        }
    }
    for (auto* rows : {&measurement_, &fed_, &predicted_}) {
        for (Row& row : *rows) {
            row.assign(n, Complex(1.0, 0.0));
        }
    }
    system_.assign(n, Complex(0.0, 0.0));
}

void SystemResponse::setMeasurement(int way, const MeasuredCurve* curve) {
    if (way < 0 || way >= SystemWayCount) {
        return;
    }
    measured_[way] = curve != nullptr;
    measurementChanged_[way] = true;
    Row& row = measurement_[way];
    for (std::size_t i = 0; i < frequencies_.size(); ++i) {
        row[i] = curve ? curve->factorAt(frequencies_[i]) : Complex(1.0, 0.0);
    }
}

bool SystemResponse::hasMeasurement(int way) const {
    return way >= 0 && way < SystemWayCount && measured_[way];
}

void SystemResponse::computeFilter(int filter, const BiquadSection* sections, int count) {
    ++filterEvaluations_;
    Row& row = filter_[filter];
    flat_[filter] = count == 0;
    if (count == 0) {
        return;
    }
    std::array<Normalised, 4> normalised{};
    count = std::min(count, 4);
    for (int k = 0; k < count; ++k) {
        normalised[k] = Normalise(sections[k]);
    }
    const std::size_t n = frequencies_.size();
    for (std::size_t i = 0; i < n; ++i) {
        Complex h = Evaluate(normalised[0], cos1_[i], sin1_[i], cos2_[i], sin2_[i]);
        for (int k = 1; k < count; ++k) {
            h = Mul(h, Evaluate(normalised[k], cos1_[i], sin1_[i], cos2_[i], sin2_[i]));
        }
        row[i] = h;
    }
}

void SystemResponse::computeBand(int bandIndex, const BandSettings& band) {
    BiquadSection section;
    const bool present = BandSection(band, section);
    computeFilter(bandIndex, &section, present ? 1 : 0);
}

void SystemResponse::computeCrossover(int filter, const CrossoverSettings& settings,
                                      bool highPass) {
    const FilterCascade cascade = CrossoverSections(settings, highPass);
    computeFilter(filter, cascade.sections.data(), cascade.count);
}

void SystemResponse::computeLevel(int section, const SectionSettings& s) {
    Row& row = level_[section];
    const double gain = s.muted ? 0.0 : std::pow(10.0, s.gainDb / 20.0) * (s.inverted ? -1.0 : 1.0);
    const double tau = s.delayMs / 1000.0;
    for (std::size_t i = 0; i < frequencies_.size(); ++i) {
        if (tau == 0.0) {
            row[i] = Complex(gain, 0.0);
        } else {
            const double angle = -2.0 * std::numbers::pi * frequencies_[i] * tau;
            row[i] = Complex(gain * std::cos(angle), gain * std::sin(angle));
        }
    }
}

void SystemResponse::computeSection(int section) {
    Row& row = section_[section];
    row = level_[section];
    const int first = SystemBandsPerSection * section;
    std::array<const Complex*, 8> factors{};
    int count = 0;
    for (int k = 0; k < SystemBandsPerSection; ++k) {
        if (!flat_[first + k]) {
            factors[count++] = filter_[first + k].data();
        }
    }
    for (int filter : {HighPassRow(section), LowPassRow(section)}) {
        if (!flat_[filter]) {
            factors[count++] = filter_[filter].data();
        }
    }
    const std::size_t n = row.size();
    for (int k = 0; k < count; ++k) {
        const Complex* f = factors[k];
        for (std::size_t i = 0; i < n; ++i) {
            row[i] = Mul(row[i], f[i]);
        }
    }
}

void SystemResponse::update(const SystemSettings& settings) {
    std::array<bool, SystemSectionCount> changed{};
    for (int s = 0; s < SystemSectionCount; ++s) {
        const SectionSettings& section = settings.sections[s];
        for (int k = 0; k < SystemBandsPerSection; ++k) {
            const int band = SystemBandsPerSection * s + k;
            if (!computed_ || !(bandKey_[band] == section.bands[k])) {
                bandKey_[band] = section.bands[k];
                computeBand(band, section.bands[k]);
                changed[s] = true;
            }
        }
        if (!computed_ || !(crossoverKey_[s] == section.highPass)) {
            crossoverKey_[s] = section.highPass;
            computeCrossover(HighPassRow(s), section.highPass, true);
            changed[s] = true;
        }
        if (!computed_ || !(crossoverKey_[4 + s] == section.lowPass)) {
            crossoverKey_[4 + s] = section.lowPass;
            computeCrossover(LowPassRow(s), section.lowPass, false);
            changed[s] = true;
        }
        const LevelKey level{section.gainDb, section.inverted, section.delayMs, section.muted};
        if (!computed_ || !(levelKey_[s] == level)) {
            levelKey_[s] = level;
            computeLevel(s, section);
            changed[s] = true;
        }
        if (changed[s]) {
            computeSection(s);
        }
    }
    const bool mainChanged = changed[SystemMainSection];
    bool anyWay = false;
    const std::size_t n = frequencies_.size();
    const Row& main = section_[SystemMainSection];
    for (int w = 0; w < SystemWayCount; ++w) {
        if (!mainChanged && !changed[w] && !measurementChanged_[w] && computed_) {
            continue;
        }
        anyWay = true;
        measurementChanged_[w] = false;
        const Row& way = section_[w];
        Row& fed = fed_[w];
        Row& predicted = predicted_[w];
        // A muted way contributes nothing, whatever its measurement says.
        const bool muted = settings.sections[w].muted;
        for (std::size_t i = 0; i < n; ++i) {
            fed[i] = Mul(main[i], way[i]);
            predicted[i] = muted          ? Complex(0.0, 0.0)
                           : measured_[w] ? Mul(fed[i], measurement_[w][i])
                                          : fed[i];
        }
    }
    if (anyWay || !computed_) {
        for (std::size_t i = 0; i < n; ++i) {
            system_[i] = predicted_[0][i] + predicted_[1][i] + predicted_[2][i];
        }
    }
    computed_ = true;
}

} // namespace quellaton
