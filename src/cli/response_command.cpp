#include "cli/response_command.h"

#include "cli/unit_command.h"
#include "dsp/system_response.h"
#include "files/measurement_file.h"
#include "files/preset_file_format.h"
#include "model/system_settings.h"
#include "operations/pacing.h"
#include "operations/preset_transfers.h"
#include "protocol/parameter_image.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>
#include <optional>

namespace quellaton::cli {

namespace {

// The highest frequency asked for: the model runs at 96 kHz, so half of that.
constexpr double HighestFrequency = 48000.0;
constexpr int MaxPointsPerOctave = 1000;

const QStringList SectionNames = {QStringLiteral("high"), QStringLiteral("mid"),
                                  QStringLiteral("low"), QStringLiteral("main"),
                                  QStringLiteral("sum")};
constexpr int SumSection = 4;

int UsageError(const QString& message) {
    PrintError(QStringLiteral("response: ") + message);
    PrintError(QStringLiteral("Try 'quellaton-cli response --help'."));
    return BadUsage;
}

std::optional<double> PositiveNumber(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0.0) {
        return std::nullopt;
    }
    return value;
}

// The parameter image: from the file, or read from the unit as "Save this preset to PC" does.
int LoadImage(const Invocation& in, ParameterImage& image) {
    QByteArray text;
    if (!in.args.isEmpty()) {
        const QString path = in.args.value(0);
        const SinglePresetText loaded = LoadSinglePresetFile(path);
        if (loaded.status != PresetFileStatus::Ok) {
            PrintError(QStringLiteral("File damaged.: ") + path);
            return DamagedFile;
        }
        text = loaded.text;
    } else {
        UnitCommand command(in.ports.value(0), in.id - 1);
        command.then([&] { return command.session().saveOnePreset(pacing::ImageTimeoutMs); },
                     [&](Operation& op) { text = static_cast<SaveOnePreset&>(op).imageText(); });
        const int result = command.run();
        if (result != Done) {
            return result;
        }
    }
    image = DecodeImageText(text);
    return Done;
}

QString Fixed(double value, int decimals) {
    if (std::isnan(value)) {
        return QStringLiteral("-");
    }
    if (std::isinf(value)) {
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    }
    return QString::number(value, 'f', decimals);
}

} // namespace

QList<CommandOption> ResponseOptions() {
    return {
        {"section", "S", "high, mid, low, main, or sum: the whole system (default)."},
        {"measurement", "WAY=FILE",
         "A measured driver for a way, as WAY=FILE (WAY high, mid or low; a REW text export or "
         "an FRD file); may be repeated."},
        {"from", "HZ", "Lowest frequency in Hz (default 20)."},
        {"to", "HZ", "Highest frequency in Hz (default 20000, at most 48000)."},
        {"points-per-octave", "N", "Points per octave (default 24): FROM x 2^(k/N)."},
        {"csv", nullptr, "Print comma-separated values."},
    };
}

