#include "editors/channel_editors.h"

#include "common/key_filter.h"
#include "editors/editor_pictures.h"
#include "graph/response_graph.h"

namespace quellaton {

ChannelEditors::ChannelEditors(UnitSession& session, WaySelection& selection, ShellWidgets& shell,
                               ResponseGraph& graph, QMainWindow& window)
    : graph_(graph), widgets_(BuildEditorWidgets(shell, window.centralWidget())) {
    UnitModel& model = session.model();
    strip_ = std::make_unique<ChannelStrip>(model, selection, shell, widgets_, commit_);
    eq_ = std::make_unique<EqEditors>(session, selection, shell, widgets_, commit_, *strip_, graph);
    btl_ = std::make_unique<BtlBypass>(model, widgets_, *strip_, *eq_, graph, &window);
    availability_ = std::make_unique<EditorAvailability>(selection, widgets_, *strip_, *eq_);
    accessibility_ =
        std::make_unique<EditorAccessibility>(model, selection, widgets_, *strip_, *eq_);
    connect(&model, &UnitModel::imageReplaced, this, &ChannelEditors::imageApplied);
    connect(&model, &UnitModel::imageEdited, this, &ChannelEditors::imageEdited);
    connect(&graph, &ResponseGraph::bandEdited, eq_.get(), &EqEditors::showBand);
}

ChannelEditors::~ChannelEditors() {
    // The fields outlive this object (the window deletes them later); their focus and key
    // watchers call back into the editors, so they go first.
    const QList<QWidget*> roots = {widgets_.gainPopup,      widgets_.delayPopup,
                                   widgets_.limiterPopup,   widgets_.eqGroup,
                                   widgets_.crossoverGroup, widgets_.delayGroup};
    for (QWidget* root : roots) {
        for (QLineEdit* field : root->findChildren<QLineEdit*>()) {
            qDeleteAll(field->findChildren<CommitField*>(Qt::FindDirectChildrenOnly));
            qDeleteAll(field->findChildren<KeyFilter*>(Qt::FindDirectChildrenOnly));
        }
    }
}

void ChannelEditors::windowCreated() {
    for (WayRowWidgets& row : widgets_.rows) {
        row.icon->setPixmap(RowIconPicture(false));
        row.line->setPixmap(RowLinePicture());
    }
    btl_->showBtlState();
    widgets_.delayPicture->setPixmap(DelayPopupPicture());
    strip_->reloadOpenPopups();

    for (int row = 0; row < BandsPerSection; ++row) {
        QLabel* label = widgets_.bandLabels[row];
        const QColor colour(ResponseGraph::BandColours[row]);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, colour);
        // Dark legend colours get a white number.
        const int luma = (299 * colour.red() + 587 * colour.green() + 114 * colour.blue()) / 1000;
        palette.setColor(QPalette::WindowText, luma < 128 ? Qt::white : Qt::black);
        label->setPalette(palette);
        label->setAutoFillBackground(true);
    }
    eq_->mainEqClicked();
}

void ChannelEditors::imageApplied() {
    // A drag under way belongs to the values just replaced.
    graph_.pointerReleased();
    btl_->untickAll();
    strip_->showMasterLevel();
    strip_->showSignalButtons();
    btl_->showBtlState();
    graph_.RecomputeAll();
    strip_->reloadOpenPopups();
    eq_->mainEqClicked();
    strip_->mainDelayClicked();
}

void ChannelEditors::imageEdited() {
    strip_->showMasterLevel();
    strip_->showSignalButtons();
    btl_->showBtlState();
    graph_.RecomputeAll();
    strip_->reloadOpenPopups();
    strip_->reloadDelay();
    eq_->reloadSection();
}

} // namespace quellaton
