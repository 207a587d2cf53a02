#include "files/eq_text.h"

#include "dsp/scales.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringConverter>

#include <cmath>

namespace quellaton {

namespace {

bool Is(QStringView token, const char* word) {
    return token.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

QString LineError(int line, const QString& text) {
    return QStringLiteral("line %1: %2").arg(line).arg(text);
}

// A number with an optional sign and at most one decimal point: "12", "-0.5", ".5", "3.".
bool IsDotNumber(QStringView token) {
    qsizetype i = 0;
    if (i < token.size() && (token[i] == u'+' || token[i] == u'-')) {
        ++i;
    }
    int digits = 0;
    int points = 0;
    for (; i < token.size(); ++i) {
        if (token[i].isDigit() && token[i].unicode() < 128) {
            ++digits;
        } else if (token[i] == u'.') {
            ++points;
        } else {
            return false;
        }
    }
    return digits > 0 && points <= 1;
}

// The same shape with a comma where the point would be: "-0,5", "1,25".
bool IsCommaNumber(QStringView token) {
    QString dotted = token.toString();
    dotted.replace(QLatin1Char(','), QLatin1Char('.'));
    return token.contains(u',') && IsDotNumber(dotted);
}

// Reads the tokens of one line, left to right; errors name the line.
class LineReader {
public:
    LineReader(QList<QStringView> tokens, int line) : tokens_(std::move(tokens)), line_(line) {}

    bool atEnd() const { return next_ >= tokens_.size(); }
    QStringView peek() const { return atEnd() ? QStringView() : tokens_[next_]; }
    QStringView take() { return atEnd() ? QStringView() : tokens_[next_++]; }
    // Skips the next token when it is `word`.
    void skip(const char* word) {
        if (!atEnd() && Is(peek(), word)) {
            ++next_;
        }
    }

    // The number after `keyword`; `unit` may follow it as a token of its own or stuck to it
    // ("347Hz"). Sets `error` when there is none or it is not a number.
    std::optional<double> number(const QString& keyword, const char* unit, QString& error) {
        if (atEnd()) {
            error = LineError(line_, QStringLiteral("%1 has no value").arg(keyword));
            return std::nullopt;
        }
        QStringView token = take();
        const QLatin1String suffix(unit ? unit : "");
        if (unit && token.size() > suffix.size() && token.endsWith(suffix, Qt::CaseInsensitive)) {
            token.chop(suffix.size());
        }
        if (IsCommaNumber(token)) {
            error = LineError(line_, QStringLiteral("\"%1\" has a decimal comma; only a dot is "
                                                    "taken as the decimal sign")
                                         .arg(token));
            return std::nullopt;
        }
        bool ok = false;
        const double value = IsDotNumber(token) ? token.toDouble(&ok) : 0.0;
        if (!ok || !std::isfinite(value)) {
            error = LineError(
                line_, QStringLiteral("\"%1\" after %2 is not a number").arg(token, keyword));
            return std::nullopt;
        }
        if (unit) {
            skip(unit);
        }
        return value;
    }

private:
    QList<QStringView> tokens_;
    qsizetype next_ = 0;
    int line_;
};

QList<QStringView> Tokens(QStringView text) {
    QList<QStringView> tokens;
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i].isSpace()) {
            ++i;
        }
        const qsizetype start = i;
        while (i < text.size() && !text[i].isSpace()) {
            ++i;
        }
        if (i > start) {
            tokens.append(text.mid(start, i - start));
        }
    }
    return tokens;
}

bool IsWord(QStringView token) {
    if (token.isEmpty() || !token[0].isLetter()) {
        return false;
    }
    for (QChar c : token) {
        if (!c.isLetterOrNumber() && c != u'_' && c != u'-') {
            return false;
        }
    }
    return true;
}

