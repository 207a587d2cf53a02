// Feeds arbitrary text to the EQ text reader and fits whatever it accepts onto a section. The
// fit must leave every field within its table and every difference finite, and the section as
// set must export to a text that reads back to the same table indices.
#include "files/eq_fit.h"
#include "files/eq_text.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace quellaton;

namespace {

bool SameSection(const ParameterImage& a, const ParameterImage& b, int section) {
    for (int band = 0; band < BandsPerSection; ++band) {
        const EqBand& x = a.bands[std::size_t(BandIndex(section, band))];
        const EqBand& y = b.bands[std::size_t(BandIndex(section, band))];
        if (x.type != y.type || x.frequencyIndex != y.frequencyIndex || x.qIndex != y.qIndex ||
            x.activeGain() != y.activeGain()) {
            return false;
        }
    }
    return a.gainIndex == b.gainIndex && a.masterLevel == b.masterLevel;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const int section = data[0] % SectionCount;
    const QByteArrayView content(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const EqText text = ParseEqText(content);
    if (!text.error.isEmpty()) {
        return 0;
    }
    const EqFitReport report = FitEqText(text, ParameterImage{}, section, true);
    if (!report.refusal.isEmpty() || !std::isfinite(report.sectionDifference)) {
        __builtin_trap();
    }
    ParameterImage limited = report.image;
    limited.Limit();
    if (!(limited == report.image)) {
        __builtin_trap(); // a value outside its table
    }
    for (const EqFitRow& row : report.rows) {
        if (row.difference && !std::isfinite(*row.difference)) {
            __builtin_trap();
        }
    }
    EqTextExport what;
    what.section = section;
    const EqText again = ParseEqText(EqTextContent(report.image, what));
    if (!again.error.isEmpty()) {
        __builtin_trap();
    }
    const EqFitReport back = FitEqText(again, ParameterImage{}, section, false);
    if (!back.refusal.isEmpty() || !SameSection(back.image, report.image, section)) {
        __builtin_trap();
    }
    return 0;
}
