#include "files/measurement_file.h"

#include "files/preset_file_format.h"

#include <QFile>

#include <cmath>
#include <vector>

namespace quellaton {

namespace {

enum class CurveKind { Measurement, Target };

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The text of a line or a field as a message quotes it: at most 40 characters, anything that
// is not printable ASCII shown as '?'.
QString Quoted(QByteArrayView text) {
    QString out;
    const qsizetype n = std::min<qsizetype>(text.size(), 40);
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        out += (c >= 0x20 && c < 0x7F) ? QChar(c) : QChar(u'?');
    }
    if (text.size() > n) {
        out += QStringLiteral("...");
    }
    return QLatin1Char('"') + out + QLatin1Char('"');
}

QString LineError(int line, const QString& what) {
    return QStringLiteral("line %1: %2").arg(line).arg(what);
}

// Whether a comma in `token` sits between two digits ("20,5").
bool HasInnerComma(QByteArrayView token) {
    for (qsizetype i = 1; i + 1 < token.size(); ++i) {
        if (token[i] == ',' && IsDigit(token[i - 1]) && IsDigit(token[i + 1])) {
            return true;
        }
    }
    return false;
}

// Splits a data line into its fields: blanks, tabs and commas separate them. Fails with a
// message for a decimal comma (a comma inside a number where blanks separate the fields, or a
// line that also has semicolons) or a separator the files do not use.
bool SplitFields(QByteArrayView line, int number, std::vector<QByteArrayView>& fields,
                 QString& error) {
    fields.clear();
    const bool semicolon = line.contains(';');
    if (semicolon && line.contains(',')) {
        error = LineError(
            number, QStringLiteral("%1 has a decimal comma; numbers take a dot").arg(Quoted(line)));
        return false;
    }
    if (semicolon) {
        error = LineError(number, QStringLiteral("%1: fields are separated by blanks, tabs or "
                                                 "commas, not semicolons")
                                      .arg(Quoted(line)));
        return false;
    }
    // Blank-separated tokens first: where there are several, a comma between digits inside
    // one of them is a decimal comma.
    std::vector<QByteArrayView> tokens;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        const qsizetype start = i;
        while (i < line.size() && !IsBlank(line[i])) {
            ++i;
        }
        if (i > start) {
            tokens.push_back(line.sliced(start, i - start));
        }
    }
    if (tokens.size() > 1) {
        for (QByteArrayView token : tokens) {
            if (HasInnerComma(token)) {
                error = LineError(number, QStringLiteral("%1 has a decimal comma; numbers take "
                                                         "a dot")
                                              .arg(Quoted(token)));
                return false;
            }
        }
    }
    // Then commas split the tokens; a comma next to blanks is part of the separator.
    for (QByteArrayView token : tokens) {
        qsizetype start = 0;
        for (qsizetype k = 0; k <= token.size(); ++k) {
            if (k == token.size() || token[k] == ',') {
                if (k > start) {
                    fields.push_back(token.sliced(start, k - start));
                } else if (k < token.size() && tokens.size() == 1 && k > 0) {
                    // Two commas in a row: an empty field.
                    error = LineError(number,
                                      QStringLiteral("%1 has an empty field").arg(Quoted(line)));
                    return false;
                }
                start = k + 1;
            }
        }
    }
    return true;
}

bool ParseNumber(QByteArrayView field, double& value) {
    bool ok = false;
    value = QByteArray(field.data(), field.size()).toDouble(&ok);
    return ok && std::isfinite(value);
}

// Whether a line begins with a number: a digit, or a sign or point followed by one.
bool BeginsWithNumber(QByteArrayView line) {
    qsizetype i = 0;
    while (i < line.size() && IsBlank(line[i])) {
        ++i;
    }
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        ++i;
    }
    if (i < line.size() && line[i] == '.') {
        ++i;
    }
    return i < line.size() && IsDigit(line[i]);
}

bool IsCommentOrEmpty(QByteArrayView line) {
    qsizetype i = 0;
    while (i < line.size() && IsBlank(line[i])) {
        ++i;
    }
    return i == line.size() || line[i] == '*' || line[i] == '#' || line[i] == ';';
}

QString Hz(double f) {
    return QString::number(f, 'g', 10) + QStringLiteral(" Hz");
}

