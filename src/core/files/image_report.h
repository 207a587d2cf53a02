// A parameter set as people read it: one row per parameter, per section and band, with the
// units and texts the window shows (Hz, dB, Q, types, crossover types and corners, delay in
// ms, limiter, gain, mute, polarity, BTL, bass enhancer). The rows of two sets line up one to
// one, so the parameters that differ are the rows whose values differ.
#pragma once

#include "protocol/parameter_image.h"

#include <QJsonArray>
#include <QList>
#include <QString>

namespace quellaton {

struct ReportRow {
    QString section;   // "High", "Mid", "Low", "Main"
    QString parameter; // "Gain", "Band 3 frequency", "HPF type", ...
    QString value;     // "-8.0 dB", "1000.0 Hz", "24db-L-R", ...
};

QList<ReportRow> DescribeImage(const ParameterImage& image);

// The rows as JSON, as quellaton-cli show --json and the remote service give them: an array of
// {"section", "parameter", "value"} objects.
QJsonArray ReportRowsJson(const QList<ReportRow>& rows);

struct ReportDifference {
    QString section;
    QString parameter;
    QString first;
    QString second;
};

// The rows of `a` and `b` whose values differ, in report order.
QList<ReportDifference> DifferingRows(const ParameterImage& a, const ParameterImage& b);

} // namespace quellaton
