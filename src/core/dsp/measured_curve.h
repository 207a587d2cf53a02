// A curve given as points over frequency: a driver measurement (level and phase) or a target
// curve (level only). Between its points a curve is read linearly in dB and in unwrapped phase
// over log frequency; outside its first and last frequency it has no value.
#pragma once

#include <complex>
#include <optional>
#include <vector>

namespace quellaton {

struct CurvePoint {
    double frequency = 0.0; // Hz, > 0
    double levelDb = 0.0;
    double phaseDeg = 0.0; // as measured, wrapped or not
};

class MeasuredCurve {
public:
    MeasuredCurve() = default;
    // `points` must have ascending frequencies above 0 (the file readers check this). The
    // phase is unwrapped here: a step of more than 180 degrees between neighbours is taken as
    // a wrap.
    MeasuredCurve(std::vector<CurvePoint> points, bool hasPhase);

    const std::vector<CurvePoint>& points() const { return points_; }
    bool hasPhase() const { return hasPhase_; }
    bool empty() const { return points_.size() < 2; }
    double firstFrequency() const;
    double lastFrequency() const;

    struct Value {
        double levelDb;
        double phaseDeg; // unwrapped; 0 when the curve has no phase
    };
    // The value at `hz`, or nothing outside the curve's range (or for an empty curve).
    std::optional<Value> at(double hz) const;
    // The value as a complex factor: magnitude 10^(dB/20) and the phase; NaN outside the range.
    std::complex<double> factorAt(double hz) const;

    // The level of the band the driver plays in: the median of the point levels within
    // PassBandDepthDb of the loudest one (0 for an empty curve). Peaks and the roll-offs at
    // either end do not move it much.
    static constexpr double PassBandDepthDb = 10.0;
    double passBandLevelDb() const;
    // Every level lowered by `db`.
    void shiftLevel(double db);

private:
    std::vector<CurvePoint> points_; // phase unwrapped
    std::vector<double> logFrequency_;
    bool hasPhase_ = false;
};

// Levels of several measurements are SPL readings of one microphone; the graph's scale is
// about the unit's own gain. They are drawn and summed relative to one common reference, the
// highest pass-band level among them, so their levels keep their relation to each other.
// Lowers every given curve by that reference and returns it (0 when there is none).
double NormaliseMeasurements(const std::vector<MeasuredCurve*>& curves);

} // namespace quellaton