int Response(const Invocation& in) {
    const bool fromFile = !in.args.isEmpty();
    const bool fromUnit = !in.ports.isEmpty();
    if (fromFile == fromUnit) {
        return UsageError(QStringLiteral("give a FILE.sps, or --port and --id of a unit"));
    }
    const bool csv = in.options.contains(QStringLiteral("csv"));
    if (csv && in.json) {
        return UsageError(QStringLiteral("--csv and --json do not go together"));
    }

    const QString sectionName =
        in.options.value(QStringLiteral("section"), {QStringLiteral("sum")}).constLast();
    const int section = int(SectionNames.indexOf(sectionName.toLower()));
    if (section < 0) {
        return UsageError(QStringLiteral("--section must be high, mid, low, main or sum"));
    }

    double from = 20.0;
    double to = 20000.0;
    int perOctave = 24;
    if (in.options.contains(QStringLiteral("from"))) {
        const auto value = PositiveNumber(in.options.value(QStringLiteral("from")).constLast());
        if (!value) {
            return UsageError(QStringLiteral("--from must be a frequency above 0 Hz"));
        }
        from = *value;
    }
    if (in.options.contains(QStringLiteral("to"))) {
        const auto value = PositiveNumber(in.options.value(QStringLiteral("to")).constLast());
        if (!value) {
            return UsageError(QStringLiteral("--to must be a frequency above 0 Hz"));
        }
        to = *value;
    }
    if (to > HighestFrequency || from > to) {
        return UsageError(QStringLiteral("the frequencies must rise from --from to --to, at "
                                         "most 48000 Hz"));
    }
    if (in.options.contains(QStringLiteral("points-per-octave"))) {
        bool ok = false;
        perOctave = in.options.value(QStringLiteral("points-per-octave")).constLast().toInt(&ok);
        if (!ok || perOctave < 1 || perOctave > MaxPointsPerOctave) {
            return UsageError(QStringLiteral("--points-per-octave must be 1..1000"));
        }
    }
    std::vector<double> frequencies = OctaveFrequencies(from, to, perOctave);
    if (frequencies.empty()) {
        return UsageError(QStringLiteral("too many points"));
    }

    // Measurements, one per way at most.
    std::array<std::optional<MeasuredCurve>, SystemWayCount> measured;
    for (const QString& given : in.options.value(QStringLiteral("measurement"))) {
        const qsizetype equals = given.indexOf(QLatin1Char('='));
        const int way = equals > 0 ? int(SectionNames.indexOf(given.left(equals).toLower())) : -1;
        if (way < 0 || way >= SystemWayCount) {
            return UsageError(QStringLiteral("--measurement takes WAY=FILE, WAY high, mid or low"));
        }
        if (measured[std::size_t(way)]) {
            return UsageError(
                QStringLiteral("more than one measurement for %1").arg(SectionNames[way]));
        }
        const QString path = given.mid(equals + 1);
        CurveFile file = LoadMeasurementFile(path);
        if (!file.curve) {
            PrintError(QStringLiteral("%1: %2").arg(path, file.error));
            return DamagedFile;
        }
        measured[std::size_t(way)] = std::move(file.curve);
    }

    ParameterImage image;
    const int loaded = LoadImage(in, image);
    if (loaded != Done) {
        return loaded;
    }

    std::vector<MeasuredCurve*> curves;
    for (auto& curve : measured) {
        curves.push_back(curve ? &*curve : nullptr);
    }
    const bool anyMeasurement =
        std::any_of(curves.begin(), curves.end(), [](const MeasuredCurve* c) { return c; });
    const double reference = NormaliseMeasurements(curves);

    SystemResponse response(std::move(frequencies));
    for (int way = 0; way < SystemWayCount; ++way) {
        response.setMeasurement(way, curves[std::size_t(way)]);
    }
    response.update(SystemSettingsOf(image));

    // What to print: a way alone (with its measurement), Main alone, or the system.
    const std::vector<double>& f = response.frequencies();
    std::vector<Complex> values(f.size());
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (section == SumSection) {
            values[i] = response.system()[i];
        } else if (section < SystemWayCount && response.hasMeasurement(section)) {
            values[i] = response.section(section)[i] * response.measurement(section)[i];
        } else {
            values[i] = response.section(section)[i];
        }
    }

    const bool whole = section == SumSection || section == SystemMainSection;
    if (!in.json) {
        if (whole) {
            PrintError(QStringLiteral("note: the bass enhancer and the limiter are not "
                                      "modelled"));
        }
        if (anyMeasurement) {
            PrintError(QStringLiteral("note: measured levels are taken relative to %1 dB, the "
                                      "pass-band level of the loudest measurement")
                           .arg(reference, 0, 'f', 1));
        }
    }

    if (in.json) {
        QJsonObject document{{"source", fromFile ? in.args.value(0) : in.ports.value(0)},
                             {"section", SectionNames[section]},
                             {"points", ResponsePointsJson(f, values)}};
        if (fromUnit) {
            document.insert("id", in.id);
        }
        if (whole) {
            document.insert("notModelled", QJsonArray{"bass enhancer", "limiter"});
        }
        if (anyMeasurement) {
            document.insert("measurementReferenceDb", reference);
        }
        PrintJson(document);
        return Done;
    }
    if (csv) {
        QString text = QStringLiteral("frequency_hz,level_db,phase_deg\n");
        for (std::size_t i = 0; i < f.size(); ++i) {
            const double level = LevelDb(values[i]);
            const double phase = PhaseDeg(values[i]);
            text += QStringLiteral("%1,%2,%3\n")
                        .arg(Fixed(f[i], 3), std::isnan(level) ? QString() : Fixed(level, 3),
                             std::isnan(phase) ? QString() : Fixed(phase, 2));
        }
        PrintOut(text);
        return Done;
    }
    Table table(
        {QStringLiteral("FREQUENCY_HZ"), QStringLiteral("LEVEL_DB"), QStringLiteral("PHASE_DEG")});
    for (std::size_t i = 0; i < f.size(); ++i) {
        table.add({Fixed(f[i], 3), Fixed(LevelDb(values[i]), 3), Fixed(PhaseDeg(values[i]), 2)});
    }
    PrintOut(table.text());
    return Done;
}

} // namespace quellaton::cli
