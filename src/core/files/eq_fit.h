// Fitting EQ filters read from text onto one section of a unit (a way or Main), and the report
// of what fitting changed.
//
// The section's six bands take the file's peaking and shelving filters in file order; bands the
// file does not fill go to 0.0 dB and keep their frequency, Q and type. High-pass and low-pass
// filters set the section's crossovers: the unit's forms are "12db-Bworth" (Q 0.707 or no Q),
// "12db-LR" (Q 0.5) and "24db-LR" (two Q 0.707 filters at one frequency); anything else takes
// the nearest of these. A Preamp sets the way's gain, or Main's level. Every value goes to the
// nearest entry of its table; values beyond a table are clamped, and the report says so.
//
// The report compares, filter by filter, the curve the file asks for with the one the unit will
// have: both on the units' own filter model, so values that sit on table entries differ by 0.
#pragma once

#include "files/eq_text.h"
#include "protocol/parameter_image.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace quellaton {

struct EqFitRow {
    enum class Kind {
        Band,        // a peaking or shelving filter, set on one of the six bands
        HighPass,    // the high-pass filter(s), set as the section's high-pass
        LowPass,     // the low-pass filter(s)
        Gain,        // the Preamp, set as the way's gain or Main's level
        Dropped,     // an EQ filter left out by fitting (only the six largest gains are kept)
        Unsupported, // a type the unit has no form for: not applied
    };
    Kind kind = Kind::Band;
    QList<int> lines;      // the file's lines it comes from
    QString target;        // "Band 3", "HPF", "LPF", "Gain", "Level"; empty when not applied
    QString requestedType; // as written ("PK", "HPQ + HPQ")
    std::optional<double> requestedFrequency;
    std::optional<double> requestedGain;
    std::optional<double> requestedQ;
    QString setType; // "PEQ", "LS", "HS", "12db-LR", ...
    std::optional<double> setFrequency;
    std::optional<double> setGain;
    std::optional<double> setQ;
    // Largest difference in dB between the requested curve and the set one, 20 Hz .. 20 kHz.
    std::optional<double> difference;
    QStringList notes;

    bool applied() const { return kind != Kind::Dropped && kind != Kind::Unsupported; }
};

struct EqFitReport {
    int section = 0;
    EqTextFormat format = EqTextFormat::Apo;
    // Non-empty when the filters were not applied ("9 filters; a section has 6 bands").
    QString refusal;
    QList<EqFitRow> rows; // in file order
    // The same comparison for the whole section: every filter of the file that is ON against
    // the section as set (its six bands, its crossovers and its gain).
    double sectionDifference = 0.0;
    QList<EqTextNote> notes; // what the file holds that was not used, and what fitting did
    ParameterImage image;    // the image with the filters applied (unchanged when refused)
};

// Applies `text` (which must have no error) to `section` 0..3 of `image`. More than six EQ
// filters are refused unless `fit` is set, which keeps the six with the largest |gain| (the
// earlier on a tie) and lists the others as dropped.
EqFitReport FitEqText(const EqText& text, const ParameterImage& image, int section, bool fit);

// The refusal for `count` EQ filters: "9 filters; a section has 6 bands".
QString TooManyFiltersMessage(int count);

} // namespace quellaton
