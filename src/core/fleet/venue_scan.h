// Finding the units of a venue: every port is probed at once for the device IDs asked for, and
// what answers becomes a venue, one line per port that has units. Asked to, it also reads each
// unit's working set and its 20 preset slots into a folder, one after another on each line and
// every line at once, and points the venue at those files.
#pragma once

#include "files/venue_file.h"
#include "link/port_list.h"
#include "operations/device_search.h"
#include "operations/line_jobs.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

namespace quellaton {

class VenueScan : public QObject {
    Q_OBJECT
public:
    // `saveFolder` empty: only find the units.
    VenueScan(PortList ports, int firstId, int lastId, QString saveFolder,
              QObject* parent = nullptr);
    ~VenueScan() override;

    void start();
    const Venue& venue() const { return venue_; }
    // What went wrong on the way, one line each: ports that could not be opened, units whose
    // presets could not be read or written. The venue holds everything else.
    const QStringList& problems() const { return problems_; }

    // The file names of a unit's presets in the save folder.
    static QString PresetFileName(int line, int id);
    static QString SlotsFileName(int line, int id);

signals:
    void progress(int done, int total);
    void finished();

private:
    void searchDone();
    void saveUnits();
    void lineDone();

    PortList ports_;
    int firstId_;
    int lastId_;
    QString saveFolder_;
    std::unique_ptr<DeviceSearch> search_;
    std::vector<std::unique_ptr<LineJobs>> lines_;
    int linesRunning_ = 0;
    Venue venue_;
    QStringList problems_;
};

} // namespace quellaton
