#include "files/image_report.h"

#include "dsp/scales.h"
#include "protocol/parameter_names.h"

#include <QJsonObject>

namespace quellaton {

namespace {

namespace names = parameter_names;

void Add(QList<ReportRow>& rows, int section, const QString& parameter, const QString& value) {
    rows.append({QLatin1String(names::Sections[section]), parameter, value});
}

void Add(QList<ReportRow>& rows, int section, const char* parameter, const QString& value) {
    Add(rows, section, QLatin1String(parameter), value);
}

// A limiter code the window has no entry for (the unit stores them unchecked).
QString OrCode(const QString& text, int code) {
    return text.isEmpty() ? QStringLiteral("code %1").arg(code) : text;
}

void AddFilters(QList<ReportRow>& rows, const ParameterImage& image, int section) {
    Add(rows, section, names::HighPassType, CrossoverTypeText(image.highPassType[section]));
    Add(rows, section, names::HighPassFrequency, FrequencyText(image.highPassIndex[section]));
    Add(rows, section, names::LowPassType, CrossoverTypeText(image.lowPassType[section]));
    Add(rows, section, names::LowPassFrequency, FrequencyText(image.lowPassIndex[section]));
    for (int b = 0; b < BandsPerSection; ++b) {
        const EqBand& band = image.bands[std::size_t(BandIndex(section, b))];
        Add(rows, section, names::Band(b, names::BandType), EqBandTypeText(band.type));
        Add(rows, section, names::Band(b, names::BandFrequency),
            FrequencyText(band.frequencyIndex));
        Add(rows, section, names::Band(b, names::BandGain), EqGainText(band.activeGain()));
        Add(rows, section, names::Band(b, names::BandQ), QText(band.qIndex));
    }
}

} // namespace

QList<ReportRow> DescribeImage(const ParameterImage& image) {
    QList<ReportRow> rows;
    for (int way = 0; way < WayCount; ++way) {
        Add(rows, way, names::Gain, OutputGainText(image.gainIndex[way]));
        Add(rows, way, names::Mute, names::OnOffText(image.onFlag[way] == 0));
        Add(rows, way, names::Polarity, names::PolarityText(way, image.polarity[way] != 0));
        Add(rows, way, names::Delay, DelayMsText(image.delay[way]));
        Add(rows, way, names::LimiterThreshold, LimiterThresholdText(image.limiterThreshold[way]));
        Add(rows, way, names::LimiterAttack,
            OrCode(LimiterAttackText(image.limiterAttack[way]), image.limiterAttack[way]));
        Add(rows, way, names::LimiterRelease,
            OrCode(LimiterReleaseText(image.limiterRelease[way]), image.limiterRelease[way]));
        AddFilters(rows, image, way);
    }
    Add(rows, Main, names::Level, MainLevelText(image.masterLevel));
    Add(rows, Main, names::Delay, DelayMsText(image.delay[Main]));
    Add(rows, Main, names::Polarity, names::PolarityText(Main, image.polarity[Main] != 0));
    Add(rows, Main, names::BassEnhancer, names::OnOffText(image.bassEnhancer == 1));
    Add(rows, Main, names::BtlMode, names::OnOffText(image.btlMode != 0));
    AddFilters(rows, image, Main);
    return rows;
}

QJsonArray ReportRowsJson(const QList<ReportRow>& rows) {
    QJsonArray out;
    for (const ReportRow& r : rows) {
        out.append(
            QJsonObject{{"section", r.section}, {"parameter", r.parameter}, {"value", r.value}});
    }
    return out;
}

QList<ReportDifference> DifferingRows(const ParameterImage& a, const ParameterImage& b) {
    const QList<ReportRow> left = DescribeImage(a);
    const QList<ReportRow> right = DescribeImage(b);
    QList<ReportDifference> out;
    for (qsizetype i = 0; i < left.size() && i < right.size(); ++i) {
        if (left[i].value != right[i].value) {
            out.append({left[i].section, left[i].parameter, left[i].value, right[i].value});
        }
    }
    return out;
}

} // namespace quellaton
