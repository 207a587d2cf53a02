// EQ filters as text, in and out. Three kinds of file are read: the "Filter Settings file"
// Room EQ Wizard (REW) writes for its Generic equaliser, an Equalizer APO configuration, and
// the ParametricEQ.txt of AutoEq (a subset of APO's). Lines are read by tokens, so REW's column
// alignment does not matter; type names and keywords may be in any letter case; only a dot is
// taken as a decimal sign, and a number written with a decimal comma is an error naming its
// line. What is written is text that APO and REW both read: a comment header, "Preamp: G dB"
// and one "Filter N: ON TYPE Fc F Hz Gain G dB Q Q" line a filter.
#pragma once

#include "protocol/block_builders.h"
#include "protocol/parameter_image.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace quellaton {

// Larger files are not read: a configuration with a few hundred filters stays far below.
inline constexpr qint64 EqTextSizeLimit = 1 << 20;
// Nor are more Filter lines than this: equalisers offer a few dozen filters at most, and every
// filter read is drawn for the report.
inline constexpr int EqTextFilterLineLimit = 1000;

enum class EqTextFormat {
    Rew, // starts with "Filter Settings file"
    Apo, // Equalizer APO, and AutoEq's ParametricEQ.txt
};

enum class EqFilterKind {
    Peaking,   // PK, PEQ, Modal
    LowShelf,  // LS, LSC (with or without a slope: "LS 6dB", "LSC 12 dB")
    HighShelf, // HS, HSC
    HighPass,  // HP, HPQ
    LowPass,   // LP, LPQ
    Unsupported,
};

// One filter line that is ON. OFF filters and filters of type None are skipped.
struct EqTextFilter {
    int line = 0;     // 1-based
    QString typeText; // the type as written, words joined by one blank ("PK", "LS 6dB")
    EqFilterKind kind = EqFilterKind::Unsupported;
    std::optional<double> frequency; // Fc, Hz
    std::optional<double> gain;      // dB
    std::optional<double> q;         // Q as given, or from BW Oct
    std::optional<double> bandwidth; // BW Oct as given
    bool slopeGiven = false;         // a shelf written with its slope ("LS 12dB")
};

struct EqTextNote {
    int line = 0; // 0: the file as a whole
    QString text;
};

struct EqText {
    EqTextFormat format = EqTextFormat::Apo;
    QList<EqTextFilter> filters;  // the filters that are ON, in file order
    std::optional<double> preamp; // the sum of the Preamp lines, when there are any
    QList<int> preampLines;
    int skipped = 0;         // OFF filters and filters of type None
    QList<EqTextNote> notes; // what was read but not used
    QString error;           // non-empty: the file cannot be used, and says why
};

// Q of a bandwidth of B octaves: sqrt(2^B) / (2^B - 1).
double QFromOctaves(double octaves);

// "High", "Mid", "Low", "Main" for section 0..3.
QString EqSectionName(int section);

// The gain a Preamp line stands for: a way's gain, or Main's level; nothing when Main is muted.
std::optional<double> SectionGainDb(const ParameterImage& image, int section);

EqText ParseEqText(QByteArrayView content);
// Reads a file from disk: unreadable files, files above the size limit and anything that is not
// a regular file give an error naming the file.
EqText ReadEqTextFile(const QString& path);

// ---- Export ----

// "12db-Bworth", "12db-LR" and "24db-LR" have a form in this text (an HP or LP line, an HPQ or
// LPQ line with Q 0.5, two HP or LP lines); the other crossover types do not.
bool CrossoverTypeHasText(int type);

struct EqTextExport {
    int section = 0;     // 0..3: High, Mid, Low, Main
    QString source;      // where the filters come from: a file name, a unit
    QString program;     // the program that writes the file, for the header
    BypassRows bypass{}; // rows written as OFF
};
// The text of one section: a header of comments, the section's gain as Preamp, its six bands,
// and its crossovers (a comment where a crossover has no form here, or is off: a high-pass at
// the bottom of the table or a low-pass at its top leaves the audible band flat).
QByteArray EqTextContent(const ParameterImage& image, const EqTextExport& what);

} // namespace quellaton