bool AllDigits(QStringView token) {
    return !token.isEmpty() &&
           std::all_of(token.begin(), token.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// The command a line names, when it has the shape "Name: ..." or "Filter N: ..."; empty when
// the line is not a command.
QString CommandName(QStringView head) {
    const QList<QStringView> words = Tokens(head);
    if (words.size() == 1 && IsWord(words[0])) {
        // "Filter1" is "Filter 1".
        QStringView name = words[0];
        if (name.size() > 6 && name.startsWith(u"filter", Qt::CaseInsensitive) &&
            AllDigits(name.mid(6))) {
            name.truncate(6);
        }
        return name.toString();
    }
    if (words.size() == 2 && IsWord(words[0]) && AllDigits(words[1])) {
        return words[0].toString();
    }
    return QString();
}

bool IsKeyword(QStringView token) {
    return Is(token, "Fc") || Is(token, "Gain") || Is(token, "Q") || Is(token, "BW");
}

EqFilterKind KindOf(QStringView type, bool& slope, bool extraWords) {
    slope = false;
    if (Is(type, "PK") || Is(type, "PEQ") || Is(type, "Modal")) {
        return extraWords ? EqFilterKind::Unsupported : EqFilterKind::Peaking;
    }
    if (Is(type, "LS") || Is(type, "LSC")) {
        slope = extraWords;
        return EqFilterKind::LowShelf;
    }
    if (Is(type, "HS") || Is(type, "HSC")) {
        slope = extraWords;
        return EqFilterKind::HighShelf;
    }
    if (Is(type, "HP") || Is(type, "HPQ")) {
        return extraWords ? EqFilterKind::Unsupported : EqFilterKind::HighPass;
    }
    if (Is(type, "LP") || Is(type, "LPQ")) {
        return extraWords ? EqFilterKind::Unsupported : EqFilterKind::LowPass;
    }
    return EqFilterKind::Unsupported;
}

// Reads the part of a Filter line after its colon into `text`; false with text.error set when
// the line cannot be used.
bool ReadFilter(QStringView rest, int line, EqText& text) {
    LineReader reader(Tokens(rest), line);
    const QStringView state = reader.take();
    if (!Is(state, "ON") && !Is(state, "OFF")) {
        text.error = LineError(
            line, state.isEmpty() ? QStringLiteral("ON or OFF expected after the colon")
                                  : QStringLiteral("ON or OFF expected, not \"%1\"").arg(state));
        return false;
    }
    EqTextFilter filter;
    filter.line = line;
    QStringList typeWords;
    while (!reader.atEnd() && !IsKeyword(reader.peek())) {
        typeWords.append(reader.take().toString());
    }
    filter.typeText = typeWords.join(QLatin1Char(' '));
    const bool none = typeWords.size() == 1 && Is(typeWords[0], "None");
    if (!typeWords.isEmpty()) {
        filter.kind = KindOf(typeWords[0], filter.slopeGiven, typeWords.size() > 1);
    }

    QStringList unused;
    while (!reader.atEnd()) {
        const QStringView word = reader.take();
        if (Is(word, "Fc")) {
            filter.frequency = reader.number(QStringLiteral("Fc"), "Hz", text.error);
            if (!filter.frequency) {
                return false;
            }
        } else if (Is(word, "Gain")) {
            filter.gain = reader.number(QStringLiteral("Gain"), "dB", text.error);
            if (!filter.gain) {
                return false;
            }
        } else if (Is(word, "Q")) {
            filter.q = reader.number(QStringLiteral("Q"), nullptr, text.error);
            if (!filter.q) {
                return false;
            }
        } else if (Is(word, "BW")) {
            reader.skip("Oct");
            filter.bandwidth = reader.number(QStringLiteral("BW Oct"), nullptr, text.error);
            if (!filter.bandwidth) {
                return false;
            }
        } else {
            unused.append(word.toString());
        }
    }

    if (Is(state, "OFF") || none) {
        text.skipped += 1;
        return true;
    }
    if (!unused.isEmpty()) {
        text.notes.append({line, QStringLiteral("\"%1\" not used").arg(unused.join(u' '))});
    }
    if (filter.frequency && *filter.frequency <= 0.0) {
        text.error = LineError(line, QStringLiteral("the frequency must be above 0 Hz"));
        return false;
    }
    if (filter.q && *filter.q <= 0.0) {
        text.error = LineError(line, QStringLiteral("Q must be above 0"));
        return false;
    }
    if (filter.bandwidth) {
        if (*filter.bandwidth <= 0.0 || *filter.bandwidth > 100.0) {
            text.error = LineError(line, QStringLiteral("BW Oct must be above 0 and at most 100"));
            return false;
        }
        if (!filter.q) {
            filter.q = QFromOctaves(*filter.bandwidth);
            if (!std::isfinite(*filter.q)) {
                text.error = LineError(line, QStringLiteral("BW Oct is too narrow"));
                return false;
            }
        }
    }

    const QString type = filter.typeText.isEmpty() ? QStringLiteral("the filter") : typeWords[0];
    auto need = [&](bool present, const char* what) {
        if (!present) {
            text.error = LineError(line, QStringLiteral("%1 needs %2").arg(type, what));
        }
        return present;
    };
    switch (filter.kind) {
    case EqFilterKind::Peaking:
        if (!need(filter.frequency.has_value(), "Fc") || !need(filter.gain.has_value(), "Gain") ||
            !need(filter.q.has_value(), "Q or BW Oct")) {
            return false;
        }
        break;
    case EqFilterKind::LowShelf:
    case EqFilterKind::HighShelf:
        if (!need(filter.frequency.has_value(), "Fc") || !need(filter.gain.has_value(), "Gain")) {
            return false;
        }
        break;
    case EqFilterKind::HighPass:
    case EqFilterKind::LowPass:
        if (!need(filter.frequency.has_value(), "Fc")) {
            return false;
        }
        break;
    case EqFilterKind::Unsupported:
        if (filter.typeText.isEmpty()) {
            text.error = LineError(line, QStringLiteral("the filter has no type"));
            return false;
        }
        break;
    }
    text.filters.append(filter);
    return true;
}

bool ReadPreamp(QStringView rest, int line, EqText& text) {
    LineReader reader(Tokens(rest), line);
    const std::optional<double> db = reader.number(QStringLiteral("Preamp"), "dB", text.error);
    if (!db) {
        return false;
    }
    if (!reader.atEnd()) {
        QStringList unused;
        while (!reader.atEnd()) {
            unused.append(reader.take().toString());
        }
        text.notes.append({line, QStringLiteral("\"%1\" not used").arg(unused.join(u' '))});
    }
    text.preamp = text.preamp.value_or(0.0) + *db;
    if (!std::isfinite(*text.preamp)) {
        text.error = LineError(line, QStringLiteral("the Preamp lines add up beyond any number"));
        return false;
    }
    text.preampLines.append(line);
    return true;
}

// The content as text: UTF-8 (with or without a byte order mark), or UTF-16 with its mark.
std::optional<QString> DecodeText(QByteArrayView content) {
    QStringDecoder decoder(
        QStringConverter::encodingForData(content).value_or(QStringConverter::Utf8));
    const QString text = decoder.decode(content);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    // Control characters other than blanks and line ends (a zero byte above all) are not text.
    for (QChar c : text) {
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f' &&
            c != u'\v') {
            return std::nullopt;
        }
    }
    return text;
}

QString FormatDb(double db) {
    return FormatOneDecimal(db);
}

} // namespace

