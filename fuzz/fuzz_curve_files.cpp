// Feeds arbitrary file content to the measurement and target readers. Whatever they accept
// must be a curve that can be read: at least two points, frequencies above 0 that ascend,
// finite levels and phases, and finite values everywhere between its first and last point.
#include "files/measurement_file.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace quellaton;

namespace {

void Check(const CurveFile& file) {
    if (!file.curve) {
        if (file.error.isEmpty()) {
            __builtin_trap(); // a refusal always says why
        }
        return;
    }
    const auto& points = file.curve->points();
    if (points.size() < 2) {
        __builtin_trap();
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
        const CurvePoint& p = points[i];
        if (!(p.frequency > 0.0) || !std::isfinite(p.frequency) || !std::isfinite(p.levelDb) ||
            !std::isfinite(p.phaseDeg) || (i > 0 && !(p.frequency > points[i - 1].frequency))) {
            __builtin_trap();
        }
    }
    const double first = file.curve->firstFrequency();
    const double last = file.curve->lastFrequency();
    for (int k = 0; k <= 16; ++k) {
        const double f = first * std::pow(last / first, k / 16.0);
        const auto value = file.curve->at(std::min(std::max(f, first), last));
        if (!value || !std::isfinite(value->levelDb) || !std::isfinite(value->phaseDeg)) {
            __builtin_trap();
        }
    }
    if (file.curve->at(first * 0.5) || file.curve->at(last * 2.0)) {
        __builtin_trap(); // nothing outside the range
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView content(reinterpret_cast<const char*>(data), qsizetype(size));
    Check(ReadMeasurementText(content));
    Check(ReadTargetText(content));
    return 0;
}
