#include "fleet/venue_scan.h"

#include "files/preset_file_format.h"
#include "operations/pacing.h"

#include <QDir>

namespace quellaton {

VenueScan::VenueScan(PortList ports, int firstId, int lastId, QString saveFolder, QObject* parent)
    : QObject(parent), ports_(std::move(ports)), firstId_(firstId), lastId_(lastId),
      saveFolder_(std::move(saveFolder)) {}

VenueScan::~VenueScan() = default;

QString VenueScan::PresetFileName(int line, int id) {
    return QStringLiteral("line%1-id%2.sps").arg(line).arg(id);
}

QString VenueScan::SlotsFileName(int line, int id) {
    return QStringLiteral("line%1-id%2.fps").arg(line).arg(id);
}

void VenueScan::start() {
    search_ = std::make_unique<DeviceSearch>(nullptr, ports_, firstId_ - 1, lastId_ - 1,
                                             pacing::ProbePauseMs, DeviceSearch::Mode::AllAtOnce);
    connect(search_.get(), &DeviceSearch::progress, this, &VenueScan::progress);
    connect(search_.get(), &DeviceSearch::finished, this, &VenueScan::searchDone,
            Qt::QueuedConnection);
    search_->start();
}

void VenueScan::searchDone() {
    for (int i = 0; i < int(ports_.size()); ++i) {
        const LineProbe* probe = search_->probe(i);
        if (!probe->opened()) {
            problems_.append(QStringLiteral("cannot open ") + probe->openFailure());
            continue;
        }
        VenueLine line;
        line.port = probe->port().name;
        for (const ProbeHit& hit : probe->hits()) {
            const int id = hit.address + 1;
            if (id > VenueHighestId) {
                problems_.append(QStringLiteral("%1: a unit answers to ID %2, the broadcast "
                                                "address; give it another ID (set-id)")
                                     .arg(line.port)
                                     .arg(id));
                continue;
            }
            VenueUnit unit;
            unit.id = id;
            line.units.append(unit);
        }
        if (!line.units.isEmpty()) {
            venue_.lines.append(line);
        }
    }
    if (saveFolder_.isEmpty() || venue_.lines.isEmpty()) {
        emit finished();
        return;
    }
    if (!QDir().mkpath(saveFolder_)) {
        problems_.append(QStringLiteral("cannot make the folder %1").arg(saveFolder_));
        emit finished();
        return;
    }
    saveUnits();
}

// Each unit's working set and slots, one unit after another on each line, every line at once.
void VenueScan::saveUnits() {
    const QDir folder(saveFolder_);
    for (int l = 0; l < venue_.lines.size(); ++l) {
        VenueLine& venueLine = venue_.lines[l];
        lines_.push_back(std::make_unique<LineJobs>(venueLine.port));
        LineJobs* line = lines_.back().get();
        for (int u = 0; u < venueLine.units.size(); ++u) {
            const int id = venueLine.units[u].id;
            const QString sps = folder.absoluteFilePath(PresetFileName(l + 1, id));
            const QString fps = folder.absoluteFilePath(SlotsFileName(l + 1, id));
            line->addUnit(id - 1, [this, line, l, u, sps, fps] {
                auto write = [this, line](const QString& path, const QList<QByteArray>& lines) {
                    QString why;
                    if (!WritePresetFile(path, lines, &why)) {
                        line->fail(QStringLiteral("cannot write %1: %2").arg(path, why));
                        return false;
                    }
                    return true;
                };
                line->then([line] { return line->session().saveOnePreset(pacing::ImageTimeoutMs); },
                           [this, write, l, u, sps](Operation& op) {
                               if (write(sps, {static_cast<SaveOnePreset&>(op).imageText()})) {
                                   venue_.lines[l].units[u].presetPath = sps;
                               }
                           });
                line->then([line] { return line->session().saveAllPresets(); },
                           [this, write, l, u, fps](Operation& op) {
                               if (write(fps, static_cast<SaveAllPresets&>(op).lines())) {
                                   venue_.lines[l].units[u].slotsPath = fps;
                               }
                           });
            });
        }
        connect(line, &LineJobs::unitFinished, this, [this, line](int unit) {
            const LineJobs::Outcome& outcome = line->outcome(unit);
            if (outcome.failed) {
                problems_.append(QStringLiteral("%1 ID %2: %3")
                                     .arg(line->port())
                                     .arg(line->address(unit) + 1)
                                     .arg(outcome.failure));
            }
        });
        connect(line, &LineJobs::finished, this, &VenueScan::lineDone);
    }
    linesRunning_ = int(lines_.size());
    for (auto& line : lines_) {
        line->start();
    }
}

void VenueScan::lineDone() {
    if (--linesRunning_ == 0) {
        emit finished();
    }
}

} // namespace quellaton
