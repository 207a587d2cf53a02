// Value scales of the amplifier units: the code tables, the nearest-entry lookup, display
// formats, typed-value entry, pixel conversions of the response graph and the gain fader,
// and the hex-text conversions used on the wire.
#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>
#include <span>

namespace quellaton {

inline constexpr int FrequencyCount = 244;
inline constexpr int EqGainCount = 181;
inline constexpr int OutputGainCount = 251;
inline constexpr int QCount = 180;
inline constexpr int TemperatureCodeCount = 31;

extern const std::array<double, FrequencyCount> FrequencyTable;
extern const std::array<double, EqGainCount> EqGainTable;
extern const std::array<double, OutputGainCount> OutputGainTable;
extern const std::array<double, QCount> QTable;
extern const std::array<double, TemperatureCodeCount> TemperatureCodeTable;

inline constexpr int EqGainZeroIndex = 120;     // 0.0 dB in EqGainTable
inline constexpr int OutputGainZeroIndex = 200; // 0.0 dB in OutputGainTable
inline constexpr int MaxFrequencyIndex = FrequencyCount - 1;
inline constexpr int MaxEqGainIndex = EqGainCount - 1;
inline constexpr int MaxQIndex = QCount - 1;
inline constexpr int MaxDelaySteps = 412;
inline constexpr int MainLevelTop = 301; // 0.0 dB; 0 is mute
inline constexpr double MainLevelStepDb = 0.2;
inline constexpr double DelayStepMs = 0.021;

// Walks i = 1, 2, ... while value > table[i]; at the first entry not passed the result is i
// when value is strictly nearer to it than to table[i-1], else i-1 (ties go to the lower
// index). Values below entry 0 give 0, values beyond the last entry give the last index.
int NearestIndex(std::span<const double> table, double value);

int NearestFrequencyIndex(double hz);
int NearestEqGainIndex(double db);
int NearestOutputGainIndex(double db);
int NearestQIndex(double q);

// Display formats.
QString FormatOneDecimal(double value); // "0.0", never "-0.0"
QString FormatFrequency(double hz);     // "1000.0 Hz"
QString FormatGain(double db);          // "-8.0 dB"
QString FormatQ(double q);              // shortest form: 0.2, 1, 36
QString FrequencyText(int index);
QString EqGainText(int index);
QString OutputGainText(int index);
QString QText(int index);

// EQ band types and crossover types as the editors list them.
QString EqBandTypeText(int type); // "PEQ", "LS", "HS"
inline constexpr int CrossoverTypeListCount = 9;
QString CrossoverTypeText(int type); // "12db-Bworth" ... "24db-Bessel"; empty for 9..11
QString LimiterThresholdText(int code);
QString LimiterAttackText(int code);
QString LimiterReleaseText(int code);
inline constexpr int LimiterThresholdCount = 20;
inline constexpr int LimiterAttackCount = 7;
inline constexpr int LimiterReleaseCount = 7;

// Delay readouts from a step count (0.021 ms per step, 2.9034 ms per metre).
double DelayMs(int steps);
int DelaySteps(double ms);         // the nearest step, within 0 .. MaxDelaySteps
QString DelayMsText(int steps);    // "8.652 ms"
QString DelayMetreText(int steps); // "2.980 m"
QString DelayFeetText(int steps);  // "9.777 ft"

// Main level code 0..301: "Mute" for 0, else -0.2 x (301 - code) dB.
QString MainLevelText(int code);
// Master fader position 0..301 (301 - level): "Mute" at 301, else -0.2 x position dB.
QString MasterFaderText(int position);

// Temperature report.
inline constexpr int TemperatureRawLimit = 5118;
int TemperatureIndex(int raw);            // raw limited to 5118, nearest table entry
QString TemperatureLabel(int index);      // ">=70", "    40", "<=10"
QString ProtectTemperatureText(int code); // ">=70 °C", "68 °C", "<=10 °C"

// Typed values of the equaliser fields. Parsing accepts an optional sign, digits and one
// decimal point, with surrounding blanks; anything else does not parse.
std::optional<double> ParseDecimal(const QString& text);

struct TypedEntry {
    int index;    // table index after clamp and snap
    QString text; // the field's new text, formatted from the table value
};
std::optional<TypedEntry> EnterFrequency(const QString& text);
std::optional<TypedEntry> EnterEqGain(const QString& text);
std::optional<TypedEntry> EnterQ(const QString& text);

// Pixel conversions of the response graph. All mappings truncate toward zero.
struct GraphGeometry {
    int width = 720;
    int height = 249;

    int leftInset() const;  // Trunc((width - 46) x 0.09)
    int rightInset() const; // Trunc((width - 46) x 0.05)
    int span() const;       // width - 46 - leftInset - rightInset
    int firstColumn() const { return 42; }
    int lastColumn() const { return width - 7; }

    double columnFrequency(int x) const; // frequency of pixel column x
    int frequencyToX(double hz) const;
    int gainToY(double db) const;
    int xToFrequencyIndex(int x) const;
    int yToEqGainIndex(int y) const;
};

// Channel-gain fader: pointer rows 26..205 cover +5.0 .. -20.0 dB.
int LevelToFaderY(double db);
double FaderYToLevel(int y);

// Hex text on the wire.
QString HexWord(int value); // four upper-case digits
// Value of a run of hex digits (either letter case). Text that is not hexadecimal gives 0;
// callers that must know check with IsHexText first.
int HexToInt(QByteArrayView text);
int HexToInt(const QString& text);
bool IsHexText(QByteArrayView text);        // non-empty, even length, hex digits only
QByteArray ToHexText(QByteArrayView bytes); // upper-case, two digits a byte

} // namespace quellaton
