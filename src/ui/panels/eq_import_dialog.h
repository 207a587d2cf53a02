// The report of an EQ import, shown before anything changes: one row per filter with what the
// file asks for and what the section will be set to, the largest curve difference of each, the
// notes, and "Apply" or "Cancel". A file with more than six EQ filters is refused unless the
// box that keeps the six with the largest gain is ticked.
#pragma once

#include "files/eq_fit.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

namespace quellaton {

class EqImportDialog : public QDialog {
    Q_OBJECT
public:
    explicit EqImportDialog(QWidget* parent = nullptr);

    // Shows `report` for the file named `fileName`; `canFit` shows the box that keeps six.
    void showReport(const EqFitReport& report, const QString& fileName, bool canFit);

    QLabel* summary;
    QLabel* refusal;
    QCheckBox* fitBox; // "Keep the six filters with the largest gain"
    QTableWidget* table;
    QLabel* notes;
    QPushButton* applyButton;
    QPushButton* cancelButton;
};

} // namespace quellaton
