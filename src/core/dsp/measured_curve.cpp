#include "dsp/measured_curve.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace quellaton {

MeasuredCurve::MeasuredCurve(std::vector<CurvePoint> points, bool hasPhase)
    : points_(std::move(points)), hasPhase_(hasPhase) {
    logFrequency_.reserve(points_.size());
    double offset = 0.0;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        logFrequency_.push_back(std::log(points_[i].frequency));
        if (!hasPhase_) {
            points_[i].phaseDeg = 0.0;
            continue;
        }
        const double raw = points_[i].phaseDeg;
        if (i > 0) {
            // The previous point's raw phase plus offset is its unwrapped value; a jump of more
            // than half a turn to this one is a wrap.
            const double previous = points_[i - 1].phaseDeg;
            double step = raw + offset - previous;
            while (step > 180.0) {
                offset -= 360.0;
                step -= 360.0;
            }
            while (step <= -180.0) {
                offset += 360.0;
                step += 360.0;
            }
        }
        points_[i].phaseDeg = raw + offset;
    }
}

double MeasuredCurve::firstFrequency() const {
    return points_.empty() ? 0.0 : points_.front().frequency;
}

double MeasuredCurve::lastFrequency() const {
    return points_.empty() ? 0.0 : points_.back().frequency;
}

std::optional<MeasuredCurve::Value> MeasuredCurve::at(double hz) const {
    if (empty() || !(hz >= points_.front().frequency) || !(hz <= points_.back().frequency)) {
        return std::nullopt;
    }
    const auto upper =
        std::lower_bound(points_.begin(), points_.end(), hz,
                         [](const CurvePoint& p, double f) { return p.frequency < f; });
    const std::size_t i = std::size_t(upper - points_.begin());
    if (points_[i].frequency == hz) {
        return Value{points_[i].levelDb, points_[i].phaseDeg};
    }
    // hz lies strictly between points i - 1 and i.
    const CurvePoint& a = points_[i - 1];
    const CurvePoint& b = points_[i];
    const double t =
        (std::log(hz) - logFrequency_[i - 1]) / (logFrequency_[i] - logFrequency_[i - 1]);
    return Value{a.levelDb + t * (b.levelDb - a.levelDb),
                 a.phaseDeg + t * (b.phaseDeg - a.phaseDeg)};
}

std::complex<double> MeasuredCurve::factorAt(double hz) const {
    const std::optional<Value> v = at(hz);
    if (!v) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan};
    }
    return std::polar(std::pow(10.0, v->levelDb / 20.0), v->phaseDeg * (std::numbers::pi / 180.0));
}

double MeasuredCurve::passBandLevelDb() const {
    if (points_.empty()) {
        return 0.0;
    }
    double loudest = points_.front().levelDb;
    for (const CurvePoint& p : points_) {
        loudest = std::max(loudest, p.levelDb);
    }
    std::vector<double> levels;
    levels.reserve(points_.size());
    for (const CurvePoint& p : points_) {
        if (p.levelDb >= loudest - PassBandDepthDb) {
            levels.push_back(p.levelDb);
        }
    }
    const std::size_t middle = levels.size() / 2;
    std::nth_element(levels.begin(), levels.begin() + std::ptrdiff_t(middle), levels.end());
    return levels[middle];
}

void MeasuredCurve::shiftLevel(double db) {
    for (CurvePoint& p : points_) {
        p.levelDb -= db;
    }
}

double NormaliseMeasurements(const std::vector<MeasuredCurve*>& curves) {
    bool any = false;
    double reference = 0.0;
    for (const MeasuredCurve* curve : curves) {
        if (curve && !curve->empty()) {
            const double level = curve->passBandLevelDb();
            reference = any ? std::max(reference, level) : level;
            any = true;
        }
    }
    if (!any) {
        return 0.0;
    }
    for (MeasuredCurve* curve : curves) {
        if (curve) {
            curve->shiftLevel(reference);
        }
    }
    return reference;
}

} // namespace quellaton
