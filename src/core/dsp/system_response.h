// The whole loudspeaker as complex responses at chosen frequencies.
//
// Each way (High, Mid, Low) is the complex product of its six equaliser bands (a bypassed band
// counts as flat), its high-pass and low-pass sections, its gain as a linear factor, -1 when
// its polarity is inverted and exp(-j 2 pi f tau) for its delay tau; a muted way is 0. The Main
// section (its bands, crossovers, level, polarity and delay, 0 when muted) multiplies the sum:
// H_system = H_Main x sum of H_way. A measurement loaded for a way multiplies that way, which
// turns the sum into the predicted acoustic response. The limiter and the bass enhancer are not
// part of the model.
//
// The filters are the sections the response graph draws (response.h), designed from the table
// values of frequency, gain and Q and evaluated as complex numbers at each frequency itself.
// Levels are 20 log10 |H| dB and phases degrees wrapped to (-180, 180].
//
// SystemResponse keeps every filter's complex values: update() recomputes only the filters
// whose settings changed and then the products that depend on them.
#pragma once

#include "dsp/measured_curve.h"
#include "dsp/response.h"

#include <QJsonArray>

#include <array>
#include <complex>
#include <vector>

namespace quellaton {

inline constexpr int SystemWayCount = 3;     // High, Mid, Low
inline constexpr int SystemSectionCount = 4; // the ways, then Main
inline constexpr int SystemMainSection = 3;
inline constexpr int SystemBandsPerSection = 6;

struct BandSettings {
    double frequencyHz = 1000.0;
    double gainDb = 0.0;
    double q = 1.0;
    int type = 0; // 0 peaking, 1 low shelf, 2 high shelf; any other type is flat
    bool bypassed = false;
    bool operator==(const BandSettings&) const = default;
};

struct CrossoverSettings {
    double cornerHz = 1.0; // the corner the sections are designed for (before a Bessel factor)
    int type = 0;          // 0..11; any other type is flat
    bool operator==(const CrossoverSettings&) const = default;
};

struct SectionSettings {
    std::array<BandSettings, SystemBandsPerSection> bands{};
    CrossoverSettings highPass{1.0, 0};
    CrossoverSettings lowPass{60000.0, 0};
    double gainDb = 0.0;
    bool inverted = false;
    double delayMs = 0.0;
    bool muted = false;
};

struct SystemSettings {
    std::array<SectionSettings, SystemSectionCount> sections{};
};

using Complex = std::complex<double>;

// One section or cascade at `hz` (sample rate 96 kHz).
Complex SectionResponse(const BiquadSection& section, double hz);
Complex CascadeResponse(const FilterCascade& cascade, double hz);
// The filters of the settings at `hz`.
Complex BandResponse(const BandSettings& band, double hz);
Complex HighPassResponse(const CrossoverSettings& filter, double hz);
Complex LowPassResponse(const CrossoverSettings& filter, double hz);

// 20 log10 |h|: -infinity for 0, NaN for a value that is not a number.
double LevelDb(Complex h);
// The phase in degrees in (-180, 180]; NaN for 0 or a value that is not a number.
double PhaseDeg(Complex h);

// The points as JSON: {"frequency", "level", "phase"} per point, level and phase null where
// they have no value.
QJsonArray ResponsePointsJson(const std::vector<double>& frequencies,
                              const std::vector<Complex>& values);

// from x 2^(k / pointsPerOctave) for k = 0, 1, ... up to `to` (a point within a relative 1e-9
// of `to` still counts). Empty for arguments that give no point or more than maxPoints.
std::vector<double> OctaveFrequencies(double from, double to, int pointsPerOctave,
                                      int maxPoints = 100000);

class SystemResponse {
public:
    using Row = std::vector<Complex>;

    explicit SystemResponse(std::vector<double> frequencies = {});

    // New evaluation points; every value is recomputed by the next update().
    void setFrequencies(std::vector<double> frequencies);
    const std::vector<double>& frequencies() const { return frequencies_; }

    // The measured driver of way 0..2 (nullptr: none). The curve is read at the evaluation
    // points now; where it has no value the way's prediction and the sum have none (NaN).
    void setMeasurement(int way, const MeasuredCurve* curve);
    bool hasMeasurement(int way) const;

    // Brings every value up to `settings`, recomputing only what changed.
    void update(const SystemSettings& settings);

    // One section alone: a way's H_way, or H_Main for section 3.
    const Row& section(int section) const { return section_[clampSection(section)]; }
    // A way as its driver gets it: H_Main x H_way.
    const Row& fed(int way) const { return fed_[clampWay(way)]; }
    // The way's predicted sound: H_Main x H_way x measurement (fed() without a measurement).
    const Row& predicted(int way) const { return predicted_[clampWay(way)]; }
    // The measurement of way 0..2 read at the points (1 without one, NaN outside its range).
    const Row& measurement(int way) const { return measurement_[clampWay(way)]; }
    // H_Main x the sum of the ways' predictions.
    const Row& system() const { return system_; }

    // How many filters have been evaluated over all points since construction.
    int filterEvaluations() const { return filterEvaluations_; }

private:
    static constexpr int FilterCount = 32; // 24 bands, 4 high-pass, 4 low-pass
    static int clampSection(int s) { return s < 0 ? 0 : (s > 3 ? 3 : s); }
    static int clampWay(int w) { return w < 0 ? 0 : (w > 2 ? 2 : w); }

    void resizeRows();
    void computeFilter(int filter, const BiquadSection* sections, int count);
    void computeBand(int bandIndex, const BandSettings& band);
    void computeCrossover(int filter, const CrossoverSettings& settings, bool highPass);
    void computeLevel(int section, const SectionSettings& settings);
    void computeSection(int section);

    std::vector<double> frequencies_;
    // Per point: cos and sin of w and 2w, with w = 2 pi f / 96000.
    std::vector<double> cos1_, sin1_, cos2_, sin2_;

    std::array<Row, FilterCount> filter_;
    std::array<bool, FilterCount> flat_{}; // a flat filter's row is not read
    std::array<BandSettings, 24> bandKey_{};
    std::array<CrossoverSettings, 8> crossoverKey_{};
    std::array<Row, SystemSectionCount> level_;
    struct LevelKey {
        double gainDb = 0.0;
        bool inverted = false;
        double delayMs = 0.0;
        bool muted = false;
        bool operator==(const LevelKey&) const = default;
    };
    std::array<LevelKey, SystemSectionCount> levelKey_{};
    bool computed_ = false; // false until the first update() after new points

    std::array<Row, SystemWayCount> measurement_;
    std::array<bool, SystemWayCount> measured_{};
    std::array<bool, SystemWayCount> measurementChanged_{};

    std::array<Row, SystemSectionCount> section_;
    std::array<Row, SystemWayCount> fed_;
    std::array<Row, SystemWayCount> predicted_;
    Row system_;
    int filterEvaluations_ = 0;
};

} // namespace quellaton
