#include "panels/initial_data_load.h"

#include "common/key_filter.h"
#include "common/messages.h"
#include "files/preset_file_format.h"

namespace quellaton {

namespace {
constexpr int PanelLeft = 208;
constexpr int PanelTop = 448;
} // namespace

InitialDataPanel::InitialDataPanel(UnitSession& session, ShellWidgets& widgets,
                                   ConnectionPanel& connection, FileChooser& chooser,
                                   QWidget* window)
    : QObject(window), session_(session), w_(widgets), connection_(connection), chooser_(chooser),
      window_(window) {
    connect(&connection_, &ConnectionPanel::broadcastConfirmed, this, &InitialDataPanel::showPanel);
    connect(w_.closeInitialDataButton, &QToolButton::clicked, this,
            &InitialDataPanel::closeInitialDataClicked);
    connect(w_.sourceIdButton, &QPushButton::clicked, this, &InitialDataPanel::loadFromUnitClicked);
    connect(w_.sourceFileButton, &QPushButton::clicked, this,
            &InitialDataPanel::loadFromFileClicked);
    new KeyFilter(w_.sourceIdField, QString::fromLatin1(KeyFilter::Digits),
                  [this] { loadFromUnitClicked(); });
}

bool InitialDataPanel::distributing() const {
    return load_ && load_->distributing();
}

// The broadcast connect was confirmed: the window is locked behind the choice of the source.
void InitialDataPanel::showPanel() {
    SetAreasEnabled(w_, false);
    w_.initialDataPanel->move(PanelLeft, PanelTop);
    w_.initialDataPanel->show();
    w_.initialDataPanel->raise();
    w_.editorArea->hide();

    load_ = session_.initialDataLoad();
    connect(load_, &Operation::progress, this,
            [this](int done, int) { w_.progressBar->setValue(5 * done); });
    connect(load_, &InitialDataLoad::progressStarted, this, &InitialDataPanel::showProgress);
    connect(load_, &InitialDataLoad::sourceSilent, this, [this] {
        w_.progressPanel->hide();
        w_.initialDataPanel->show();
        w_.initialDataPanel->raise();
        w_.editorArea->hide();
        ShowMessage(window_, QStringLiteral("Please check the ID and try to connect again."));
    });
    connect(load_, &Operation::finished, this, [this](Operation::Result result) {
        if (result == Operation::Result::Done) {
            finishLoad();
        }
    });
    load_->start();
}

void InitialDataPanel::closeInitialDataClicked() {
    connection_.ForceDisconnect();
}

void InitialDataPanel::showProgress() {
    w_.initialDataPanel->hide();
    w_.editorArea->show();
    ShowProgressBox(w_, TransferBoxLeft, TransferBoxTop);
}

void InitialDataPanel::loadFromUnitClicked() {
    bool ok = false;
    const int id = w_.sourceIdField->text().trimmed().toInt(&ok, 10);
    if (!ok || id < 1 || id > 255) {
        w_.sourceIdField->setText(QString::number(sourceAddress_ + 1));
        ShowMessage(window_, QStringLiteral("Please input 1~255 number."));
        return;
    }
    sourceAddress_ = id - 1;
    if (load_) {
        load_->loadFromUnit(id);
    }
}

void InitialDataPanel::loadFromFileClicked() {
    if (!session_.link().portOpen()) {
        return;
    }
    const QString path = chooser_.open(window_, SinglePresetFile());
    if (path.isEmpty()) {
        return;
    }
    const SinglePresetText loaded = LoadSinglePresetFile(path);
    if (loaded.status == PresetFileStatus::Empty) {
        return;
    }
    if (loaded.status == PresetFileStatus::Damaged) {
        ShowMessage(window_, QString::fromLatin1(FileDamagedMessage));
        return;
    }
    if (load_ && !distributing()) {
        load_->loadFromImage(loaded.text);
    }
}

void InitialDataPanel::finishLoad() {
    w_.initialDataPanel->hide();
    w_.progressPanel->hide();
    w_.editorArea->show();
    SetAreasEnabled(w_, true);
}

} // namespace quellaton
