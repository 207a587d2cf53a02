#include "editors/btl_bypass.h"

#include "editors/editor_pictures.h"
#include "graph/response_graph.h"

#include <QMessageBox>

namespace quellaton {

BtlBypass::BtlBypass(UnitModel& model, EditorWidgets& widgets, ChannelStrip& strip, EqEditors& eq,
                     ResponseGraph& graph, QWidget* window, QObject* parent)
    : QObject(parent), model_(model), e_(widgets), strip_(strip), eq_(eq), graph_(graph),
      window_(window) {
    connect(e_.btlButton, &QPushButton::clicked, this, &BtlBypass::btlClicked);
    for (int row = 0; row < BandsPerSection; ++row) {
        connect(e_.bypassBoxes[row], &QCheckBox::toggled, this,
                [this, row] { bypassClicked(row); });
    }
}

void BtlBypass::btlClicked() {
    const bool on = model_.image().btlMode != 0;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Notice"),
                    on ? QStringLiteral("Cancel the BTL model?")
                       : QStringLiteral("Switch to BTL mode?"),
                    QMessageBox::Yes | QMessageBox::No, window_);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes) {
        return;
    }
    strip_.closePanel();
    model_.toggleBtlMode();
    showBtlState();
}

void BtlBypass::showBtlState() {
    const bool on = model_.image().btlMode != 0;
    const WayRowWidgets& mid = e_.rows[Mid];
    for (QWidget* control : {static_cast<QWidget*>(mid.mute), static_cast<QWidget*>(mid.gain),
                             static_cast<QWidget*>(mid.eq), static_cast<QWidget*>(mid.limiter),
                             static_cast<QWidget*>(mid.delay), static_cast<QWidget*>(mid.polarity),
                             static_cast<QWidget*>(mid.line)}) {
        control->setVisible(!on);
    }
    mid.icon->setPixmap(RowIconPicture(on));
    SetButtonColour(e_.btlButton, on ? BtlButtonColour : NormalButtonColour);
}

void BtlBypass::bypassClicked(int row) {
    if (suppress) {
        return;
    }
    model_.setRowBypassed(row, e_.bypassBoxes[row]->isChecked());
    // The section the table shows and edits; with none, only the tick is kept. (The
    // selected way may be another one, whose handles are not drawn.)
    const int way = eq_.liveWay();
    if (way < 0 || way >= SectionCount) {
        return;
    }
    const int bandIndex = BandIndex(way, row);
    graph_.setCurrentBand(bandIndex);
    graph_.RedrawBand(model_.band(bandIndex).type);
    // The band goes out again: a Main band at 0 dB while its row is ticked.
    model_.touch(EqBandSlot(bandIndex));
}

void BtlBypass::untickAll() {
    suppress = true;
    for (int row = 0; row < BandsPerSection; ++row) {
        e_.bypassBoxes[row]->setChecked(false);
    }
    suppress = false;
}

} // namespace quellaton
