// How far two filter chains lie apart: their magnitude responses in dB (20 log10 |H|, at the
// units' 96 kHz model rate), compared over the audible band. Used to tell what fitting a
// filter to the unit's tables changes in what is heard.
#pragma once

#include "dsp/response.h"

#include <span>

namespace quellaton {

inline constexpr double AudibleLowHz = 20.0;
inline constexpr double AudibleHighHz = 20000.0;

// Second-order high-pass and low-pass sections with damping d (1 / 2Q), at corner `hz`, built
// as the units build their crossover sections.
BiquadSection HighPassSection(double hz, double damping);
BiquadSection LowPassSection(double hz, double damping);

// The largest |a(f) - b(f) + offsetDb| in dB over 20 Hz .. 20 kHz: a fine logarithmic grid,
// plus the frequencies in `alsoAt` that lie in that band (the centres of the filters, where
// their peaks are). A magnitude is taken as at least 1e-12 and at most 1e12, so levels are
// always finite.
double MaxCurveDifference(std::span<const BiquadSection> a, std::span<const BiquadSection> b,
                          double offsetDb = 0.0, std::span<const double> alsoAt = {});

} // namespace quellaton