double QFromOctaves(double octaves) {
    const double p = std::exp2(octaves);
    return std::sqrt(p) / (p - 1.0);
}

QString EqSectionName(int section) {
    static const char* const names[SectionCount] = {"High", "Mid", "Low", "Main"};
    return section >= 0 && section < SectionCount ? QLatin1String(names[section]) : QString();
}

std::optional<double> SectionGainDb(const ParameterImage& image, int section) {
    if (section == Main) {
        if (image.masterLevel <= 0) {
            return std::nullopt;
        }
        return -0.2 * (MainLevelTop - std::min(image.masterLevel, MainLevelTop));
    }
    if (section < 0 || section >= WayCount) {
        return std::nullopt;
    }
    return OutputGainTable[std::size_t(
        std::clamp(image.gainIndex[std::size_t(section)], 0, OutputGainCount - 1))];
}

EqText ParseEqText(QByteArrayView content) {
    EqText text;
    const std::optional<QString> decoded = DecodeText(content);
    if (!decoded) {
        text.error = QStringLiteral("not a text file");
        return text;
    }
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\n|\r"));
    const QStringList lines = decoded->split(lineEnd);
    bool first = true;
    bool anyCommand = false;
    int filterLines = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int line = int(i + 1);
        const QStringView trimmed = QStringView(lines[i]).trimmed();
        if (trimmed.isEmpty()) {
            continue;
        }
        if (first) {
            first = false;
            if (trimmed.compare(QLatin1String("Filter Settings file"), Qt::CaseInsensitive) == 0) {
                text.format = EqTextFormat::Rew;
                continue;
            }
        }
        if (trimmed.startsWith(u'#')) {
            continue;
        }
        const qsizetype colon = trimmed.indexOf(u':');
        if (colon < 0) {
            continue;
        }
        const QString name = CommandName(trimmed.left(colon));
        if (name.isEmpty()) {
            continue;
        }
        const QStringView rest = trimmed.mid(colon + 1);
        bool ok = true;
        if (Is(name, "Filter")) {
            anyCommand = true;
            if (++filterLines > EqTextFilterLineLimit) {
                text.error = LineError(
                    line, QStringLiteral("more than %1 Filter lines").arg(EqTextFilterLineLimit));
                return text;
            }
            ok = ReadFilter(rest, line, text);
        } else if (Is(name, "Preamp")) {
            anyCommand = true;
            ok = ReadPreamp(rest, line, text);
        } else if (text.format == EqTextFormat::Apo) {
            // REW's header lines ("Dated:", "Notes:") are no commands; in APO they are.
            text.notes.append(
                {line,
                 QStringLiteral("%1 is not applied: only Preamp and Filter lines are").arg(name)});
        }
        if (!ok) {
            return text;
        }
    }
    if (!anyCommand) {
        text.error = QStringLiteral("no Filter or Preamp line");
    } else if (text.preampLines.size() > 1) {
        text.notes.append({0, QStringLiteral("%1 Preamp lines: their sum, %2 dB, is used")
                                  .arg(text.preampLines.size())
                                  .arg(FormatDb(*text.preamp))});
    }
    return text;
}

