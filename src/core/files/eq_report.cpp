#include "files/eq_report.h"

#include "dsp/scales.h"

#include <QJsonArray>

namespace quellaton {

namespace {

QString Plain(double value) {
    return QString::number(value, 'g', 6);
}

QString Difference(double db) {
    return QString::number(db, 'f', 2) + QStringLiteral(" dB");
}

template <typename Format> QString Cell(const std::optional<double>& value, Format format) {
    return value ? format(*value) : QString();
}

QString Lines(const QList<int>& lines) {
    QStringList numbers;
    for (int line : lines) {
        numbers << QString::number(line);
    }
    return numbers.join(QLatin1Char(','));
}

QString KindName(EqFitRow::Kind kind) {
    switch (kind) {
    case EqFitRow::Kind::Band:
        return QStringLiteral("band");
    case EqFitRow::Kind::HighPass:
        return QStringLiteral("high-pass");
    case EqFitRow::Kind::LowPass:
        return QStringLiteral("low-pass");
    case EqFitRow::Kind::Gain:
        return QStringLiteral("gain");
    case EqFitRow::Kind::Dropped:
        return QStringLiteral("dropped");
    case EqFitRow::Kind::Unsupported:
        return QStringLiteral("unsupported");
    }
    return QString();
}

QJsonValue Number(const std::optional<double>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

} // namespace

QString EqFormatName(EqTextFormat format) {
    return format == EqTextFormat::Rew ? QStringLiteral("a REW Filter Settings file")
                                       : QStringLiteral("an Equalizer APO or AutoEq text");
}

QStringList EqReportHeader() {
    return {QStringLiteral("LINE"),     QStringLiteral("TYPE"),     QStringLiteral("FC"),
            QStringLiteral("GAIN"),     QStringLiteral("Q"),        QStringLiteral("SET ON"),
            QStringLiteral("SET TYPE"), QStringLiteral("SET FC"),   QStringLiteral("SET GAIN"),
            QStringLiteral("SET Q"),    QStringLiteral("MAX DIFF"), QStringLiteral("NOTES")};
}

QList<QStringList> EqReportRows(const EqFitReport& report) {
    QList<QStringList> rows;
    for (const EqFitRow& r : report.rows) {
        rows.append({Lines(r.lines), r.requestedType,
                     Cell(r.requestedFrequency, [](double v) { return Plain(v) + " Hz"; }),
                     Cell(r.requestedGain, [](double v) { return Plain(v) + " dB"; }),
                     Cell(r.requestedQ, Plain), r.applied() ? r.target : QStringLiteral("-"),
                     r.setType, Cell(r.setFrequency, FormatFrequency), Cell(r.setGain, FormatGain),
                     Cell(r.setQ, FormatQ), Cell(r.difference, Difference),
                     r.notes.join(QStringLiteral("; "))});
    }
    if (report.refusal.isEmpty()) {
        QStringList last(EqReportHeader().size());
        last[1] = QStringLiteral("Section");
        last[5] = EqSectionName(report.section);
        last[10] = Difference(report.sectionDifference);
        rows.append(last);
    }
    return rows;
}

QStringList EqReportNotes(const EqFitReport& report) {
    QStringList notes;
    for (const EqTextNote& note : report.notes) {
        notes << (note.line > 0 ? QStringLiteral("line %1: %2").arg(note.line).arg(note.text)
                                : note.text);
    }
    return notes;
}

QString EqReportTitle(const EqFitReport& report) {
    return QStringLiteral("%1 section, from %2")
        .arg(EqSectionName(report.section), EqFormatName(report.format));
}

QJsonObject EqReportJson(const EqFitReport& report) {
    QJsonArray filters;
    for (const EqFitRow& r : report.rows) {
        QJsonArray lines;
        for (int line : r.lines) {
            lines.append(line);
        }
        filters.append(QJsonObject{
            {"lines", lines},
            {"kind", KindName(r.kind)},
            {"applied", r.applied()},
            {"target", r.applied() ? QJsonValue(r.target) : QJsonValue(QJsonValue::Null)},
            {"requested", QJsonObject{{"type", r.requestedType},
                                      {"frequency", Number(r.requestedFrequency)},
                                      {"gain", Number(r.requestedGain)},
                                      {"q", Number(r.requestedQ)}}},
            {"set", r.applied() ? QJsonValue(QJsonObject{{"type", r.setType},
                                                         {"frequency", Number(r.setFrequency)},
                                                         {"gain", Number(r.setGain)},
                                                         {"q", Number(r.setQ)}})
                                : QJsonValue(QJsonValue::Null)},
            {"difference", Number(r.difference)},
            {"notes", QJsonArray::fromStringList(r.notes)},
        });
    }
    QJsonArray notes;
    for (const EqTextNote& note : report.notes) {
        notes.append(QJsonObject{
            {"line", note.line > 0 ? QJsonValue(note.line) : QJsonValue(QJsonValue::Null)},
            {"text", note.text}});
    }
    QJsonObject out{
        {"section", EqSectionName(report.section)},
        {"format", report.format == EqTextFormat::Rew ? "rew" : "apo"},
        {"applied", report.refusal.isEmpty()},
        {"filters", filters},
        {"notes", notes},
    };
    if (report.refusal.isEmpty()) {
        out.insert("sectionDifference", report.sectionDifference);
    } else {
        out.insert("refusal", report.refusal);
    }
    return out;
}

} // namespace quellaton
