#include "dsp/scales.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace quellaton {

namespace {

// Entries of the rule-based tables are one-decimal numbers. A whole number of tenths divided
// by 10.0 is the double nearest to that decimal (IEEE division rounds correctly), so these
// tables hold exactly the listed decimals, not the slightly different results of evaluating
// "start + step x i" in floating point, which would move tie-breaks of the nearest rule.
template <int N> constexpr std::array<double, N> TenthsTable(int firstTenths, int stepTenths) {
    std::array<double, N> table{};
    for (int i = 0; i < N; ++i) {
        table[i] = (firstTenths + stepTenths * i) / 10.0;
    }
    return table;
}

double Trunc(double v) {
    return std::trunc(v);
}

} // namespace

const std::array<double, FrequencyCount> FrequencyTable = {
    19.7,  20.3,  20.9,  21.5,  22.1,  22.7,  23.4,  24.1,  24.8,  25.5,  26.3,  27,    27.8,
    28.7,  29.5,  30.4,  31.3,  32.2,  33.1,  34.1,  35.1,  36.1,  37.2,  38.3,  39.4,  40.5,
    41.7,  42.9,  44.2,  45.5,  46.8,  48.2,  49.6,  51.1,  52.6,  54.1,  55.7,  57.3,  59,
    60.7,  62.5,  64.3,  66.2,  68.2,  70.2,  72.2,  74.3,  76.5,  78.7,  81.1,  83.4,  85.9,
    88.4,  91,    93.6,  96.4,  99.2,  102,   105,   108,   111,   115,   118,   121,   125,
    129,   132,   136,   140,   144,   149,   153,   158,   162,   167,   172,   179,   182,
    187,   193,   198,   204,   210,   216,   223,   229,   236,   243,   250,   257,   265,
    273,   281,   289,   297,   306,   315,   324,   334,   344,   354,   364,   375,   386,
    397,   409,   420,   433,   445,   459,   472,   486,   500,   515,   530,   545,   561,
    578,   595,   612,   630,   648,   667,   687,   707,   728,   749,   771,   794,   817,
    841,   866,   891,   917,   944,   972,   1000,  1030,  1060,  1090,  1123,  1155,  1190,
    1224,  1260,  1297,  1335,  1374,  1414,  1456,  1498,  1542,  1587,  1634,  1682,  1731,
    1782,  1834,  1888,  1943,  2000,  2059,  2119,  2181,  2245,  2311,  2378,  2448,  2520,
    2594,  2670,  2748,  2828,  2911,  2997,  3084,  3175,  3268,  3364,  3462,  3564,  3668,
    3776,  3886,  4000,  4117,  4238,  4362,  4490,  4621,  4757,  4896,  5040,  5187,  5339,
    5496,  5657,  5823,  5993,  6169,  6350,  6536,  6727,  6924,  7127,  7336,  7551,  7772,
    8000,  8234,  8476,  8724,  8980,  9243,  9514,  9792,  10000, 10300, 10600, 10900, 11300,
    11600, 11900, 12300, 12600, 13000, 13400, 13800, 14200, 14600, 15100, 15500, 16000, 16400,
    16900, 17400, 17900, 18400, 19000, 19500, 20100, 20700, 21300, 21900};

// -24.0 .. +12.0 dB in 0.2 dB steps.
const std::array<double, EqGainCount> EqGainTable = TenthsTable<EqGainCount>(-240, 2);
// -20.0 .. +5.0 dB in 0.1 dB steps.
const std::array<double, OutputGainCount> OutputGainTable = TenthsTable<OutputGainCount>(-200, 1);
// 0.2 .. 36.0 in steps of 0.2.
const std::array<double, QCount> QTable = TenthsTable<QCount>(2, 2);

// Raw sensor readings; index i stands for 70 - 2 x i degrees Celsius.
const std::array<double, TemperatureCodeCount> TemperatureCodeTable = {
    1123, 1184, 1260, 1336, 1412, 1503, 1594, 1685, 1792, 1883, 2004, 2110, 2232, 2353, 2490, 2627,
    2779, 2915, 3037, 3219, 3386, 3538, 3705, 3872, 4054, 4221, 4404, 4556, 4753, 4859, 5118};

int NearestIndex(std::span<const double> table, double value) {
    const int count = static_cast<int>(table.size());
    if (count < 2) {
        return 0;
    }
    int i = 1;
    while (i < count && value > table[i]) {
        ++i;
    }
    if (i >= count) {
        return count - 1;
    }
    return (value - table[i - 1] > table[i] - value) ? i : i - 1;
}

