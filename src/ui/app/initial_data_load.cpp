#include "app/initial_data_load.h"

#include "app/key_filter.h"
#include "app/messages.h"
#include "files/preset_file_format.h"

namespace quellaton {

namespace {
constexpr int PanelLeft = 208;
constexpr int PanelTop = 448;
} // namespace

InitialDataPanel::InitialDataPanel(UnitSession& session, ShellWidgets& widgets,
                                   Connection& connection, FileChooser& chooser, QWidget* window)
    : QObject(window), session_(session), w_(widgets), connection_(connection), chooser_(chooser),
      window_(window) {
    connect(&connection_, &Connection::broadcastConfirmed, this, &InitialDataPanel::showPanel);
    connect(w_.SpeedButton3, &QToolButton::clicked, this, &InitialDataPanel::SpeedButton3Click);
    connect(w_.Button10, &QPushButton::clicked, this, &InitialDataPanel::Button10Click);
    connect(w_.Button11, &QPushButton::clicked, this, &InitialDataPanel::Button11Click);
    new KeyFilter(w_.RzEdit3, QString::fromLatin1(KeyFilter::Digits), [this] { Button10Click(); });
}

bool InitialDataPanel::distributing() const {
    return load_ && load_->distributing();
}

// The broadcast connect was confirmed: the window is locked behind the choice of the source.
void InitialDataPanel::showPanel() {
    SetAreasEnabled(w_, false);
    w_.RzGroupBox16->move(PanelLeft, PanelTop);
    w_.RzGroupBox16->show();
    w_.RzGroupBox16->raise();
    w_.RzGroupBox12->hide();

    load_ = session_.initialDataLoad();
    connect(load_, &Operation::progress, this,
            [this](int done, int) { w_.RzProgressBar1->setValue(5 * done); });
    connect(load_, &InitialDataLoad::progressStarted, this, &InitialDataPanel::showProgress);
    connect(load_, &InitialDataLoad::sourceSilent, this, [this] {
        w_.RzGroupBox1->hide();
        w_.RzGroupBox16->show();
        w_.RzGroupBox16->raise();
        w_.RzGroupBox12->hide();
        ShowMessage(window_, QStringLiteral("Please check the ID and try to connect again."));
    });
    connect(load_, &Operation::finished, this, [this](Operation::Result result) {
        if (result == Operation::Result::Done) {
            finishLoad();
        }
    });
    load_->start();
}

void InitialDataPanel::SpeedButton3Click() {
    connection_.ForceDisconnect();
}

void InitialDataPanel::showProgress() {
    w_.RzGroupBox16->hide();
    w_.RzGroupBox12->show();
    ShowProgressBox(w_, TransferBoxLeft, TransferBoxTop);
}

void InitialDataPanel::Button10Click() {
    bool ok = false;
    const int id = w_.RzEdit3->text().trimmed().toInt(&ok, 10);
    if (!ok || id < 1 || id > 255) {
        w_.RzEdit3->setText(QString::number(sourceAddress_ + 1));
        ShowMessage(window_, QStringLiteral("Please input 1~255 number."));
        return;
    }
    sourceAddress_ = id - 1;
    if (load_) {
        load_->loadFromUnit(id);
    }
}

void InitialDataPanel::Button11Click() {
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
    w_.RzGroupBox16->hide();
    w_.RzGroupBox1->hide();
    w_.RzGroupBox12->show();
    SetAreasEnabled(w_, true);
}

} // namespace quellaton
