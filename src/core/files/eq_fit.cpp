#include "files/eq_fit.h"

#include "dsp/curve_difference.h"
#include "dsp/response.h"
#include "dsp/scales.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace quellaton {

namespace {

using Chain = std::vector<BiquadSection>;

constexpr double LowestFrequency = 19.7;
constexpr double HighestFrequency = 21900.0;
constexpr double LowestGain = -24.0;
constexpr double HighestGain = 12.0;
constexpr double LowestQ = 0.2;
constexpr double HighestQ = 36.0;
constexpr double LowestMainLevel = -60.0;

// The damping of the unit's 12 dB Butterworth section (Q 0.71): an HP or LP line without a Q
// names a Butterworth filter, and this is the one the unit has.
constexpr double ButterworthDamping = 0.70422535;
constexpr double ButterworthQ = 0.707;
constexpr double LinkwitzRileyQ = 0.5;
constexpr double CrossoverQTolerance = 0.02;
constexpr int ButterworthType = 0;
constexpr int LinkwitzRiley12Type = 1;
constexpr int LinkwitzRiley24Type = 7;

// Requested values are drawn as asked, within limits that keep every curve finite: below the
// model's Nyquist frequency, and within gains and Q no equaliser offers.
double CurveFrequency(double hz) {
    return std::clamp(hz, 1.0, 40000.0);
}
double CurveGain(double db) {
    return std::clamp(db, -60.0, 60.0);
}
double CurveQ(double q) {
    return std::clamp(q, 0.01, 100.0);
}

QString Plain(double value) {
    return QString::number(value, 'g', 6);
}

BiquadSection BandSection(int type, double hz, double db, double q) {
    switch (type) {
    case 1:
        return LowShelfSection(hz, db);
    case 2:
        return HighShelfSection(hz, db);
    default:
        return PeakingSection(hz, db, q);
    }
}

int BandType(EqFilterKind kind) {
    return kind == EqFilterKind::LowShelf ? 1 : kind == EqFilterKind::HighShelf ? 2 : 0;
}

bool IsEqFilter(const EqTextFilter& f) {
    return f.kind == EqFilterKind::Peaking || f.kind == EqFilterKind::LowShelf ||
           f.kind == EqFilterKind::HighShelf;
}

// Clamps `value` into [low, high] and says so in `notes` when it was outside.
double Clamped(double value, double low, double high, const QString& what, const QString& unit,
               const QString& set, QStringList& notes) {
    if (value < low) {
        notes
            << QStringLiteral("%1 %2%3 is below the table: %4").arg(what, Plain(value), unit, set);
        return low;
    }
    if (value > high) {
        notes
            << QStringLiteral("%1 %2%3 is above the table: %4").arg(what, Plain(value), unit, set);
        return high;
    }
    return value;
}

BiquadSection RequestedBand(const EqTextFilter& f) {
    return BandSection(BandType(f.kind), CurveFrequency(*f.frequency), CurveGain(*f.gain),
                       CurveQ(f.q.value_or(1.0)));
}

BiquadSection SetBand(const EqBand& band) {
    return BandSection(
        band.type,
        FrequencyTable[std::size_t(std::clamp(band.frequencyIndex, 0, MaxFrequencyIndex))],
        EqGainTable[std::size_t(std::clamp(band.activeGain(), 0, MaxEqGainIndex))],
        QTable[std::size_t(std::clamp(band.qIndex, 0, MaxQIndex))]);
}

// Sets `band` from the filter and returns its report row.
EqFitRow FitBand(const EqTextFilter& f, EqBand& band, int bandNumber) {
    EqFitRow row;
    row.kind = EqFitRow::Kind::Band;
    row.lines = {f.line};
    row.target = QStringLiteral("Band %1").arg(bandNumber);
    row.requestedType = f.typeText;
    row.requestedFrequency = f.frequency;
    row.requestedGain = f.gain;
    row.requestedQ = f.q;

    band.type = BandType(f.kind);
    const double hz = Clamped(
        *f.frequency, LowestFrequency, HighestFrequency, QStringLiteral("Fc"),
        QStringLiteral(" Hz"),
        FormatFrequency(*f.frequency < LowestFrequency ? LowestFrequency : HighestFrequency),
        row.notes);
    band.frequencyIndex = NearestFrequencyIndex(hz);
    const double db =
        Clamped(*f.gain, LowestGain, HighestGain, QStringLiteral("Gain"), QStringLiteral(" dB"),
                FormatGain(*f.gain < LowestGain ? LowestGain : HighestGain), row.notes);
    band.activeGain() = NearestEqGainIndex(db);
    if (f.q) {
        const double q = Clamped(*f.q, LowestQ, HighestQ, QStringLiteral("Q"), QString(),
                                 FormatQ(*f.q < LowestQ ? LowestQ : HighestQ), row.notes);
        band.qIndex = NearestQIndex(q);
    }
    if (f.bandwidth && f.q && *f.q == QFromOctaves(*f.bandwidth)) {
        row.notes << QStringLiteral("BW Oct %1 is Q %2").arg(Plain(*f.bandwidth), Plain(*f.q));
    }
    if (band.type != 0) {
        if (f.q) {
            row.notes << QStringLiteral(
                "Q not used: the unit's shelves have a fixed slope (kept as the band's Q)");
        }
        if (f.slopeGiven) {
            row.notes << QStringLiteral("slope not used: the unit's shelves have a fixed slope");
        }
    }

    row.setType = EqBandTypeText(band.type);
    row.setFrequency = FrequencyTable[std::size_t(band.frequencyIndex)];
    row.setGain = EqGainTable[std::size_t(band.activeGain())];
    row.setQ = QTable[std::size_t(band.qIndex)];
    const BiquadSection requested = RequestedBand(f);
    const BiquadSection set = SetBand(band);
    const std::array<double, 2> centres{*f.frequency, *row.setFrequency};
    row.difference = MaxCurveDifference({&requested, 1}, {&set, 1}, 0.0, centres);
    return row;
}

Chain CrossoverChain(bool highPass, int index, int type) {
    const FilterCascade cascade = highPass ? HighPassSections(HighPassCorner(index), type)
                                           : LowPassSections(LowPassCorner(index), type);
    return Chain(cascade.view().begin(), cascade.view().end());
}

bool NearQ(const std::optional<double>& q, double target) {
    return q && std::abs(*q - target) <= CrossoverQTolerance;
}
bool ButterworthQOrNone(const EqTextFilter& f) {
    return !f.q || NearQ(f.q, ButterworthQ);
}

struct CrossoverFit {
    EqFitRow row;
    Chain requested;
};

// The section's high-pass (or low-pass) from the file's filters of that kind.
CrossoverFit FitCrossover(const QList<const EqTextFilter*>& filters, bool highPass, int& index,
                          int& type) {
    CrossoverFit out;
    EqFitRow& row = out.row;
    row.kind = highPass ? EqFitRow::Kind::HighPass : EqFitRow::Kind::LowPass;
    row.target = highPass ? QStringLiteral("HPF") : QStringLiteral("LPF");
    const QString name = highPass ? QStringLiteral("high-pass") : QStringLiteral("low-pass");
    QStringList types;
    std::vector<double> centres;
    std::vector<int> indices; // the table index of each filter's frequency
    for (const EqTextFilter* f : filters) {
        row.lines.append(f->line);
        types.append(f->typeText);
        centres.push_back(*f->frequency);
        const double d = f->q ? 1.0 / (2.0 * CurveQ(*f->q)) : ButterworthDamping;
        const double hz = CurveFrequency(*f->frequency);
        out.requested.push_back(highPass ? HighPassSection(hz, d) : LowPassSection(hz, d));
        const double clamped = Clamped(
            *f->frequency, LowestFrequency, HighestFrequency, QStringLiteral("Fc"),
            QStringLiteral(" Hz"),
            FormatFrequency(*f->frequency < LowestFrequency ? LowestFrequency : HighestFrequency),
            row.notes);
        indices.push_back(NearestFrequencyIndex(clamped));
    }
    row.requestedType = types.join(QStringLiteral(" + "));
    row.requestedFrequency = centres.front();
    row.requestedQ = filters.first()->q;
    const bool oneFrequency =
        std::all_of(indices.begin(), indices.end(), [&](int i) { return i == indices.front(); });

    std::optional<int> exact;
    if (filters.size() == 1) {
        if (ButterworthQOrNone(*filters.first())) {
            exact = ButterworthType;
        } else if (NearQ(filters.first()->q, LinkwitzRileyQ)) {
            exact = LinkwitzRiley12Type;
        }
    } else if (filters.size() == 2 && oneFrequency && ButterworthQOrNone(*filters[0]) &&
               ButterworthQOrNone(*filters[1])) {
        exact = LinkwitzRiley24Type;
    }
    auto differenceOf = [&](int at, int form) {
        return MaxCurveDifference(out.requested, CrossoverChain(highPass, at, form), 0.0, centres);
    };
    index = indices.front();
    if (exact) {
        type = *exact;
        row.difference = differenceOf(index, type);
    } else {
        // The nearest of the unit's forms, at any of the filters' frequencies or at their
        // geometric mean: the one whose curve lies closest to the requested one.
        double logSum = 0.0;
        for (const double hz : centres) {
            logSum += std::log(std::clamp(hz, LowestFrequency, HighestFrequency));
        }
        std::vector<int> places = indices;
        places.push_back(NearestFrequencyIndex(std::exp(logSum / double(centres.size()))));
        for (const int at : places) {
            for (const int form : {ButterworthType, LinkwitzRiley12Type, LinkwitzRiley24Type}) {
                const double difference = differenceOf(at, form);
                if (!row.difference || difference < *row.difference) {
                    row.difference = difference;
                    index = at;
                    type = form;
                }
            }
        }
        const QString form = CrossoverTypeText(type);
        if (filters.size() > 2) {
            row.notes << QStringLiteral("%1 %2 filters: the unit has one %2; the nearest of its "
                                        "forms is %3 at %4")
                             .arg(filters.size())
                             .arg(name, form, FormatFrequency(FrequencyTable[std::size_t(index)]));
        } else if (filters.size() == 2) {
            row.notes << QStringLiteral("two %1 filters that are not two Q 0.707 filters at one "
                                        "frequency: the nearest of the unit's forms is %2 at %3")
                             .arg(name, form, FormatFrequency(FrequencyTable[std::size_t(index)]));
        } else {
            row.notes << QStringLiteral("Q %1 is neither 0.707 nor 0.5: the nearest of the "
                                        "unit's forms is %2")
                             .arg(Plain(*filters.first()->q), form);
        }
    }
    if (index == (highPass ? 0 : MaxFrequencyIndex)) {
        row.notes << QStringLiteral("at %1 the unit's %2 is off")
                         .arg(FormatFrequency(FrequencyTable[std::size_t(index)]), name);
    }
    row.setType = CrossoverTypeText(type);
    row.setFrequency = FrequencyTable[std::size_t(index)];
    return out;
}

// The Main level code nearest to `db` (-60.0 .. 0.0 dB in 0.2 dB steps; code 1 is -60.0 dB).
int NearestMainLevel(double db) {
    static const std::array<double, MainLevelTop> levels = [] {
        std::array<double, MainLevelTop> values{};
        for (int code = 1; code <= MainLevelTop; ++code) {
            // The one-decimal number each code stands for, as the other tables hold theirs.
            values[std::size_t(code - 1)] = std::round(-2.0 * (MainLevelTop - code)) / 10.0;
        }
        return values;
    }();
    return NearestIndex(levels, db) + 1;
}

EqFitRow FitGain(const EqText& text, ParameterImage& image, int section) {
    EqFitRow row;
    row.kind = EqFitRow::Kind::Gain;
    row.lines = text.preampLines;
    row.target = section == Main ? QStringLiteral("Level") : QStringLiteral("Gain");
    row.requestedType = QStringLiteral("Preamp");
    row.requestedGain = *text.preamp;
    const double requested = *text.preamp;
    if (section == Main) {
        const double db = Clamped(
            requested, LowestMainLevel, 0.0, QStringLiteral("Preamp"), QStringLiteral(" dB"),
            FormatGain(requested < LowestMainLevel ? LowestMainLevel : 0.0), row.notes);
        image.masterLevel = NearestMainLevel(db);
    } else {
        const double top = OutputGainTable[std::size_t(ParameterImage::MaxGainIndex(section))];
        const double db = Clamped(
            requested, OutputGainTable[0], top, QStringLiteral("Preamp"), QStringLiteral(" dB"),
            FormatGain(requested < OutputGainTable[0] ? OutputGainTable[0] : top), row.notes);
        image.gainIndex[std::size_t(section)] = NearestOutputGainIndex(db);
    }
    row.setGain = SectionGainDb(image, section);
    row.difference = std::abs(CurveGain(requested) - row.setGain.value_or(0.0));
    return row;
}

EqFitRow ListedRow(const EqTextFilter& f, EqFitRow::Kind kind, const QString& note) {
    EqFitRow row;
    row.kind = kind;
    row.lines = {f.line};
    row.requestedType = f.typeText;
    row.requestedFrequency = f.frequency;
    row.requestedGain = f.gain;
    row.requestedQ = f.q;
    row.notes << note;
    return row;
}

} // namespace

