#include "transfers/line_scan.h"

#include "link/blocking_serial_driver.h"
#include "protocol/receive_parser.h"
#include "transfers/line_steps.h"
#include "transfers/pacing.h"

#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace quellaton {

namespace {

void ScanOneLine(LineScan& scan, int firstAddress, int lastAddress, std::atomic<int>& probed) {
    BlockingSerialDriver driver;
    driver.PortLocation = scan.port.location;
    ParserFlags flags;
    flags.searchActive = true;
    int probeAddress = -1;
    driver.parser = [&] {
        const ParseResult r = ParseReceiveText(driver.ReceiveText, flags);
        if (r.status && r.statusSearchHit && probeAddress >= 0) {
            const int id = probeAddress + 1;
            const bool known = std::any_of(scan.hits.begin(), scan.hits.end(),
                                           [id](const ScanHit& h) { return h.id == id; });
            if (!known) {
                scan.hits.append(
                    {id, r.status->temperatureLabel.trimmed(), r.status->attenuationLabel});
            }
        }
    };
    driver.OpenPort();
    if (!driver.PortOpen()) {
        scan.openFailure = driver.openFailureReason();
        probed += lastAddress - firstAddress + 1;
        return;
    }
    scan.opened = true;
    driver.StartWatcher();
    ProbeAddresses(driver, probeAddress, firstAddress, lastAddress, pacing::ProbePauseMs, {},
                   [&](int) { ++probed; });
    driver.ClosePort();
    driver.parser = nullptr;
    std::sort(scan.hits.begin(), scan.hits.end(),
              [](const ScanHit& a, const ScanHit& b) { return a.id < b.id; });
}

} // namespace

QList<LineScan> ScanLines(const PortList& ports, int firstId, int lastId,
                          const std::function<void(int done, int total)>& progress) {
    QList<LineScan> scans;
    for (const PortEntry& port : ports) {
        scans.append(LineScan{port, false, {}, {}});
    }
    const int perLine = lastId - firstId + 1;
    const int total = perLine * int(scans.size());
    std::atomic<int> probed{0};
    std::vector<std::unique_ptr<QThread>> threads;
    for (LineScan& scan : scans) {
        threads.emplace_back(QThread::create([&scan, firstId, lastId, &probed] {
            ScanOneLine(scan, firstId - 1, lastId - 1, probed);
        }));
        threads.back()->start();
    }
    for (auto& thread : threads) {
        while (!thread->wait(QDeadlineTimer(100))) {
            if (progress) {
                progress(probed.load(), total);
            }
        }
    }
    if (progress) {
        progress(total, total);
    }
    return scans;
}

} // namespace quellaton