EqText ReadEqTextFile(const QString& path) {
    EqText text;
    const QFileInfo info(path);
    QFile file(path);
    if (!info.exists()) {
        text.error = QStringLiteral("no such file");
    } else if (!info.isFile()) {
        text.error = QStringLiteral("not a regular file");
    } else if (info.size() > EqTextSizeLimit) {
        text.error = QStringLiteral("larger than %1 bytes").arg(EqTextSizeLimit);
    } else if (!file.open(QIODevice::ReadOnly)) {
        text.error = file.errorString();
    } else {
        // Read at most one byte more than the limit: a file that grows meanwhile stays bounded.
        const QByteArray content = file.read(EqTextSizeLimit + 1);
        if (content.size() > EqTextSizeLimit) {
            text.error = QStringLiteral("larger than %1 bytes").arg(EqTextSizeLimit);
        } else {
            return ParseEqText(content);
        }
    }
    return text;
}

// ---- Export ----

bool CrossoverTypeHasText(int type) {
    return type == 0 || type == 1 || type == 7;
}

namespace {

QString CrossoverName(int type) {
    const QString listed = CrossoverTypeText(type);
    if (!listed.isEmpty()) {
        return listed;
    }
    static const char* const wide[3] = {"48 dB/octave Butterworth", "48 dB/octave Linkwitz-Riley",
                                        "48 dB/octave Bessel"};
    return type >= 9 && type <= 11 ? QLatin1String(wide[type - 9])
                                   : QStringLiteral("type %1").arg(type);
}

QString BandTypeCode(int type) {
    return type == 1   ? QStringLiteral("LS")
           : type == 2 ? QStringLiteral("HS")
                       : QStringLiteral("PK");
}

} // namespace

