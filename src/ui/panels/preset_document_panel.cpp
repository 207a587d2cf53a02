#include "panels/preset_document_panel.h"

#include "common/messages.h"
#include "panels/preset_files_panel.h"

#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>

namespace quellaton {

namespace {

QAction* MakeAction(QMenu* menu, QAction* before, const char* name, const QString& text,
                    const QKeySequence& keys) {
    auto* action = new QAction(text, menu);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(keys);
    menu->insertAction(before, action);
    return action;
}

} // namespace

PresetDocumentPanel::PresetDocumentPanel(UnitSession& session, ShellWidgets& widgets,
                                         FileChooser& chooser, QMainWindow* window)
    : QObject(window), session_(session), w_(widgets), chooser_(chooser), window_(window) {
    QMenu* menu = w_.fileMenu;
    open_ = MakeAction(menu, w_.exitAction, "openPresetAction", QStringLiteral("Open preset file…"),
                       QKeySequence::Open);
    save_ = MakeAction(menu, w_.exitAction, "savePresetAction", QStringLiteral("Save preset file"),
                       QKeySequence::Save);
    saveAs_ = MakeAction(menu, w_.exitAction, "savePresetAsAction",
                         QStringLiteral("Save preset file as…"),
                         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    menu->insertSeparator(w_.exitAction);
    connect(open_, &QAction::triggered, this, &PresetDocumentPanel::openClicked);
    connect(save_, &QAction::triggered, this, &PresetDocumentPanel::save);
    connect(saveAs_, &QAction::triggered, this, &PresetDocumentPanel::saveAs);

    UnitModel& model = session_.model();
    connect(&model, &UnitModel::imageReplaced, this, &PresetDocumentPanel::imageReplaced);
    connect(&model, &UnitModel::blockEdited, this, &PresetDocumentPanel::showTitle);
    connect(&model, &UnitModel::imageEdited, this, &PresetDocumentPanel::showTitle);
    connect(&session_.connection(), &UnitConnection::stateChanged, this,
            &PresetDocumentPanel::showAvailability);
    showAvailability();
    showTitle();
}

bool PresetDocumentPanel::unsaved() const {
    return !path_.isEmpty() && session_.model().image() != saved_;
}

PresetDocumentPanel::Answer PresetDocumentPanel::StandardQuestion(QWidget* parent,
                                                                  const QString& fileName) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("QUELLATON"),
                    QStringLiteral("Save changes to %1?").arg(fileName), QMessageBox::NoButton,
                    parent);
    QPushButton* saveButton = box.addButton(QStringLiteral("Save"), QMessageBox::AcceptRole);
    QPushButton* discardButton =
        box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    QPushButton* cancelButton = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(saveButton);
    box.setEscapeButton(cancelButton);
    box.exec();
    if (box.clickedButton() == saveButton) {
        return Answer::Save;
    }
    return box.clickedButton() == discardButton ? Answer::Discard : Answer::Cancel;
}

bool PresetDocumentPanel::mayDiscardChanges() {
    if (!unsaved()) {
        return true;
    }
    switch (question_(window_, QFileInfo(path_).fileName())) {
    case Answer::Save:
        return save();
    case Answer::Discard:
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
}

// A file is opened for editing without a unit; with one connected, "Load a preset from PC"
// is the way a file reaches it.
void PresetDocumentPanel::openClicked() {
    if (session_.link().portOpen() || !mayDiscardChanges()) {
        return;
    }
    const QString path = chooser_.open(window_, SinglePresetFile());
    if (!path.isEmpty()) {
        openFile(path);
    }
}

bool PresetDocumentPanel::openFile(const QString& path) {
    if (session_.link().portOpen()) {
        return false;
    }
    if (!QFileInfo::exists(path)) {
        // A name typed on the command line may simply be wrong: say so rather than "damaged".
        ShowMessage(window_, QStringLiteral("File not found:\r%1").arg(path));
        return false;
    }
    std::optional<OpenedPreset> opened = OpenSinglePreset(path);
    if (!opened) {
        ShowMessage(window_, QString::fromLatin1(FileDamagedMessage));
        return false;
    }
    opening_ = true;
    session_.model().replaceImage(opened->image);
    opening_ = false;
    opened_ = std::move(opened);
    path_ = path;
    saved_ = session_.model().image();
    // The editors come into view in place of the search result.
    w_.searchResultPanel->hide();
    w_.editorArea->show();
    showTitle();
    return true;
}

bool PresetDocumentPanel::save() {
    return path_.isEmpty() ? saveAs() : writeTo(path_);
}

bool PresetDocumentPanel::saveAs() {
    const QString chosen = chooser_.save(window_, SinglePresetFile());
    return !chosen.isEmpty() && writeTo(WithDefaultSuffix(chosen, SinglePresetFile().suffix));
}

bool PresetDocumentPanel::writeTo(const QString& path) {
    const ParameterImage& image = session_.model().image();
    const QByteArray content =
        SinglePresetContent(image, opened_ ? &*opened_ : nullptr, session_.link().addressByte());
    QString reason;
    if (!WritePresetContent(path, content, &reason)) {
        ShowMessage(window_, PresetFilesPanel::SaveFailedMessage(path, reason));
        return false;
    }
    opened_ = ReadSinglePreset(content);
    path_ = path;
    saved_ = image;
    showTitle();
    return true;
}

// An image from the unit (a connect, a load, a recall) takes the place of the file's.
void PresetDocumentPanel::imageReplaced() {
    if (opening_) {
        return;
    }
    path_.clear();
    opened_.reset();
    showTitle();
}

void PresetDocumentPanel::showTitle() {
    QString title = QStringLiteral("QUELLATON");
    if (!path_.isEmpty()) {
        title += QStringLiteral(" — ") + QFileInfo(path_).fileName();
        if (unsaved()) {
            title += QLatin1Char('*');
        }
    }
    window_->setWindowTitle(title);
}

void PresetDocumentPanel::showAvailability() {
    open_->setEnabled(!session_.link().portOpen());
}

} // namespace quellaton
