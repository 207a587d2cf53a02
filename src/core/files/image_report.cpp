#include "files/image_report.h"

#include "dsp/scales.h"

namespace quellaton {

namespace {

const char* const SectionNames[SectionCount] = {"High", "Mid", "Low", "Main"};

QString OnOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

void Add(QList<ReportRow>& rows, int section, const QString& parameter, const QString& value) {
    rows.append({QLatin1String(SectionNames[section]), parameter, value});
}

// A limiter code the window has no entry for (the unit stores them unchecked).
QString OrCode(const QString& text, int code) {
    return text.isEmpty() ? QStringLiteral("code %1").arg(code) : text;
}

void AddFilters(QList<ReportRow>& rows, const ParameterImage& image, int section) {
    Add(rows, section, QStringLiteral("HPF type"), CrossoverTypeText(image.highPassType[section]));
    Add(rows, section, QStringLiteral("HPF frequency"),
        FrequencyText(image.highPassIndex[section]));
    Add(rows, section, QStringLiteral("LPF type"), CrossoverTypeText(image.lowPassType[section]));
    Add(rows, section, QStringLiteral("LPF frequency"), FrequencyText(image.lowPassIndex[section]));
    for (int b = 0; b < BandsPerSection; ++b) {
        const EqBand& band = image.bands[std::size_t(BandIndex(section, b))];
        const QString name = QStringLiteral("Band %1 ").arg(b + 1);
        Add(rows, section, name + QStringLiteral("type"), EqBandTypeText(band.type));
        Add(rows, section, name + QStringLiteral("frequency"), FrequencyText(band.frequencyIndex));
        Add(rows, section, name + QStringLiteral("gain"), EqGainText(band.activeGain()));
        Add(rows, section, name + QStringLiteral("Q"), QText(band.qIndex));
    }
}

} // namespace

QList<ReportRow> DescribeImage(const ParameterImage& image) {
    QList<ReportRow> rows;
    for (int way = 0; way < WayCount; ++way) {
        Add(rows, way, QStringLiteral("Gain"), OutputGainText(image.gainIndex[way]));
        Add(rows, way, QStringLiteral("Mute"), OnOff(image.onFlag[way] == 0));
        Add(rows, way, QStringLiteral("Polarity"),
            image.polarity[way] == 0 ? QStringLiteral("+") : QStringLiteral("-"));
        Add(rows, way, QStringLiteral("Delay"), DelayMsText(image.delay[way]));
        Add(rows, way, QStringLiteral("Limiter threshold"),
            LimiterThresholdText(image.limiterThreshold[way]));
        Add(rows, way, QStringLiteral("Limiter attack"),
            OrCode(LimiterAttackText(image.limiterAttack[way]), image.limiterAttack[way]));
        Add(rows, way, QStringLiteral("Limiter release"),
            OrCode(LimiterReleaseText(image.limiterRelease[way]), image.limiterRelease[way]));
        AddFilters(rows, image, way);
    }
    Add(rows, Main, QStringLiteral("Level"), MainLevelText(image.masterLevel));
    Add(rows, Main, QStringLiteral("Delay"), DelayMsText(image.delay[Main]));
    Add(rows, Main, QStringLiteral("Polarity"),
        image.polarity[Main] == 0 ? QStringLiteral("Pol(+)") : QStringLiteral("Pol(-)"));
    Add(rows, Main, QStringLiteral("Bass enhancer"), OnOff(image.bassEnhancer == 1));
    Add(rows, Main, QStringLiteral("BTL mode"), OnOff(image.btlMode != 0));
    AddFilters(rows, image, Main);
    return rows;
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