QByteArray EqTextContent(const ParameterImage& image, const EqTextExport& what) {
    const int section = std::clamp(what.section, 0, SectionCount - 1);
    const QString sectionName = EqSectionName(section);
    QStringList lines;
    lines << QStringLiteral("# EQ filters of the %1 section, written by %2")
                 .arg(sectionName,
                      what.program.isEmpty() ? QStringLiteral("QUELLATON") : what.program);
    if (!what.source.isEmpty()) {
        lines << QStringLiteral("# Source: %1").arg(what.source);
    }
    const std::optional<double> gain = SectionGainDb(image, section);
    if (gain) {
        lines << QStringLiteral("Preamp: %1 dB").arg(FormatDb(*gain));
    } else {
        lines << QStringLiteral("# Level: Mute, which has no Preamp form");
    }

    int number = 0;
    for (int band = 0; band < BandsPerSection; ++band) {
        const EqBand& b = image.bands[std::size_t(BandIndex(section, band))];
        const int frequency = std::clamp(b.frequencyIndex, 0, MaxFrequencyIndex);
        const int gainIndex = std::clamp(b.activeGain(), 0, MaxEqGainIndex);
        const int q = std::clamp(b.qIndex, 0, MaxQIndex);
        lines << QStringLiteral("Filter %1: %2 %3 Fc %4 Hz Gain %5 dB Q %6")
                     .arg(++number)
                     .arg(what.bypass[std::size_t(band)] ? QStringLiteral("OFF")
                                                         : QStringLiteral("ON"))
                     .arg(BandTypeCode(b.type))
                     .arg(FormatOneDecimal(FrequencyTable[std::size_t(frequency)]))
                     .arg(FormatDb(EqGainTable[std::size_t(gainIndex)]))
                     .arg(QString::number(QTable[std::size_t(q)], 'f', 2));
    }

    struct Crossover {
        const char* name;
        const char* code;
        int index;
        int type;
        int offIndex; // the index at which the filter leaves the audible band flat
    };
    const Crossover crossovers[2] = {
        {"High-pass", "HP", image.highPassIndex[std::size_t(section)],
         image.highPassType[std::size_t(section)], 0},
        {"Low-pass", "LP", image.lowPassIndex[std::size_t(section)],
         image.lowPassType[std::size_t(section)], MaxFrequencyIndex},
    };
    for (const Crossover& c : crossovers) {
        const int index = std::clamp(c.index, 0, MaxFrequencyIndex);
        const QString hz = FormatOneDecimal(FrequencyTable[std::size_t(index)]);
        if (index == c.offIndex) {
            lines << QStringLiteral("# %1: off (%2 Hz is the end of the table, which leaves the "
                                    "audible band flat)")
                         .arg(QLatin1String(c.name), hz);
            continue;
        }
        if (!CrossoverTypeHasText(c.type)) {
            lines << QStringLiteral("# %1: %2 at %3 Hz has no form in this format")
                         .arg(QLatin1String(c.name), CrossoverName(c.type), hz);
            continue;
        }
        const QString code = QLatin1String(c.code);
        if (c.type == 1) {
            lines
                << QStringLiteral("Filter %1: ON %2Q Fc %3 Hz Q 0.50").arg(++number).arg(code, hz);
            continue;
        }
        const int count = c.type == 7 ? 2 : 1;
        for (int i = 0; i < count; ++i) {
            lines << QStringLiteral("Filter %1: ON %2 Fc %3 Hz").arg(++number).arg(code, hz);
        }
    }
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

} // namespace quellaton