int NearestFrequencyIndex(double hz) {
    return NearestIndex(FrequencyTable, hz);
}
int NearestEqGainIndex(double db) {
    return NearestIndex(EqGainTable, db);
}
int NearestOutputGainIndex(double db) {
    return NearestIndex(OutputGainTable, db);
}
int NearestQIndex(double q) {
    return NearestIndex(QTable, q);
}

QString FormatOneDecimal(double value) {
    QString text = QString::number(value, 'f', 1);
    if (text == QLatin1String("-0.0")) {
        text = QStringLiteral("0.0");
    }
    return text;
}

QString FormatFrequency(double hz) {
    return FormatOneDecimal(hz) + QStringLiteral(" Hz");
}
QString FormatGain(double db) {
    return FormatOneDecimal(db) + QStringLiteral(" dB");
}
QString FormatQ(double q) {
    return QString::number(q, 'g', 15);
}

namespace {
template <std::size_t N> double At(const std::array<double, N>& table, int index) {
    if (index < 0) {
        index = 0;
    }
    if (index >= static_cast<int>(N)) {
        index = static_cast<int>(N) - 1;
    }
    return table[static_cast<std::size_t>(index)];
}
} // namespace

QString FrequencyText(int index) {
    return FormatFrequency(At(FrequencyTable, index));
}
QString EqGainText(int index) {
    return FormatGain(At(EqGainTable, index));
}
QString OutputGainText(int index) {
    return FormatGain(At(OutputGainTable, index));
}
QString QText(int index) {
    return FormatQ(At(QTable, index));
}

QString EqBandTypeText(int type) {
    switch (type) {
    case 0:
        return QStringLiteral("PEQ");
    case 1:
        return QStringLiteral("LS");
    case 2:
        return QStringLiteral("HS");
    default:
        return {};
    }
}

QString CrossoverTypeText(int type) {
    static const char* const names[CrossoverTypeListCount] = {
        "12db-Bworth", "12db-LR",     "12db-Bessel", "18db-Bworth", "18db-LR",
        "18db-Bessel", "24db-Bworth", "24db-LR",     "24db-Bessel"};
    if (type < 0 || type >= CrossoverTypeListCount) {
        return {};
    }
    return QString::fromLatin1(names[type]);
}

QString LimiterThresholdText(int code) {
    return QString::number(code - 19) + QStringLiteral("dBu");
}

QString LimiterAttackText(int code) {
    static const char* const names[LimiterAttackCount] = {"0.5 ms", "1 ms",  "2 ms", "5 ms",
                                                          "10 ms",  "20 ms", "50 ms"};
    if (code < 0 || code >= LimiterAttackCount) {
        return {};
    }
    return QString::fromLatin1(names[code]);
}

QString LimiterReleaseText(int code) {
    static const char* const names[LimiterReleaseCount] = {"90ms",   "200ms",  "500ms", "700ms",
                                                           "1200ms", "2000ms", "5000ms"};
    if (code < 0 || code >= LimiterReleaseCount) {
        return {};
    }
    return QString::fromLatin1(names[code]);
}

double DelayMs(int steps) {
    return steps * DelayStepMs;
}

int DelaySteps(double ms) {
    if (!(ms > 0.0)) { // also not a number
        return 0;
    }
    return int(std::lround(std::min(ms / DelayStepMs, double(MaxDelaySteps))));
}

namespace {
QString ThreeDecimals(double value) {
    QString text = QString::number(value, 'f', 3);
    if (text == QLatin1String("-0.000")) {
        text = QStringLiteral("0.000");
    }
    return text;
}
} // namespace

QString DelayMsText(int steps) {
    return ThreeDecimals(DelayMs(steps)) + QStringLiteral(" ms");
}
QString DelayMetreText(int steps) {
    return ThreeDecimals(DelayMs(steps) / 2.9034) + QStringLiteral(" m");
}
QString DelayFeetText(int steps) {
    return ThreeDecimals(DelayMs(steps) * 3.281 / 2.9034) + QStringLiteral(" ft");
}

QString MainLevelText(int code) {
    if (code == 0) {
        return QStringLiteral("Mute");
    }
    return FormatGain(-2.0 * (MainLevelTop - code) / 10.0);
}

QString MasterFaderText(int position) {
    if (position == MainLevelTop) {
        return QStringLiteral("Mute");
    }
    return FormatGain(-2.0 * position / 10.0);
}

