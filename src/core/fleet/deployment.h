// Bringing a venue's presets onto its units, and checking that they hold them. Every line
// works at once, one unit after another on each line. For each unit the working set is read
// and compared with its preset; a deployment writes only the blocks that differ, through the
// send queue as live edits go (or the whole image when bytes differ that no block carries),
// then reads the working set back to verify it. Where the venue names the unit's 20 preset
// slots, they are read, compared and, on a deployment, restored and read back when they
// differ. A check (verify, or a dry run) reads and compares and writes nothing.
#pragma once

#include "files/image_report.h"
#include "files/venue_file.h"
#include "operations/line_jobs.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace quellaton {

// One unit a deployment covers, with the preset files it should hold, read beforehand.
struct DeployTarget {
    QString port;
    VenueUnit unit;
    QByteArray presetText;       // the working set's image text; empty when none is named
    QList<QByteArray> slotLines; // the 20 slots' image texts; empty when none are named
};

struct DeployTargets {
    QList<DeployTarget> targets;
    QString damagedFile; // the first preset file that cannot be used; nothing is sent then
};

// The units of `venue` that carry at least one of `tags` (every unit when `tags` is empty),
// with their preset files read and checked.
DeployTargets LoadDeployTargets(const Venue& venue, const QStringList& tags);

struct UnitReport {
    enum class Result { Unchanged, Updated, Differs, Failed };

    QString port;
    int id = 0;
    QString label;
    Result result = Result::Unchanged;
    QList<ReportDifference> differences; // preset first, unit second, as found at first
    QList<int> differingSlots;           // preset slots found differing
    int blocksWritten = 0;
    bool wholeImageWritten = false;
    bool slotsRestored = false;
    QString failure;

    // "unchanged", "updated (3 blocks)", "differs (2 parameters)", "failed (why)".
    QString summary() const;
};

class Deployment : public QObject {
    Q_OBJECT
public:
    enum class Mode {
        Deploy, // compare, write what differs, verify
        Check,  // compare only: nothing is written
    };

    Deployment(QList<DeployTarget> targets, Mode mode, QObject* parent = nullptr);
    ~Deployment() override;

    void start();
    bool running() const { return running_ > 0; }
    // One per target, in the order given; complete once finished().
    const QList<UnitReport>& reports() const { return reports_; }
    // The line of each port, for a look at its session.
    LineJobs* line(const QString& port) const;

signals:
    void unitReported(int index);
    void finished();

private:
    void queueUnit(LineJobs& line, int index);
    void compareImage(LineJobs& line, int index, const QByteArray& unitText);
    void verifyImage(LineJobs& line, int index, const QByteArray& unitText);
    void queueSlots(LineJobs& line, int index);
    void compareSlots(LineJobs& line, int index, const QList<QByteArray>& unitLines);
    void unitEnded(LineJobs& line, int unit);

    QList<DeployTarget> targets_;
    Mode mode_;
    QList<UnitReport> reports_;
    std::vector<std::unique_ptr<LineJobs>> lines_;
    std::vector<std::vector<int>> lineTargets_; // per line: the target index of each unit
    int running_ = 0;
};

} // namespace quellaton
