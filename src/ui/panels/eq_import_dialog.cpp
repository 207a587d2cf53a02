#include "panels/eq_import_dialog.h"

#include "files/eq_report.h"

#include <QHeaderView>
#include <QVBoxLayout>

namespace quellaton {

EqImportDialog::EqImportDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("eqImportDialog"));
    setWindowTitle(QStringLiteral("Import EQ filters"));
    auto* layout = new QVBoxLayout(this);

    summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("eqImportSummary"));
    layout->addWidget(summary);

    refusal = new QLabel(this);
    refusal->setObjectName(QStringLiteral("eqImportRefusal"));
    refusal->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0);"));
    layout->addWidget(refusal);

    fitBox = new QCheckBox(QStringLiteral("Keep the six filters with the largest gain"), this);
    fitBox->setObjectName(QStringLiteral("eqFitBox"));
    layout->addWidget(fitBox);

    table = new QTableWidget(this);
    table->setObjectName(QStringLiteral("eqReportTable"));
    table->setAccessibleName(QStringLiteral("What fitting the filters changes"));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table, 1);

    notes = new QLabel(this);
    notes->setObjectName(QStringLiteral("eqReportNotes"));
    notes->setWordWrap(true);
    notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(notes);

    auto* buttons = new QDialogButtonBox(this);
    applyButton = buttons->addButton(QStringLiteral("Apply"), QDialogButtonBox::AcceptRole);
    applyButton->setObjectName(QStringLiteral("eqApplyButton"));
    cancelButton = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancelButton->setObjectName(QStringLiteral("eqCancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(980, 420);
}

void EqImportDialog::showReport(const EqFitReport& report, const QString& fileName, bool canFit) {
    summary->setText(
        QStringLiteral("%1: %2 section, from %3")
            .arg(fileName, EqSectionName(report.section), EqFormatName(report.format)));
    refusal->setText(report.refusal);
    refusal->setVisible(!report.refusal.isEmpty());
    fitBox->setVisible(canFit);

    const QStringList header = EqReportHeader();
    const QList<QStringList> rows = EqReportRows(report);
    table->clear();
    table->setColumnCount(int(header.size()));
    table->setHorizontalHeaderLabels(header);
    table->setRowCount(int(rows.size()));
    QFont bold = table->font();
    bold.setBold(true);
    for (int r = 0; r < rows.size(); ++r) {
        // The last row, the whole section, stands out.
        const bool section = report.refusal.isEmpty() && r == rows.size() - 1;
        for (int c = 0; c < rows[r].size(); ++c) {
            auto* item = new QTableWidgetItem(rows[r][c]);
            if (section) {
                item->setFont(bold);
            }
            table->setItem(r, c, item);
        }
    }
    table->resizeColumnsToContents();

    const QStringList noteLines = EqReportNotes(report);
    notes->setText(noteLines.join(QLatin1Char('\n')));
    notes->setVisible(!noteLines.isEmpty());
    applyButton->setEnabled(report.refusal.isEmpty());
}

} // namespace quellaton