int TemperatureIndex(int raw) {
    if (raw > TemperatureRawLimit) {
        raw = TemperatureRawLimit;
    }
    return NearestIndex(TemperatureCodeTable, raw);
}

QString TemperatureLabel(int index) {
    if (index <= 0) {
        return QStringLiteral(">=70");
    }
    if (index >= TemperatureCodeCount - 1) {
        return QStringLiteral("<=10");
    }
    return QStringLiteral("    ") + QString::number(70 - 2 * index);
}

QString ProtectTemperatureText(int code) {
    if (code <= 0) {
        return QStringLiteral(">=70 °C");
    }
    if (code >= TemperatureCodeCount - 1) {
        return QStringLiteral("<=10 °C");
    }
    return QString::number(70 - 2 * code) + QStringLiteral(" °C");
}

std::optional<double> ParseDecimal(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*[+-]?(\\d+(\\.\\d*)?|\\.\\d+)\\s*$"));
    if (!pattern.match(text).hasMatch()) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<TypedEntry> EnterFrequency(const QString& text) {
    auto value = ParseDecimal(text);
    if (!value) {
        return std::nullopt;
    }
    const double hz = std::clamp(*value, FrequencyTable.front(), FrequencyTable.back());
    const int index = NearestFrequencyIndex(hz);
    return TypedEntry{index, FrequencyText(index)};
}

std::optional<TypedEntry> EnterEqGain(const QString& text) {
    auto value = ParseDecimal(text);
    if (!value) {
        return std::nullopt;
    }
    const double db = std::clamp(*value, EqGainTable.front(), EqGainTable.back());
    const int index = NearestEqGainIndex(db);
    return TypedEntry{index, EqGainText(index)};
}

std::optional<TypedEntry> EnterQ(const QString& text) {
    auto value = ParseDecimal(text);
    if (!value) {
        return std::nullopt;
    }
    const double q = std::clamp(*value, QTable.front(), QTable.back());
    const int index = NearestQIndex(q);
    return TypedEntry{index, QText(index)};
}

int GraphGeometry::leftInset() const {
    return static_cast<int>(Trunc((width - 46) * 0.09));
}
int GraphGeometry::rightInset() const {
    return static_cast<int>(Trunc((width - 46) * 0.05));
}
int GraphGeometry::span() const {
    return width - 46 - leftInset() - rightInset();
}

double GraphGeometry::columnFrequency(int x) const {
    return 20.0 * std::pow(10.0, 3.0 * (x - 41 - leftInset()) / span());
}

int GraphGeometry::frequencyToX(double hz) const {
    return static_cast<int>(Trunc(std::log10(hz / 20.0) * span() / 3.0 + 41 + leftInset()));
}

int GraphGeometry::gainToY(double db) const {
    return static_cast<int>(Trunc((15.0 - db) / 45.0 * (height - 38) + 16));
}

int GraphGeometry::xToFrequencyIndex(int x) const {
    const double f = 20.0 * std::pow(10.0, 3.0 / span() * (x - 41 - leftInset()));
    return NearestFrequencyIndex(f);
}

int GraphGeometry::yToEqGainIndex(int y) const {
    const double g = 15.0 - static_cast<double>(y - 18) / (height - 42) * 45.0;
    return NearestEqGainIndex(g);
}

int LevelToFaderY(double db) {
    return static_cast<int>(Trunc((5.0 - db) * 179.0 / 25.0 + 26));
}

double FaderYToLevel(int y) {
    return Trunc((5.0 - (y - 26) * 0.13966480446927374) * 10.0) / 10.0;
}

QString HexWord(int value) {
    return QStringLiteral("%1").arg(value & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper();
}

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}
} // namespace

int HexToInt(QByteArrayView text) {
    if (text.isEmpty() || text.size() > 7) {
        return 0;
    }
    int value = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            return 0;
        }
        value = value * 16 + digit;
    }
    return value;
}

int HexToInt(const QString& text) {
    return HexToInt(QByteArrayView(text.toLatin1()));
}

bool IsHexText(QByteArrayView text) {
    if (text.isEmpty() || text.size() % 2 != 0) {
        return false;
    }
    for (char c : text) {
        if (HexDigit(c) < 0) {
            return false;
        }
    }
    return true;
}

QByteArray ToHexText(QByteArrayView bytes) {
    return bytes.toByteArray().toHex().toUpper();
}

} // namespace quellaton
