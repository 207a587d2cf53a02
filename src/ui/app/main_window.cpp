#include "app/main_window.h"

#include "app/accessible_widgets.h"
#include "app/pictures.h"
#include "app/port_combo.h"
#include "app/shell_accessibility.h"

#include <QAbstractSpinBox>
#include <QCloseEvent>
#include <QScreen>
#include <QStatusBar>

namespace quellaton {

TForm1::TForm1(AppOptions options, QWidget* parent)
    : QMainWindow(parent), state_(std::make_unique<ProgramState>(std::move(options))) {
    InstallAccessibleWidgets();
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("QUELLATON"));
    setCentralWidget(new QWidget(this));
    centralWidget()->setObjectName(QStringLiteral("centralWidget"));
    w_ = BuildShellWidgets(*this);

    form4_ = new TForm4(this);
    form5_ = new TForm5(this);
    form6_ = new TForm6(this);

    confirmation_ = std::make_unique<Confirmation>(*state_, *form5_);
    connection_ = std::make_unique<Connection>(*state_, w_, *confirmation_, this);
    dispatcher_ = std::make_unique<ReplyDispatcher>(*state_, w_, *connection_);
    addressing_ = std::make_unique<DeviceAddressing>(*state_, w_, this);
    graph_ = new ResponseGraph(*state_, w_.RzGroupBox8);
    editors_ = std::make_unique<ChannelEditors>(*state_, w_, *graph_, *this);
    presetFiles_ = std::make_unique<PresetFiles>(*state_, w_, *confirmation_, *connection_,
                                                 fileChooser_, this);
    devicePresets_ = std::make_unique<DevicePresets>(*state_, w_, *confirmation_,
                                                     editors_->commitState().commitArmed, this);
    initialDataLoad_ =
        std::make_unique<InitialDataLoad>(*state_, w_, *connection_, fileChooser_, this);

    // "Filters reset" acts only on a connected unit.
    connect(connection_.get(), &Connection::stateChanged, &editors_->availability(),
            &EditorAvailability::refresh);
    new PortCombo(w_.RzComboBox1);
    NameShellControls(w_);
    NameDialogs(*form4_, *form5_, *form6_);
    connect(w_.N10, &QAction::triggered, this, &QWidget::close);
    connect(w_.N9, &QAction::triggered, form6_, &QDialog::exec);

    FormCreate();
}

TForm1::~TForm1() {
    // The driver's parser callback points into the dispatcher, which goes first.
    state_->driver.parser = nullptr;
    state_->driver.ClosePort();
}

void TForm1::FormCreate() {
    for (QWidget* area :
         {static_cast<QWidget*>(w_.Image20), static_cast<QWidget*>(w_.RzGroupBox8),
          static_cast<QWidget*>(w_.RzGroupBox12), static_cast<QWidget*>(w_.GroupBox2),
          static_cast<QWidget*>(w_.GroupBox3)}) {
        area->hide();
    }
    w_.fileMenu->menuAction()->setVisible(false);
    w_.helpMenu->menuAction()->setVisible(false);
    w_.RzProgressBar2->setValue(0);
    w_.RzGroupBox3->show();
    w_.RzGroupBox3->raise();

    state_->DeviceId = 1;
    state_->selection.way = -1;
    state_->selection.panel = -1;
    graph_->DrawGrid(720, 249);
    editors_->windowCreated();
    applyFonts();

    w_.Image20->setPixmap(LogoPicture());
    setFixedSize(750, 787);
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    connection_->FillPorts();
    keyboard_ = new KeyboardNavigation(*this);
    state_->timers.startInitialTimers();
}

void TForm1::applyFonts() {
    const QString family = QStringLiteral("Arial");
    for (QLineEdit* edit : findChildren<QLineEdit*>()) {
        if (qobject_cast<QAbstractSpinBox*>(edit->parentWidget()) ||
            qobject_cast<QComboBox*>(edit->parentWidget())) {
            continue;
        }
        QFont font = edit->font();
        font.setFamily(family);
        edit->setFont(font);
        edit->setAlignment(Qt::AlignCenter);
    }
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        QFont font = button->font();
        font.setFamily(family);
        button->setFont(font);
    }
    for (QLabel* label : findChildren<QLabel*>()) {
        QFont font = label->font();
        font.setFamily(family);
        label->setFont(font);
    }
    for (QComboBox* combo : findChildren<QComboBox*>()) {
        QFont font(family);
        font.setPointSize(8);
        combo->setFont(font);
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    state_->SearchAbort = 1;
    // A transfer under way is abandoned: the frame on the line finishes, nothing follows it.
    state_->driver.Shutdown();
    event->accept();
}

} // namespace quellaton