CurveFile ReadCurve(QByteArrayView content, CurveKind kind) {
    CurveFile result;
    if (content.startsWith("\xEF\xBB\xBF")) {
        content = content.sliced(3); // a UTF-8 byte order mark
    }
    std::vector<CurvePoint> points;
    std::vector<QByteArrayView> fields;
    int columns = 0; // of the first point; every point must have as many
    int previousLine = 0;
    int number = 0;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        if (end < 0) {
            end = content.size();
        }
        const QByteArrayView line = content.sliced(start, end - start);
        start = end + 1;
        ++number;
        if (kind == CurveKind::Measurement ? IsCommentOrEmpty(line) : !BeginsWithNumber(line)) {
            continue;
        }
        QString error;
        if (!SplitFields(line, number, fields, error)) {
            result.error = error;
            return result;
        }
        for (QByteArrayView field : fields) {
            double ignored = 0.0;
            if (!ParseNumber(field, ignored)) {
                result.error =
                    LineError(number, QStringLiteral("%1 is not a number").arg(Quoted(field)));
                return result;
            }
        }
        const int count = int(fields.size());
        const bool measurement = kind == CurveKind::Measurement;
        if (measurement ? (count < 2 || count > 3) : count != 2) {
            const QString expected =
                measurement ? QStringLiteral("frequency, level and phase (or frequency and level)")
                            : QStringLiteral("a frequency and a level");
            QString what = QStringLiteral("%1 value%2 where %3 are expected")
                               .arg(count)
                               .arg(count == 1 ? "" : "s")
                               .arg(expected);
            if (count > (measurement ? 3 : 2) && line.contains(',')) {
                what += QStringLiteral("; is the comma a decimal mark? Numbers take a dot");
            }
            result.error = LineError(number, what);
            return result;
        }
        if (columns == 0) {
            columns = count;
        } else if (count != columns) {
            result.error = LineError(
                number,
                QStringLiteral("%1 values where the lines before have %2").arg(count).arg(columns));
            return result;
        }
        CurvePoint point;
        ParseNumber(fields[0], point.frequency);
        ParseNumber(fields[1], point.levelDb);
        if (count == 3) {
            ParseNumber(fields[2], point.phaseDeg);
        }
        if (!(point.frequency > 0.0)) {
            result.error = LineError(
                number, QStringLiteral("the frequency %1 is not above 0").arg(Hz(point.frequency)));
            return result;
        }
        if (!points.empty() && !(point.frequency > points.back().frequency)) {
            result.error =
                LineError(number, QStringLiteral("the frequency %1 is not above the %2 of line %3; "
                                                 "frequencies must ascend")
                                      .arg(Hz(point.frequency), Hz(points.back().frequency))
                                      .arg(previousLine));
            return result;
        }
        if (int(points.size()) >= CurvePointLimit) {
            result.error = QStringLiteral("more than %1 points").arg(CurvePointLimit);
            return result;
        }
        points.push_back(point);
        previousLine = number;
    }
    if (points.size() < 2) {
        result.error = QStringLiteral("fewer than 2 points (%1 found)").arg(points.size());
        return result;
    }
    result.curve = MeasuredCurve(std::move(points), columns == 3);
    return result;
}

CurveFile LoadCurve(const QString& path, CurveKind kind) {
    QFile file;
    if (!OpenRegularFile(path, file)) {
        CurveFile result;
        result.error = QFile::exists(path) ? QStringLiteral("not a readable file")
                                           : QStringLiteral("no such file");
        return result;
    }
    const QByteArray data = file.read(CurveFileSizeLimit + 1);
    if (file.error() != QFileDevice::NoError) {
        CurveFile result;
        result.error = file.errorString();
        return result;
    }
    if (data.size() > CurveFileSizeLimit) {
        CurveFile result;
        result.error = QStringLiteral("larger than %1 MiB").arg(CurveFileSizeLimit >> 20);
        return result;
    }
    return ReadCurve(data, kind);
}

} // namespace

CurveFile ReadMeasurementText(QByteArrayView content) {
    return ReadCurve(content, CurveKind::Measurement);
}

CurveFile ReadTargetText(QByteArrayView content) {
    return ReadCurve(content, CurveKind::Target);
}

CurveFile LoadMeasurementFile(const QString& path) {
    return LoadCurve(path, CurveKind::Measurement);
}

CurveFile LoadTargetFile(const QString& path) {
    return LoadCurve(path, CurveKind::Target);
}

} // namespace quellaton
