#include "common/port_combo.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QHelpEvent>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

namespace quellaton {

PortCombo::PortCombo(QComboBox* combo) : QObject(combo), combo_(combo) {
    QAbstractItemModel* model = combo->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, &PortCombo::fitNames);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &PortCombo::fitNames);
    connect(model, &QAbstractItemModel::modelReset, this, &PortCombo::fitNames);
    combo->installEventFilter(this);
    fitNames();
}

void PortCombo::fitNames() {
    const QFontMetrics metrics(combo_->view()->font());
    int widest = 0;
    for (int i = 0; i < combo_->count(); ++i) {
        const QString name = combo_->itemText(i);
        if (combo_->itemData(i, Qt::ToolTipRole).toString() != name) {
            combo_->setItemData(i, name, Qt::ToolTipRole);
        }
        widest = std::max(widest, metrics.horizontalAdvance(name));
    }
    // Room for the item's margins and a scroll bar beside a long list.
    const int margins = 4 * combo_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 16;
    const int scrollBar = combo_->view()->verticalScrollBar()->sizeHint().width();
    combo_->view()->setMinimumWidth(std::max(combo_->width(), widest + margins + scrollBar));
}

bool PortCombo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == combo_ && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (combo_->currentText().isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), combo_->currentText(), combo_);
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace quellaton
