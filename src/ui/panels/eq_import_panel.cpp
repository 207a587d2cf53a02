#include "panels/eq_import_panel.h"

#include "common/messages.h"
#include "files/eq_fit.h"
#include "files/preset_file_format.h"
#include "program_version.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMimeData>

namespace quellaton {

namespace {

const QString ImportStep = QStringLiteral("Import EQ filters");

// The one local .txt file a drag carries; empty for anything else.
QString DraggedTextFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1) {
        return QString();
    }
    const QUrl url = mime->urls().constFirst();
    if (!url.isLocalFile()) {
        return QString();
    }
    const QString path = url.toLocalFile();
    return QFileInfo(path).suffix().compare(QStringLiteral("txt"), Qt::CaseInsensitive) == 0
               ? path
               : QString();
}

bool CanFit(const EqFitReport& report) {
    return !report.refusal.isEmpty() ||
           std::any_of(report.rows.begin(), report.rows.end(),
                       [](const EqFitRow& row) { return row.kind == EqFitRow::Kind::Dropped; });
}

} // namespace

const PresetFileKind& EqTextFile() {
    static const PresetFileKind kind{QStringLiteral("EQ filters (*.txt)"),
                                     QStringLiteral("eq-filters"), QStringLiteral("txt")};
    return kind;
}

EqImportPanel::EqImportPanel(UnitSession& session, ShellWidgets& widgets, WaySelection& selection,
                             FileChooser& chooser, PresetDocumentPanel& document, QWidget* graph,
                             QMainWindow* window)
    : QObject(window), session_(session), w_(widgets), selection_(selection), chooser_(chooser),
      document_(document), graph_(graph), window_(window) {
    // Above the separator before "Exit", as a group of their own.
    QMenu* menu = w_.fileMenu;
    const QList<QAction*> actions = menu->actions();
    const qsizetype exitAt = actions.indexOf(w_.exitAction);
    QAction* before =
        exitAt > 0 && actions[exitAt - 1]->isSeparator() ? actions[exitAt - 1] : w_.exitAction;
    import_ = new QAction(QStringLiteral("Import EQ filters…"), menu);
    import_->setObjectName(QStringLiteral("importEqAction"));
    export_ = new QAction(QStringLiteral("Export EQ filters…"), menu);
    export_->setObjectName(QStringLiteral("exportEqAction"));
    menu->insertAction(before, import_);
    menu->insertAction(before, export_);
    if (exitAt > 0) {
        menu->insertSeparator(import_);
    }
    connect(import_, &QAction::triggered, this, [this] {
        if (!available()) {
            return;
        }
        const QString path = chooser_.open(window_, EqTextFile());
        if (!path.isEmpty()) {
            importFile(path);
        }
    });
    connect(export_, &QAction::triggered, this, [this] {
        if (!available()) {
            return;
        }
        // Named after the section by default: "high-eq.txt".
        PresetFileKind kind = EqTextFile();
        kind.defaultName = EqSectionName(selection_.way()).toLower() + QStringLiteral("-eq");
        const QString path = chooser_.save(window_, kind);
        if (!path.isEmpty()) {
            exportFile(WithDefaultSuffix(path, EqTextFile().suffix));
        }
    });
    connect(menu, &QMenu::aboutToShow, this, &EqImportPanel::showAvailability);
    connect(&selection_, &WaySelection::changed, this, &EqImportPanel::showAvailability);
    showAvailability();

    graph_->setAcceptDrops(true);
    graph_->installEventFilter(this);
}

// A section is being edited and the window is not locked behind a transfer.
bool EqImportPanel::available() const {
    const int way = selection_.way();
    return way >= 0 && way < SectionCount && w_.fileMenu->isEnabled() && w_.editorArea->isEnabled();
}

void EqImportPanel::showAvailability() {
    const bool on = available();
    import_->setEnabled(on);
    export_->setEnabled(on);
}

bool EqImportPanel::importFile(const QString& path) {
    if (!available()) {
        return false;
    }
    const EqText text = ReadEqTextFile(path);
    if (!text.error.isEmpty()) {
        ShowMessage(window_, QStringLiteral("The EQ filters could not be imported:\r%1\r%2")
                                 .arg(QDir::toNativeSeparators(path), text.error));
        return false;
    }
    text_ = text;
    fileName_ = QFileInfo(path).fileName();
    section_ = selection_.way();
    fit_ = false;
    if (dialog_) {
        dialog_->reject();
    }
    dialog_ = new EqImportDialog(window_);
    connect(dialog_, &QDialog::accepted, this, &EqImportPanel::apply);
    connect(dialog_, &QDialog::finished, dialog_, &QObject::deleteLater);
    connect(dialog_->fitBox, &QCheckBox::toggled, this, [this](bool on) {
        fit_ = on;
        showReport();
    });
    showReport();
    dialog_->open();
    return true;
}

void EqImportPanel::showReport() {
    if (!dialog_) {
        return;
    }
    const EqFitReport report = FitEqText(text_, session_.model().image(), section_, fit_);
    dialog_->showReport(report, fileName_, CanFit(report));
}

// The fit is made again on the image as it is now: a reply from the unit may have changed it
// while the report was shown.
void EqImportPanel::apply() {
    const EqFitReport report = FitEqText(text_, session_.model().image(), section_, fit_);
    if (report.refusal.isEmpty()) {
        session_.model().applyEdit(report.image, ImportStep);
    }
}

QString EqImportPanel::sourceName() const {
    if (session_.link().portOpen()) {
        return QStringLiteral("the unit with device ID %1").arg(session_.address().deviceId());
    }
    if (!document_.path().isEmpty()) {
        return QFileInfo(document_.path()).fileName();
    }
    return QStringLiteral("the window's settings");
}

bool EqImportPanel::exportFile(const QString& path) {
    if (!available()) {
        return false;
    }
    EqTextExport what;
    what.section = selection_.way();
    what.source = sourceName();
    what.program = QStringLiteral("QUELLATON %1").arg(QLatin1String(ProgramVersion));
    what.bypass = session_.model().bypassRows();
    QString why;
    if (!WritePresetContent(path, EqTextContent(session_.model().image(), what), &why)) {
        ShowMessage(window_, QStringLiteral("The EQ filters could not be exported:\r%1\r%2\r"
                                            "Nothing was written.")
                                 .arg(QDir::toNativeSeparators(path), why));
        return false;
    }
    return true;
}

bool EqImportPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched != graph_) {
        return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (available() && !DraggedTextFile(drag->mimeData()).isEmpty()) {
            drag->acceptProposedAction();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = DraggedTextFile(drop->mimeData());
        if (!available() || path.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        // The report opens once the drag has ended.
        QMetaObject::invokeMethod(
            this, [this, path] { importFile(path); }, Qt::QueuedConnection);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace quellaton
