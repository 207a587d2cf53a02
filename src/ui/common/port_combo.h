// The COM port list shows whole port names where it can: the box itself keeps its size and may
// cut a long device path, but its drop-down list is as wide as the longest name, and the box
// and every item carry the whole name as their tooltip.
#pragma once

#include <QObject>

class QComboBox;

namespace quellaton {

class PortCombo : public QObject {
    Q_OBJECT
public:
    explicit PortCombo(QComboBox* combo);

    // Fits the drop-down list to the names and gives every item its tooltip.
    void fitNames();

protected:
    // The box's tooltip is the chosen port's whole name, read when it is asked for (the list
    // is refilled with the box's signals blocked).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox* combo_;
};

} // namespace quellaton
