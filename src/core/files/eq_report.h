// The report of fitting EQ filters onto a section, as people and scripts read it: a title, a
// table with one row per filter and a last row for the whole section, and the notes; or one
// JSON object.
#pragma once

#include "files/eq_fit.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace quellaton {

// "a REW Filter Settings file", "an Equalizer APO or AutoEq text".
QString EqFormatName(EqTextFormat format);

// The table: the column titles, then one row per filter and the section's row.
QStringList EqReportHeader();
QList<QStringList> EqReportRows(const EqFitReport& report);
// The notes, one line each ("line 3: Channel is not applied: ...").
QStringList EqReportNotes(const EqFitReport& report);
// "High section, from a REW Filter Settings file".
QString EqReportTitle(const EqFitReport& report);
QJsonObject EqReportJson(const EqFitReport& report);

} // namespace quellaton
