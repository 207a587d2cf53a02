#include "cli/eq_commands.h"

#include "cli/unit_command.h"
#include "files/eq_fit.h"
#include "files/eq_report.h"
#include "files/eq_text.h"
#include "files/preset_document.h"
#include "files/preset_file_format.h"
#include "program_version.h"

#include <QFileInfo>
#include <QJsonObject>

namespace quellaton::cli {

namespace {

const QString ImportStep = QStringLiteral("Import EQ filters");

// The section --way names: high, mid, low or main, in any letter case.
std::optional<int> WayOption(const Invocation& in) {
    const QString way = in.value(QStringLiteral("way")).toLower();
    for (int section = 0; section < SectionCount; ++section) {
        if (way == EqSectionName(section).toLower()) {
            return section;
        }
    }
    return std::nullopt;
}

int UsageError(const Invocation& in, const QString& message) {
    PrintError(QStringLiteral("%1: %2").arg(in.command, message));
    PrintError(QStringLiteral("Try 'quellaton-cli %1 --help'.").arg(in.command));
    return BadUsage;
}

int FileError(const QString& path, const QString& why) {
    PrintError(QStringLiteral("%1: %2").arg(path, why));
    return DamagedFile;
}

void PrintReport(const Invocation& in, const QString& path, const EqFitReport& report) {
    if (in.json) {
        QJsonObject json = EqReportJson(report);
        json.insert("file", path);
        PrintJson(json);
        return;
    }
    Table table(EqReportHeader());
    for (const QStringList& row : EqReportRows(report)) {
        table.add(row);
    }
    const QStringList notes = EqReportNotes(report);
    PrintOut(EqReportTitle(report) + QLatin1Char('\n') + table.text() +
             (notes.isEmpty() ? QString() : notes.join(QLatin1Char('\n')) + QLatin1Char('\n')));
}

// Follows the blocks an applied image queued until the last has left the line. Writes are not
// acknowledged: done means written. The unit falling silent meanwhile ends it as timed out.
class SendEdits : public Operation {
public:
    SendEdits(UnitSession& session, ParameterImage image, QObject* parent)
        : Operation(session.link(), parent), session_(session), image_(std::move(image)) {
        connect(this, &Operation::finished, this, &QObject::deleteLater);
    }

protected:
    void begin() override {
        LiveWriter& writer = session_.writer();
        connect(&writer, &LiveWriter::slotSent, this, [this] {
            if (!session_.writer().sendSlots().anyPending()) {
                finish(Result::Done);
            }
        });
        connect(&writer, &LiveWriter::pollUnanswered, this, [this] { finish(Result::TimedOut); });
        writer.setActive(true);
        writer.start();
        session_.model().applyEdit(image_, ImportStep);
        int pending = 0;
        for (int slot = 1; slot <= BlockSlotCount; ++slot) {
            pending += writer.sendSlots().pending(slot) ? 1 : 0;
        }
        emit progress(0, pending);
        if (pending == 0) {
            after(0, [this] { finish(Result::Done); });
            return;
        }
        // About half a second a block; anything far beyond that is a line that does not move.
        setUpTimeout(timeout_, "sendEditsTimeout", 2000 * (pending + 2));
        timeout_.start();
    }

private:
    UnitSession& session_;
    ParameterImage image_;
    QTimer timeout_;
};

} // namespace

const QList<CommandOption>& ImportEqOptions() {
    static const QList<CommandOption> options = {
        {"way", "W", "The section: high, mid, low or main."},
        {"into", "IN.sps", "The preset file to fit the filters into (with -o OUT.sps)."},
        {"fit", nullptr, "With more than six EQ filters, keep the six with the largest gain."},
    };
    return options;
}

const QList<CommandOption>& ExportEqOptions() {
    static const QList<CommandOption> options = {
        {"way", "W", "The section: high, mid, low or main."},
    };
    return options;
}

int ImportEq(const Invocation& in) {
    const std::optional<int> section = WayOption(in);
    if (!section) {
        return UsageError(in, QStringLiteral("--way must be high, mid, low or main"));
    }
    const QString into = in.value(QStringLiteral("into"));
    const bool toUnit = !in.ports.isEmpty();
    if (toUnit == in.isSet(QStringLiteral("into"))) {
        return UsageError(in, QStringLiteral("give --into IN.sps -o OUT.sps, or --port and --id"));
    }
    if (!toUnit && in.output.isEmpty()) {
        return UsageError(in, QStringLiteral("--into needs -o OUT.sps"));
    }
    if (toUnit && !in.output.isEmpty()) {
        return UsageError(in, QStringLiteral("-o goes with --into"));
    }
    const bool fit = in.isSet(QStringLiteral("fit"));

    // Everything that can be wrong with the files is found before anything is written or sent.
    const QString path = in.args.value(0);
    const EqText text = ReadEqTextFile(path);
    if (!text.error.isEmpty()) {
        return FileError(path, text.error);
    }
    const EqFitReport trial = FitEqText(text, ParameterImage{}, *section, fit);
    if (!trial.refusal.isEmpty()) {
        return FileError(path, trial.refusal +
                                   QStringLiteral(" (--fit keeps the six with the largest gain)"));
    }

    if (!toUnit) {
        const std::optional<OpenedPreset> opened = OpenSinglePreset(into);
        if (!opened) {
            return FileError(into, QString::fromLatin1("File damaged."));
        }
        const EqFitReport report = FitEqText(text, opened->image, *section, fit);
        QString why;
        if (!WritePresetContent(in.output, SinglePresetContent(report.image, &*opened, 0), &why)) {
            PrintError(QStringLiteral("cannot write %1: %2").arg(in.output, why));
            return LineFailed;
        }
        PrintReport(in, path, report);
        return Done;
    }

    UnitCommand command(in.ports.value(0), in.id - 1);
    UnitSession& session = command.session();
    EqFitReport report;
    command.then([&] { return session.saveOnePreset(pacing::ImageTimeoutMs); },
                 [&](Operation& op) {
                     session.model().replaceImage(
                         DecodeImageText(static_cast<SaveOnePreset&>(op).imageText()));
                     report = FitEqText(text, session.model().image(), *section, fit);
                 });
    command.then([&] { return new SendEdits(session, report.image, &session); }, {}, "send");
    const int result = command.run();
    if (result == Done) {
        PrintReport(in, path, report);
    }
    return result;
}

int ExportEq(const Invocation& in) {
    const std::optional<int> section = WayOption(in);
    if (!section) {
        return UsageError(in, QStringLiteral("--way must be high, mid, low or main"));
    }
    const bool fromUnit = !in.ports.isEmpty();
    if (fromUnit == !in.args.isEmpty()) {
        return UsageError(in, QStringLiteral("give FILE.sps, or --port and --id"));
    }
    EqTextExport what;
    what.section = *section;
    what.program = QStringLiteral("quellaton-cli %1").arg(QLatin1String(ProgramVersion));
    QByteArray imageText;
    if (fromUnit) {
        UnitCommand command(in.ports.value(0), in.id - 1);
        command.then(
            [&] { return command.session().saveOnePreset(pacing::ImageTimeoutMs); },
            [&](Operation& op) { imageText = static_cast<SaveOnePreset&>(op).imageText(); });
        const int result = command.run();
        if (result != Done) {
            return result;
        }
        what.source = QStringLiteral("unit ID %1 on %2").arg(in.id).arg(in.ports.value(0));
    } else {
        const QString path = in.args.value(0);
        const SinglePresetText loaded = LoadSinglePresetFile(path);
        if (loaded.status != PresetFileStatus::Ok) {
            return FileError(path, QString::fromLatin1("File damaged."));
        }
        imageText = loaded.text;
        what.source = QFileInfo(path).fileName();
    }
    const QByteArray content = EqTextContent(DecodeImageText(imageText), what);
    if (in.output.isEmpty()) {
        PrintOut(QString::fromUtf8(content));
        return Done;
    }
    QString why;
    if (!WritePresetContent(in.output, content, &why)) {
        PrintError(QStringLiteral("cannot write %1: %2").arg(in.output, why));
        return LineFailed;
    }
    return Done;
}

} // namespace quellaton::cli
