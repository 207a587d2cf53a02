// Magnitude response model of the equaliser bands and crossover filters at 96 kHz.
//
// Every filter is a cascade of second-order sections. Each compute operation evaluates its
// filter at the frequency of every pixel column of the response graph and stores the level in
// dB into one row of a ResponseCache; the graph adds the eight rows of a way and plots them.
// Levels use the 40 x ln(m) / ln(101) scale throughout, and every constant is kept exactly as
// the units' model states it (including the two slightly different values of 2 pi).
#pragma once

#include "dsp/scales.h"

#include <array>
#include <cstddef>
#include <span>

namespace quellaton {

inline constexpr double ResponseSampleRate = 96000.0;
// Angular-frequency constants: the crossovers and shelves evaluate at 6.283185307179586 x f /
// 96000, the peaking band at 2 x 3.141592 x f / 96000. Corner frequencies become w0 through
// 6.544985e-05 (2 pi / 96000 to seven digits).
inline constexpr double StandardTwoPi = 6.283185307179586;
inline constexpr double PeakingTwoPi = 2.0 * 3.141592;
inline constexpr double CornerToW0 = 6.544985e-05;

// Cache layout: rows 0..23 are the EQ bands (band index = 6 x way + band), 24..27 the
// high-pass and 28..31 the low-pass of way 0..3. Column j belongs to pixel column j + 41.
inline constexpr int ResponseRowCount = 32;
inline constexpr int ResponseColumnCount = 793;
inline constexpr int EqBandCount = 24;
inline constexpr int ResponseSectionCount = 4; // High, Mid, Low, Main
inline constexpr int CrossoverTypeCount = 12;
inline constexpr int FirstResponseColumn = 1;

constexpr int HighPassRow(int way) {
    return 24 + way;
}
constexpr int LowPassRow(int way) {
    return 28 + way;
}
// Last cache column written for a graph of this width: width - 48 (672 at 720 pixels),
// limited to the cache. Below FirstResponseColumn nothing is written.
int LastResponseColumn(const GraphGeometry& geometry);

// Column frequencies and the cosine and sine of both angular frequencies per cache column,
// built once per graph width and reused by every compute operation.
struct ResponseColumnTable {
    int width = -1; // graph width the table was built for; -1 before the first build
    std::array<double, ResponseColumnCount> frequency{};
    std::array<double, ResponseColumnCount> cosStandard{};
    std::array<double, ResponseColumnCount> sinStandard{};
    std::array<double, ResponseColumnCount> cosPeaking{};
    std::array<double, ResponseColumnCount> sinPeaking{};
};

struct ResponseCache {
    using Row = std::array<double, ResponseColumnCount>;
    std::array<Row, ResponseRowCount> rows{}; // dB, all 0 at start
    ResponseColumnTable columns;              // rebuilt when the graph width changes
};

// The column table for this geometry, built on first use and whenever the width differs.
const ResponseColumnTable& ColumnTableFor(ResponseCache& cache, const GraphGeometry& geometry);

// One second-order section, not normalised.
struct BiquadSection {
    double b0 = 1.0;
    double b1 = 0.0;
    double b2 = 0.0;
    double a0 = 1.0;
    double a1 = 0.0;
    double a2 = 0.0;
};

// Up to four sections of one filter, in order.
struct FilterCascade {
    std::array<BiquadSection, 4> sections{};
    int count = 0;

    void add(const BiquadSection& section);
    std::span<const BiquadSection> view() const { return {sections.data(), std::size_t(count)}; }
};

double StandardAngularFrequency(double hz); // 6.283185307179586 x hz / 96000
double PeakingAngularFrequency(double hz);  // 2 x 3.141592 x hz / 96000

// Level in dB of one section or of a whole cascade at angular frequency w. A magnitude below
// 1e-12 (or not a number) counts as 1e-12 and one above 1e12 as 1e12, so a level is always
// finite: about -239.5 .. +239.5 dB on this scale.
inline constexpr double MinimumMagnitude = 1e-12;
inline constexpr double MaximumMagnitude = 1e12;
double SectionLevel(const BiquadSection& section, double w);
double CascadeLevel(const FilterCascade& cascade, double w);

// Corner frequency of a crossover index: FrequencyTable[index], except 60000 Hz for the top
// index of a low-pass and 1.0 Hz for the bottom index of a high-pass (both leave the audible
// band flat). Indices outside the table are limited to it.
double LowPassCorner(int frequencyIndex);
double HighPassCorner(int frequencyIndex);

// Sections of a crossover with corner cornerHz (before the Bessel factor, which the builders
// apply) and type 0..11. Another type gives no sections, i.e. a flat filter.
FilterCascade LowPassSections(double cornerHz, int type);
FilterCascade HighPassSections(double cornerHz, int type);

// Equaliser sections. Shelves with gainDb == 0 are flat.
BiquadSection PeakingSection(double fc, double gainDb, double q);
BiquadSection LowShelfSection(double fc, double gainDb);
BiquadSection HighShelfSection(double fc, double gainDb);

// Band frequency and gain from a handle position: the column frequency of handleX, and
// Trunc((15 - (handleY - 16) / (height - 38) x 45) x 10) / 10 dB.
double HandleFrequency(const GraphGeometry& geometry, int handleX);
double HandleGain(const GraphGeometry& geometry, int handleY);

// Compute operations: each rewrites columns 1 .. LastResponseColumn of its own row and
// touches nothing else. A way outside 0..3 or a band index outside 0..23 writes nothing;
// frequency and Q indices are limited to their tables.
void ComputeLowPassResponse(ResponseCache& cache, const GraphGeometry& geometry, int way,
                            int frequencyIndex, int type);
void ComputeHighPassResponse(ResponseCache& cache, const GraphGeometry& geometry, int way,
                             int frequencyIndex, int type);
void ComputePeakingResponse(ResponseCache& cache, const GraphGeometry& geometry, int bandIndex,
                            int handleX, int handleY, int qIndex);
void ComputeLowShelfResponse(ResponseCache& cache, const GraphGeometry& geometry, int bandIndex,
                             int handleX, int handleY);
void ComputeHighShelfResponse(ResponseCache& cache, const GraphGeometry& geometry, int bandIndex,
                              int handleX, int handleY);

} // namespace quellaton
