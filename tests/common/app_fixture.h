// The real main window against simulated units: opens the window with the simulator's link
// as its only port and connects to a unit.
#pragma once

#include "gui_helpers.h"
#include "sim_process.h"
#include "window/main_window.h"

#include <functional>
#include <memory>

class AppFixture {
public:
    explicit AppFixture(QString ids = QStringLiteral("1"), QStringList simArgs = {})
        : sim(std::move(ids), std::move(simArgs)) {}

    ~AppFixture() { close(); }

    // Starts the simulator and opens the window. The start-up search runs before the link
    // exists (so it ends at once), then the port list is filled with the link.
    bool open() {
        quellaton::AppOptions options;
        options.extraPorts = {sim.link()};
        options.listSystemPorts = false;
        window = std::make_unique<quellaton::MainWindow>(options);
        window->show();
        if (!WaitUntil([&] { return window->widgets().connectionGroup->isVisible(); }, 10000)) {
            return false;
        }
        if (!sim.start()) {
            return false;
        }
        window->connection().FillPorts();
        return window->widgets().portList->currentText() == sim.link();
    }

    // Selects device ID `id` and connects; true once the unit's names have arrived.
    bool connectTo(int id = 1, int timeoutMs = 5000) {
        auto& w = window->widgets();
        w.deviceIdList->setCurrentIndex(id - 1);
        if (!WaitUntil([&] { return w.connectButton->isEnabled(); }, 3000)) {
            return false;
        }
        w.connectButton->click();
        return WaitUntil(
            [&] {
                return window->connection().state() == quellaton::UnitConnection::State::Connected;
            },
            timeoutMs);
    }

    void close() {
        if (window) {
            window->close();
            window.reset();
        }
        sim.stop();
    }

    quellaton::UnitSession& session() { return window->session(); }
    quellaton::UnitModel& model() { return window->session().model(); }
    quellaton::WaySelection& selection() { return window->selection(); }
    quellaton::ShellWidgets& widgets() { return window->widgets(); }

    // Puts values into the program's image as if a whole parameter set had arrived: the views
    // show it, and nothing is sent.
    void arrangeImage(const std::function<void(quellaton::ParameterImage&)>& change) {
        quellaton::ParameterImage image = model().image();
        change(image);
        model().replaceImage(image);
    }

    SimProcess sim;
    ModalAnswerer answerer;
    std::unique_ptr<quellaton::MainWindow> window;
};
