#include "fleet/deployment.h"

#include "files/preset_file_format.h"
#include "fleet/image_comparison.h"
#include "operations/pacing.h"

namespace quellaton {

DeployTargets LoadDeployTargets(const Venue& venue, const QStringList& tags) {
    DeployTargets result;
    for (const VenueLine& line : venue.lines) {
        for (const VenueUnit& unit : line.units) {
            const bool chosen =
                tags.isEmpty() || std::any_of(tags.begin(), tags.end(),
                                              [&](const QString& t) { return unit.hasTag(t); });
            if (!chosen) {
                continue;
            }
            DeployTarget target{line.port, unit, {}, {}};
            if (!unit.presetPath.isEmpty()) {
                const SinglePresetText preset = LoadSinglePresetFile(unit.presetPath);
                if (preset.status != PresetFileStatus::Ok) {
                    result.damagedFile = unit.presetPath;
                    return result;
                }
                target.presetText = preset.text;
            }
            if (!unit.slotsPath.isEmpty()) {
                const AllPresetsText all = LoadAllPresetsFile(unit.slotsPath);
                if (all.status != PresetFileStatus::Ok) {
                    result.damagedFile = unit.slotsPath;
                    return result;
                }
                target.slotLines = all.lines;
            }
            result.targets.append(target);
        }
    }
    return result;
}

QString UnitReport::summary() const {
    switch (result) {
    case Result::Unchanged:
        return QStringLiteral("unchanged");
    case Result::Differs: {
        QStringList parts;
        if (!differences.isEmpty()) {
            parts.append(QStringLiteral("%1 parameters").arg(differences.size()));
        } else if (differingSlots.isEmpty()) {
            parts.append(QStringLiteral("bytes no parameter shows"));
        }
        if (!differingSlots.isEmpty()) {
            parts.append(QStringLiteral("%1 preset slots").arg(differingSlots.size()));
        }
        return QStringLiteral("differs (%1)").arg(parts.join(QStringLiteral(", ")));
    }
    case Result::Updated: {
        QStringList parts;
        if (wholeImageWritten) {
            parts.append(QStringLiteral("whole image"));
        } else if (blocksWritten > 0) {
            parts.append(blocksWritten == 1 ? QStringLiteral("1 block")
                                            : QStringLiteral("%1 blocks").arg(blocksWritten));
        }
        if (slotsRestored) {
            parts.append(QStringLiteral("preset slots"));
        }
        return QStringLiteral("updated (%1)").arg(parts.join(QStringLiteral(", ")));
    }
    case Result::Failed:
        return QStringLiteral("failed (%1)").arg(failure);
    }
    return {};
}

Deployment::Deployment(QList<DeployTarget> targets, Mode mode, QObject* parent)
    : QObject(parent), targets_(std::move(targets)), mode_(mode) {
    for (int i = 0; i < targets_.size(); ++i) {
        const DeployTarget& t = targets_[i];
        UnitReport report;
        report.port = t.port;
        report.id = t.unit.id;
        report.label = t.unit.label;
        reports_.append(report);
        LineJobs* line = this->line(t.port);
        if (!line) {
            lines_.push_back(std::make_unique<LineJobs>(t.port));
            lineTargets_.emplace_back();
            line = lines_.back().get();
            connect(line, &LineJobs::unitFinished, this,
                    [this, line](int unit) { unitEnded(*line, unit); });
            connect(line, &LineJobs::finished, this, [this] {
                if (--running_ == 0) {
                    emit finished();
                }
            });
        }
        const std::size_t lineIndex = std::size_t(
            std::find_if(lines_.begin(), lines_.end(), [&](auto& l) { return l.get() == line; }) -
            lines_.begin());
        lineTargets_[lineIndex].push_back(i);
        line->addUnit(t.unit.id - 1, [this, line, i] { queueUnit(*line, i); });
    }
}

Deployment::~Deployment() = default;

LineJobs* Deployment::line(const QString& port) const {
    for (const auto& line : lines_) {
        if (line->port() == port) {
            return line.get();
        }
    }
    return nullptr;
}

void Deployment::start() {
    running_ = int(lines_.size());
    if (running_ == 0) {
        QMetaObject::invokeMethod(this, &Deployment::finished, Qt::QueuedConnection);
        return;
    }
    for (auto& line : lines_) {
        line->start();
    }
}

// The unit's work: its working set first (where the venue names a preset), then its slots.
void Deployment::queueUnit(LineJobs& line, int index) {
    const DeployTarget& target = targets_[index];
    if (target.presetText.isEmpty()) {
        queueSlots(line, index);
        if (target.slotLines.isEmpty()) {
            // Nothing to compare: the unit is only asked whether it is there.
            line.then([&line] { return line.session().readStatus(pacing::PollWatchdogMs); });
        }
        return;
    }
    line.then([&line] { return line.session().saveOnePreset(pacing::ImageTimeoutMs); },
              [this, &line, index](Operation& op) {
                  compareImage(line, index, static_cast<SaveOnePreset&>(op).imageText());
              });
}

void Deployment::compareImage(LineJobs& line, int index, const QByteArray& unitText) {
    const DeployTarget& target = targets_[index];
    UnitReport& report = reports_[index];
    const ImageComparison comparison = CompareImages(target.presetText, unitText);
    report.differences = comparison.rows;
    if (comparison.equal()) {
        queueSlots(line, index);
        return;
    }
    if (mode_ == Mode::Check) {
        report.result = UnitReport::Result::Differs;
        queueSlots(line, index);
        return;
    }
    UnitSession& session = line.session();
    if (comparison.outsideBlocks) {
        // Bytes no block carries can only go over with the whole image.
        report.wholeImageWritten = true;
        line.then([&session, text = target.presetText] { return session.loadOnePreset(text); });
    } else {
        const QList<QueuedBlockWrites::Block> writes =
            BlockWritesFor(target.presetText, comparison.blockSlots, session.link().addressByte());
        report.blocksWritten = int(writes.size());
        line.then([&session, writes] { return session.writeBlocks(writes); });
    }
    line.then([&session] { return session.saveOnePreset(pacing::ImageTimeoutMs); },
              [this, &line, index](Operation& op) {
                  verifyImage(line, index, static_cast<SaveOnePreset&>(op).imageText());
              });
}

void Deployment::verifyImage(LineJobs& line, int index, const QByteArray& unitText) {
    const ImageComparison comparison = CompareImages(targets_[index].presetText, unitText);
    if (!comparison.equal()) {
        line.fail(QStringLiteral("verification: the unit differs from %1 after writing (%2 "
                                 "parameters)")
                      .arg(targets_[index].unit.presetPath)
                      .arg(comparison.rows.size()));
        return;
    }
    reports_[index].result = UnitReport::Result::Updated;
    queueSlots(line, index);
}

void Deployment::queueSlots(LineJobs& line, int index) {
    if (targets_[index].slotLines.isEmpty()) {
        return;
    }
    line.then([&line] { return line.session().saveAllPresets(); },
              [this, &line, index](Operation& op) {
                  compareSlots(line, index, static_cast<SaveAllPresets&>(op).lines());
              });
}

void Deployment::compareSlots(LineJobs& line, int index, const QList<QByteArray>& unitLines) {
    const DeployTarget& target = targets_[index];
    UnitReport& report = reports_[index];
    const QList<int> differing = DifferingSlots(target.slotLines, unitLines);
    if (report.slotsRestored) {
        // The read after the restore.
        if (!differing.isEmpty()) {
            line.fail(QStringLiteral("verification: %1 preset slots differ from %2 after "
                                     "restoring them")
                          .arg(differing.size())
                          .arg(target.unit.slotsPath));
            return;
        }
        report.result = UnitReport::Result::Updated;
        return;
    }
    report.differingSlots = differing;
    if (differing.isEmpty()) {
        return;
    }
    if (mode_ == Mode::Check) {
        report.result = UnitReport::Result::Differs;
        return;
    }
    report.slotsRestored = true;
    UnitSession& session = line.session();
    line.then([&session, lines = target.slotLines] {
        return session.loadAllPresets(lines, pacing::NamesTimeoutMs);
    });
    line.then([&session] { return session.saveAllPresets(); },
              [this, &line, index](Operation& op) {
                  compareSlots(line, index, static_cast<SaveAllPresets&>(op).lines());
              });
}

void Deployment::unitEnded(LineJobs& line, int unit) {
    const std::size_t lineIndex = std::size_t(
        std::find_if(lines_.begin(), lines_.end(), [&](auto& l) { return l.get() == &line; }) -
        lines_.begin());
    const int index = lineTargets_[lineIndex][std::size_t(unit)];
    const LineJobs::Outcome& outcome = line.outcome(unit);
    if (outcome.failed) {
        reports_[index].result = UnitReport::Result::Failed;
        reports_[index].failure = outcome.failure;
    }
    emit unitReported(index);
}

} // namespace quellaton
