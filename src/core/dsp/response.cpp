#include "dsp/response.h"

#include <algorithm>
#include <cmath>

namespace quellaton {

namespace {

// One crossover type: an optional factor that divides the corner frequency, up to four
// damping values (1 / 2Q of each section, 0 = absent) or up to four analogue prototype pairs
// (p, q) of 1 / (1 + p s + q s^2) (p = 0 = absent), and whether section 1 becomes a
// first-order section whose d1 is the first damping value.
struct CrossoverDesign {
    double cornerDivisor = 0.0; // 0: corner used as it is
    bool firstOrderFirst = false;
    std::array<double, 4> damping{};
    std::array<std::array<double, 2>, 4> prototype{};
    bool usesPrototype = false;
};

constexpr CrossoverDesign Damped(std::array<double, 4> d, double divisor = 0.0,
                                 bool firstOrder = false) {
    CrossoverDesign design;
    design.cornerDivisor = divisor;
    design.firstOrderFirst = firstOrder;
    design.damping = d;
    return design;
}

constexpr CrossoverDesign Prototype(std::array<std::array<double, 2>, 4> pairs, double divisor) {
    CrossoverDesign design;
    design.cornerDivisor = divisor;
    design.prototype = pairs;
    design.usesPrototype = true;
    return design;
}

constexpr std::array<CrossoverDesign, CrossoverTypeCount> LowPassDesigns = {
    Damped({0.70422535}),                                          // 12 dB Butterworth
    Damped({1.0}),                                                 // 12 dB Linkwitz-Riley
    Prototype({{{1.0, 0.3333333333}}}, 1.3616541287),              // 12 dB Bessel
    Damped({1.0, 0.5}, 0.0, true),                                 // 18 dB Butterworth
    Damped({1.0, 0.70422535211}, 0.0, true),                       // 18 dB Linkwitz-Riley
    Prototype({{{0.5693712514, 0.154812441}, {0.430628846, 0.0}}}, // 18 dB Bessel
              1.75567236868),
    Damped({0.92592593, 0.38167939}),                             // 24 dB Butterworth
    Damped({0.70422535211, 0.70422535211}),                       // 24 dB Linkwitz-Riley
    Prototype({{{0.369, 0.087858766}, {0.6278294896, 0.109408}}}, // 24 dB Bessel
              2.1139176749),
    Damped({0.98039216, 0.83333333, 0.55555556, 0.1953125}),          // 48 dB Butterworth
    Damped({0.92592592593, 0.373134315, 0.92592592593, 0.373134315}), // 48 dB Linkwitz-Riley
    Prototype({{{0.117235677, 0.02064747},                            // 48 dB Bessel
                {0.226516664, 0.0259273886},
                {0.3067559, 0.0294683265},
                {0.3494916166, 0.031272257}}},
              3.17961723751),
};

constexpr std::array<CrossoverDesign, CrossoverTypeCount> HighPassDesigns = {
    Damped({0.70422535}),
    Damped({1.0}),
    Damped({0.70422535}, 1.2683112435),
    Damped({1.0, 0.5}, 0.0, true),
    Damped({1.0, 0.70422535211}, 0.0, true),
    Damped({0.756, 0.72463768}, 1.2854981442, true),
    Damped({0.92592593, 0.38167939}),
    Damped({0.70422535211, 0.70422535211}),
    Damped({0.96153846, 0.61728395}, 1.5006420029),
    Damped({0.98039216, 0.83333333, 0.55555556, 0.1953125}),
    Damped({0.92592592593, 0.373134315, 0.92592592593, 0.373134315}),
    Damped({0.98039216, 0.89285714, 0.70422535, 0.40650406}, 1.679120141),
};

const double LogOf101 = std::log(101.0);

// A crossover denominator that comes out exactly 0 would divide by zero when the section is
// normalised; it is replaced by 1e-10.
double NonZeroA0(double a0) {
    return a0 == 0.0 ? 1e-10 : a0;
}

struct NormalisedSection {
    double B0, B1, B2, A1, A2;
};

NormalisedSection Normalise(const BiquadSection& s) {
    return {s.b0 / s.a0, s.b1 / s.a0, s.b2 / s.a0, s.a1 / s.a0, s.a2 / s.a0};
}

double LevelAt(const NormalisedSection& n, double c, double s) {
    const double numRe = n.B0 * c + n.B1 + n.B2 * c;
    const double numIm = n.B0 * s - n.B2 * s;
    const double denRe = c + n.A1 + n.A2 * c;
    const double denIm = s - n.A2 * s;
    double m = std::sqrt((numRe * numRe + numIm * numIm) / (denRe * denRe + denIm * denIm));
    if (!(m >= MinimumMagnitude)) { // also catches a magnitude that is not a number
        m = MinimumMagnitude;
    } else if (m > MaximumMagnitude) {
        m = MaximumMagnitude;
    }
    return 40.0 * std::log(m) / LogOf101;
}

// Writes the summed level of the sections into columns 1 .. last of the row, reading the
// cosine and sine of each column's angular frequency from the tables.
void WriteRow(ResponseCache::Row& row, std::span<const BiquadSection> sections,
              const std::array<double, ResponseColumnCount>& cosW,
              const std::array<double, ResponseColumnCount>& sinW, int last) {
    std::array<NormalisedSection, 4> normalised{};
    const size_t count = std::min(sections.size(), normalised.size());
    for (size_t k = 0; k < count; ++k) {
        normalised[k] = Normalise(sections[k]);
    }
    for (int j = FirstResponseColumn; j <= last; ++j) {
        const double c = cosW[j];
        const double s = sinW[j];
        double level = 0.0;
        for (size_t k = 0; k < count; ++k) {
            level += LevelAt(normalised[k], c, s);
        }
        row[j] = level;
    }
}

FilterCascade DampedSections(const CrossoverDesign& design, double cornerHz, bool lowPass) {
    const double fc = design.cornerDivisor != 0.0 ? cornerHz / design.cornerDivisor : cornerHz;
    const double w0 = fc * CornerToW0;
    const double sinW0 = std::sin(w0);
    const double cosW0 = std::cos(w0);
    const double k = std::tan(w0 / 2.0);

    FilterCascade cascade;
    if (design.usesPrototype) {
        for (const auto& [p, q] : design.prototype) {
            if (p == 0.0) {
                continue;
            }
            BiquadSection s;
            s.a0 = NonZeroA0(q + p * k + k * k);
            s.a1 = 2.0 * k * k - 2.0 * q;
            s.a2 = q - p * k + k * k;
            s.b0 = k * k;
            s.b1 = 2.0 * k * k;
            s.b2 = k * k;
            cascade.add(s);
        }
        return cascade;
    }

    for (size_t i = 0; i < design.damping.size(); ++i) {
        const double d = design.damping[i];
        if (d == 0.0) {
            continue;
        }
        BiquadSection s;
        if (i == 0 && design.firstOrderFirst) {
            if (lowPass) {
                s.a0 = NonZeroA0(k + d);
                s.a1 = k - d;
                s.a2 = 0.0;
                s.b0 = k;
                s.b1 = k;
                s.b2 = 0.0;
            } else {
                s.a0 = NonZeroA0(d * k + 1.0);
                s.a1 = d * k - 1.0;
                s.a2 = 0.0;
                s.b0 = 1.0;
                s.b1 = -1.0;
                s.b2 = 0.0;
            }
        } else {
            const double alpha = sinW0 * d;
            s.a0 = NonZeroA0(1.0 + alpha);
            s.a1 = -2.0 * cosW0;
            s.a2 = 1.0 - alpha;
            if (lowPass) {
                s.b0 = (1.0 - cosW0) / 2.0;
                s.b1 = 2.0 * s.b0;
            } else {
                s.b0 = (1.0 + cosW0) / 2.0;
                s.b1 = -2.0 * s.b0;
            }
            s.b2 = s.b0;
        }
        cascade.add(s);
    }
    return cascade;
}

bool ValidType(int type) {
    return type >= 0 && type < CrossoverTypeCount;
}

} // namespace

int LastResponseColumn(const GraphGeometry& geometry) {
    return std::min(geometry.width - 48, ResponseColumnCount - 1);
}

const ResponseColumnTable& ColumnTableFor(ResponseCache& cache, const GraphGeometry& geometry) {
    ResponseColumnTable& table = cache.columns;
    if (table.width == geometry.width) {
        return table;
    }
    table = ResponseColumnTable{};
    table.width = geometry.width;
    const int last = LastResponseColumn(geometry);
    for (int j = FirstResponseColumn; j <= last; ++j) {
        const double f = geometry.columnFrequency(j + 41);
        const double ws = StandardAngularFrequency(f);
        const double wp = PeakingAngularFrequency(f);
        table.frequency[j] = f;
        table.cosStandard[j] = std::cos(ws);
        table.sinStandard[j] = std::sin(ws);
        table.cosPeaking[j] = std::cos(wp);
        table.sinPeaking[j] = std::sin(wp);
    }
    return table;
}

void FilterCascade::add(const BiquadSection& section) {
    if (count < static_cast<int>(sections.size())) {
        sections[count++] = section;
    }
}

double StandardAngularFrequency(double hz) {
    return StandardTwoPi * hz / ResponseSampleRate;
}
double PeakingAngularFrequency(double hz) {
    return PeakingTwoPi * hz / ResponseSampleRate;
}

double SectionLevel(const BiquadSection& section, double w) {
    return LevelAt(Normalise(section), std::cos(w), std::sin(w));
}

double CascadeLevel(const FilterCascade& cascade, double w) {
    const double c = std::cos(w);
    const double s = std::sin(w);
    double level = 0.0;
    for (const BiquadSection& section : cascade.view()) {
        level += LevelAt(Normalise(section), c, s);
    }
    return level;
}

double LowPassCorner(int frequencyIndex) {
    const int index = std::clamp(frequencyIndex, 0, MaxFrequencyIndex);
    return index == MaxFrequencyIndex ? 60000.0 : FrequencyTable[index];
}

double HighPassCorner(int frequencyIndex) {
    const int index = std::clamp(frequencyIndex, 0, MaxFrequencyIndex);
    return index == 0 ? 1.0 : FrequencyTable[index];
}

FilterCascade LowPassSections(double cornerHz, int type) {
    return ValidType(type) ? DampedSections(LowPassDesigns[type], cornerHz, true) : FilterCascade{};
}

FilterCascade HighPassSections(double cornerHz, int type) {
    return ValidType(type) ? DampedSections(HighPassDesigns[type], cornerHz, false)
                           : FilterCascade{};
}

BiquadSection PeakingSection(double fc, double gainDb, double q) {
    const double bandwidth = std::asinh(1.0 / (2.0 * q)) / 0.34657359;
    const double a = std::pow(10.0, gainDb / 40.0);
    const double w0 = fc * CornerToW0;
    const double sinW0 = std::sin(w0);
    const double alpha = sinW0 * std::sinh(0.69314718 * bandwidth * w0 / sinW0);
    const double cosW0 = std::cos(w0);
    BiquadSection s;
    s.b0 = 1.0 + alpha * a;
    s.b1 = -2.0 * cosW0;
    s.b2 = 1.0 - alpha * a;
    s.a0 = 1.0 + alpha / a;
    s.a1 = -2.0 * cosW0;
    s.a2 = 1.0 - alpha / a;
    return s;
}

namespace {

constexpr double ShelfSlope = 1.3;

struct ShelfTerms {
    double a, c, r;
};

ShelfTerms Shelf(double w0, double gainDb) {
    const double a = std::pow(10.0, gainDb / 40.0);
    const double alpha =
        std::sin(w0) / 2.0 * std::sqrt((a + 1.0 / a) * (1.0 / ShelfSlope - 1.0) + 2.0);
    return {a, std::cos(w0), 2.0 * std::sqrt(a) * alpha};
}

} // namespace

BiquadSection LowShelfSection(double fc, double gainDb) {
    if (gainDb == 0.0) {
        return BiquadSection{};
    }
    const auto [a, c, r] = Shelf(fc * CornerToW0 * 1.2727272727, gainDb);
    BiquadSection s;
    s.a0 = (a + 1.0) + (a - 1.0) * c + r;
    s.a1 = -2.0 * ((a - 1.0) + (a + 1.0) * c);
    s.a2 = (a + 1.0) + (a - 1.0) * c - r;
    s.b0 = a * ((a + 1.0) - (a - 1.0) * c + r);
    s.b1 = 2.0 * a * ((a - 1.0) - (a + 1.0) * c);
    s.b2 = a * ((a + 1.0) - (a - 1.0) * c - r);
    return s;
}

BiquadSection HighShelfSection(double fc, double gainDb) {
    if (gainDb == 0.0) {
        return BiquadSection{};
    }
    const auto [a, c, r] = Shelf(fc * CornerToW0 * 0.76923076923, gainDb);
    BiquadSection s;
    s.a0 = (a + 1.0) - (a - 1.0) * c + r;
    s.a1 = 2.0 * ((a - 1.0) - (a + 1.0) * c);
    s.a2 = (a + 1.0) - (a - 1.0) * c - r;
    s.b0 = a * ((a + 1.0) + (a - 1.0) * c + r);
    s.b1 = -2.0 * a * ((a - 1.0) + (a + 1.0) * c);
    s.b2 = a * ((a + 1.0) + (a - 1.0) * c - r);
    return s;
}

double HandleFrequency(const GraphGeometry& geometry, int handleX) {
    return geometry.columnFrequency(handleX);
}

double HandleGain(const GraphGeometry& geometry, int handleY) {
    const double rows = geometry.height - 38;
    return std::trunc((15.0 - (handleY - 16) / rows * 45.0) * 10.0) / 10.0;
}

namespace {

bool ValidWay(int way) {
    return way >= 0 && way < ResponseSectionCount;
}
bool ValidBand(int band) {
    return band >= 0 && band < EqBandCount;
}

void WriteStandardRow(ResponseCache& cache, const GraphGeometry& geometry, int row,
                      std::span<const BiquadSection> sections) {
    const ResponseColumnTable& table = ColumnTableFor(cache, geometry);
    WriteRow(cache.rows[row], sections, table.cosStandard, table.sinStandard,
             LastResponseColumn(geometry));
}

} // namespace

void ComputeLowPassResponse(ResponseCache& cache, const GraphGeometry& geometry, int way,
                            int frequencyIndex, int type) {
    if (!ValidWay(way)) {
        return;
    }
    const FilterCascade cascade = LowPassSections(LowPassCorner(frequencyIndex), type);
    WriteStandardRow(cache, geometry, LowPassRow(way), cascade.view());
}

void ComputeHighPassResponse(ResponseCache& cache, const GraphGeometry& geometry, int way,
                             int frequencyIndex, int type) {
    if (!ValidWay(way)) {
        return;
    }
    const FilterCascade cascade = HighPassSections(HighPassCorner(frequencyIndex), type);
    WriteStandardRow(cache, geometry, HighPassRow(way), cascade.view());
}

void ComputePeakingResponse(ResponseCache& cache, const GraphGeometry& geometry, int bandIndex,
                            int handleX, int handleY, int qIndex) {
    if (!ValidBand(bandIndex)) {
        return;
    }
    const double q = QTable[std::clamp(qIndex, 0, MaxQIndex)];
    const BiquadSection section =
        PeakingSection(HandleFrequency(geometry, handleX), HandleGain(geometry, handleY), q);
    const ResponseColumnTable& table = ColumnTableFor(cache, geometry);
    WriteRow(cache.rows[bandIndex], {&section, 1}, table.cosPeaking, table.sinPeaking,
             LastResponseColumn(geometry));
}

void ComputeLowShelfResponse(ResponseCache& cache, const GraphGeometry& geometry, int bandIndex,
                             int handleX, int handleY) {
    if (!ValidBand(bandIndex)) {
        return;
    }
    const BiquadSection section =
        LowShelfSection(HandleFrequency(geometry, handleX), HandleGain(geometry, handleY));
    WriteStandardRow(cache, geometry, bandIndex, {&section, 1});
}

void ComputeHighShelfResponse(ResponseCache& cache, const GraphGeometry& geometry, int bandIndex,
                              int handleX, int handleY) {
    if (!ValidBand(bandIndex)) {
        return;
    }
    const BiquadSection section =
        HighShelfSection(HandleFrequency(geometry, handleX), HandleGain(geometry, handleY));
    WriteStandardRow(cache, geometry, bandIndex, {&section, 1});
}

} // namespace quellaton