QString TooManyFiltersMessage(int count) {
    return QStringLiteral("%1 filters; a section has %2 bands").arg(count).arg(BandsPerSection);
}

EqFitReport FitEqText(const EqText& text, const ParameterImage& image, int section, bool fit) {
    EqFitReport report;
    report.section = std::clamp(section, 0, SectionCount - 1);
    section = report.section;
    report.format = text.format;
    report.image = image;
    report.notes = text.notes;

    QList<const EqTextFilter*> eq;
    QList<const EqTextFilter*> highPass;
    QList<const EqTextFilter*> lowPass;
    for (const EqTextFilter& f : text.filters) {
        if (IsEqFilter(f)) {
            eq.append(&f);
        } else if (f.kind == EqFilterKind::HighPass) {
            highPass.append(&f);
        } else if (f.kind == EqFilterKind::LowPass) {
            lowPass.append(&f);
        } else {
            report.rows.append(ListedRow(f, EqFitRow::Kind::Unsupported,
                                         QStringLiteral("not applied: the unit has no filter "
                                                        "of this type")));
        }
    }
    if (eq.size() > BandsPerSection && !fit) {
        report.refusal = TooManyFiltersMessage(int(eq.size()));
        report.rows.clear();
        return report;
    }

    // The six with the largest |gain| stay, in file order; the earlier wins a tie.
    QList<const EqTextFilter*> kept = eq;
    if (kept.size() > BandsPerSection) {
        QList<const EqTextFilter*> byGain = eq;
        std::stable_sort(byGain.begin(), byGain.end(),
                         [](auto* a, auto* b) { return std::abs(*a->gain) > std::abs(*b->gain); });
        byGain.resize(BandsPerSection);
        kept.clear();
        for (const EqTextFilter* f : eq) {
            if (byGain.contains(f)) {
                kept.append(f);
            } else {
                report.rows.append(ListedRow(*f, EqFitRow::Kind::Dropped,
                                             QStringLiteral("dropped: the six filters with the "
                                                            "largest gain are kept")));
            }
        }
    }

    ParameterImage& out = report.image;
    Chain requested;
    std::vector<double> centres;
    for (int band = 0; band < BandsPerSection; ++band) {
        EqBand& b = out.bands[std::size_t(BandIndex(section, band))];
        if (band < kept.size()) {
            report.rows.append(FitBand(*kept[band], b, band + 1));
        } else {
            b.activeGain() = EqGainZeroIndex;
        }
    }
    if (text.skipped > 0) {
        report.notes.append(
            {0, QStringLiteral("%1 filter%2 OFF or of type None: skipped")
                    .arg(text.skipped)
                    .arg(text.skipped == 1 ? QStringLiteral(" is") : QStringLiteral("s are"))});
    }
    if (kept.size() < BandsPerSection) {
        report.notes.append(
            {0, kept.size() + 1 == BandsPerSection
                    ? QStringLiteral("band 6 is not in the file: set to 0.0 dB")
                    : QStringLiteral("bands %1 to 6 are not in the file: set to 0.0 dB")
                          .arg(kept.size() + 1)});
    }
    for (const EqTextFilter* f : eq) {
        requested.push_back(RequestedBand(*f));
        centres.push_back(*f->frequency);
    }

    for (const bool high : {true, false}) {
        const QList<const EqTextFilter*>& filters = high ? highPass : lowPass;
        int& index =
            high ? out.highPassIndex[std::size_t(section)] : out.lowPassIndex[std::size_t(section)];
        int& type =
            high ? out.highPassType[std::size_t(section)] : out.lowPassType[std::size_t(section)];
        if (filters.isEmpty()) {
            const Chain set = CrossoverChain(high, index, type);
            requested.insert(requested.end(), set.begin(), set.end());
            continue;
        }
        CrossoverFit crossover = FitCrossover(filters, high, index, type);
        requested.insert(requested.end(), crossover.requested.begin(), crossover.requested.end());
        for (const EqTextFilter* f : filters) {
            centres.push_back(*f->frequency);
        }
        report.rows.append(crossover.row);
    }

    const std::optional<double> gainBefore = SectionGainDb(out, section);
    if (text.preamp) {
        report.rows.append(FitGain(text, out, section));
    }
    const std::optional<double> gainAfter = SectionGainDb(out, section);
    const double requestedGain = text.preamp ? CurveGain(*text.preamp) : gainBefore.value_or(0.0);

    Chain set;
    for (int band = 0; band < BandsPerSection; ++band) {
        set.push_back(SetBand(out.bands[std::size_t(BandIndex(section, band))]));
    }
    for (const bool high : {true, false}) {
        const Chain c = CrossoverChain(
            high,
            high ? out.highPassIndex[std::size_t(section)] : out.lowPassIndex[std::size_t(section)],
            high ? out.highPassType[std::size_t(section)] : out.lowPassType[std::size_t(section)]);
        set.insert(set.end(), c.begin(), c.end());
    }
    report.sectionDifference = MaxCurveDifference(
        requested, set, requestedGain - gainAfter.value_or(requestedGain), centres);

    std::stable_sort(
        report.rows.begin(), report.rows.end(),
        [](const EqFitRow& a, const EqFitRow& b) { return a.lines.value(0) < b.lines.value(0); });
    return report;
}

} // namespace quellaton
