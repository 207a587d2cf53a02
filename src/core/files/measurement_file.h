// Measurement and target curve files.
//
// A measurement is a REW text export or an FRD file: one point a line, frequency in Hz, level
// in dB and, where present, phase in degrees, separated by blanks, tabs or commas. Lines that
// start with '*' (REW's comments), '#' or ';' and empty lines are skipped; any other line must
// be a point. A target (house curve) is frequency/dB pairs; only lines that begin with a number
// count. Numbers take a dot as the decimal mark.
//
// A file that cannot be read gives a message naming the line: a decimal comma, frequencies that
// do not ascend, fewer than 2 points, or anything that is not a number.
#pragma once

#include "dsp/measured_curve.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace quellaton {

// Larger files are not read; neither are more points than this.
inline constexpr qint64 CurveFileSizeLimit = 32 << 20;
inline constexpr int CurvePointLimit = 200000;

struct CurveFile {
    std::optional<MeasuredCurve> curve;
    QString error; // why there is no curve: "line 12: ..."
};

CurveFile ReadMeasurementText(QByteArrayView content);
CurveFile ReadTargetText(QByteArrayView content);

// The same from a file on disk; only a regular file is read.
CurveFile LoadMeasurementFile(const QString& path);
CurveFile LoadTargetFile(const QString& path);

} // namespace quellaton
