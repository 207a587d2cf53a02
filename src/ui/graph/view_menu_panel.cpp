#include "graph/view_menu_panel.h"

#include "common/messages.h"
#include "common/way_selection.h"
#include "files/measurement_file.h"
#include "graph/response_graph.h"
#include "graph/system_plot.h"

#include <QActionGroup>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenuBar>

namespace quellaton {

ViewMenuPanel::ViewMenuPanel(ResponseGraph& graph, WaySelection& selection, ShellWidgets& widgets,
                             FileChooser& chooser, QMainWindow* window)
    : QObject(window), graph_(graph), selection_(selection), chooser_(chooser), window_(window) {
    menu_ = new QMenu(QStringLiteral("View"), window);
    menu_->setObjectName(QStringLiteral("viewMenu"));
    window->menuBar()->insertMenu(widgets.helpMenu->menuAction(), menu_);

    auto* views = new QActionGroup(this);
    sectionView_ = menu_->addAction(QStringLiteral("Section response"));
    sectionView_->setObjectName(QStringLiteral("sectionViewAction"));
    systemView_ = menu_->addAction(QStringLiteral("System response"));
    systemView_->setObjectName(QStringLiteral("systemViewAction"));
    for (QAction* action : {sectionView_, systemView_}) {
        action->setCheckable(true);
        views->addAction(action);
    }
    phase_ = menu_->addAction(QStringLiteral("Show phase"));
    phase_->setObjectName(QStringLiteral("phaseAction"));
    phase_->setCheckable(true);
    menu_->addSeparator();
    measurement_ = menu_->addAction(QStringLiteral("Load measurement for this section…"));
    measurement_->setObjectName(QStringLiteral("measurementAction"));
    target_ = menu_->addAction(QStringLiteral("Load target curve…"));
    target_->setObjectName(QStringLiteral("targetAction"));
    menu_->addSeparator();
    clear_ = menu_->addAction(QStringLiteral("Clear overlays"));
    clear_->setObjectName(QStringLiteral("clearOverlaysAction"));
    widgets.viewMenu = menu_;

    connect(sectionView_, &QAction::triggered, this,
            [this] { graph_.setView(GraphView::Section); });
    connect(systemView_, &QAction::triggered, this, [this] { graph_.setView(GraphView::System); });
    connect(phase_, &QAction::toggled, this, [this](bool on) { graph_.setPhaseShown(on); });
    connect(measurement_, &QAction::triggered, this, [this] {
        const QString path = chooser_.open(window_, MeasurementFile());
        if (!path.isEmpty()) {
            loadMeasurement(path);
        }
    });
    connect(target_, &QAction::triggered, this, [this] {
        const QString path = chooser_.open(window_, TargetFile());
        if (!path.isEmpty()) {
            loadTarget(path);
        }
    });
    connect(clear_, &QAction::triggered, this, [this] {
        graph_.systemPlot().clearOverlays();
        graph_.overlaysChanged();
    });
    connect(&graph_, &ResponseGraph::viewChanged, this, &ViewMenuPanel::showState);
    connect(&selection_, &WaySelection::changed, this, &ViewMenuPanel::showState);
    connect(menu_, &QMenu::aboutToShow, this, &ViewMenuPanel::showState);
    showState();
}

const PresetFileKind& ViewMenuPanel::MeasurementFile() {
    static const PresetFileKind kind{
        QStringLiteral("Measurements (*.txt *.frd *.csv);;All files (*)"), QString(), QString()};
    return kind;
}

const PresetFileKind& ViewMenuPanel::TargetFile() {
    static const PresetFileKind kind{QStringLiteral("Target curves (*.txt *.csv);;All files (*)"),
                                     QString(), QString()};
    return kind;
}

bool ViewMenuPanel::loadMeasurement(const QString& path) {
    const int way = selection_.way();
    if (way < 0 || way >= SystemWayCount) {
        return false;
    }
    const QString name = QFileInfo(path).fileName();
    CurveFile file = LoadMeasurementFile(path);
    if (!file.curve) {
        ShowMessage(
            window_,
            QStringLiteral("The measurement %1 cannot be loaded:\r%2").arg(name, file.error));
        return false;
    }
    graph_.systemPlot().setMeasurement(way, std::move(*file.curve), name);
    // Measurements show in the system view.
    graph_.setView(GraphView::System);
    graph_.overlaysChanged();
    return true;
}

bool ViewMenuPanel::loadTarget(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    CurveFile file = LoadTargetFile(path);
    if (!file.curve) {
        ShowMessage(
            window_,
            QStringLiteral("The target curve %1 cannot be loaded:\r%2").arg(name, file.error));
        return false;
    }
    graph_.systemPlot().setTarget(std::move(*file.curve), name);
    graph_.setView(GraphView::System);
    graph_.overlaysChanged();
    return true;
}

void ViewMenuPanel::showState() {
    sectionView_->setChecked(graph_.view() == GraphView::Section);
    systemView_->setChecked(graph_.view() == GraphView::System);
    phase_->setChecked(graph_.phaseShown());
    const int way = selection_.way();
    const bool waySelected = way >= 0 && way < SystemWayCount;
    measurement_->setEnabled(waySelected);
    measurement_->setStatusTip(
        waySelected ? QStringLiteral("A measured driver for %1").arg(SectionName(way))
                    : QStringLiteral("Select High, Mid or Low to load its "
                                     "measurement"));
    clear_->setEnabled(graph_.systemPlot().hasOverlays());
}

} // namespace quellaton
