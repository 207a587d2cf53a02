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
    : QMainWindow(parent), session_(std::make_unique<UnitSession>()), options_(std::move(options)) {
    InstallAccessibleWidgets();
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("QUELLATON"));
    setCentralWidget(new QWidget(this));
    centralWidget()->setObjectName(QStringLiteral("centralWidget"));
    w_ = BuildShellWidgets(*this);

    form4_ = new TForm4(this);
    form5_ = new TForm5(this);
    form6_ = new TForm6(this);

    connection_ = new Connection(*session_, options_, w_, *form5_, this);
    addressing_ = new DeviceAddressing(*session_, *connection_, w_, selection_, this);
    graph_ = new ResponseGraph(session_->model(), selection_, w_.RzGroupBox8);
    editors_ = std::make_unique<ChannelEditors>(*session_, selection_, w_, *graph_, *this);
    presetFiles_ =
        new PresetFiles(*session_, w_, *form5_, *connection_, selection_, fileChooser_, this);
    devicePresets_ = new DevicePresets(*session_, w_, *form5_, *connection_, selection_,
                                       editors_->commitState().commitArmed, this);
    initialDataLoad_ = new InitialDataPanel(*session_, w_, *connection_, fileChooser_, this);

    // The status labels show what the unit reported last.
    connect(&session_->model(), &UnitModel::statusChanged, this, [this] {
        const StatusReply& status = session_->model().status();
        w_.temperatureLabel->setText(status.temperatureLabel);
        w_.attenuationLabel->setText(status.attenuationLabel);
    });
    // "Filters reset" acts only on a connected unit.
    connect(&session_->connection(), &UnitConnection::stateChanged, &editors_->availability(),
            &EditorAvailability::refresh);
    new PortCombo(w_.RzComboBox1);
    NameShellControls(w_);
    NameDialogs(*form4_, *form5_, *form6_);
    connect(w_.N10, &QAction::triggered, this, &QWidget::close);
    connect(w_.N9, &QAction::triggered, form6_, &QDialog::exec);

    FormCreate();
}

TForm1::~TForm1() {
    // The views go before the session they show.
    editors_.reset();
    session_->abortAll();
    session_->link().driver().ClosePort();
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

    selection_.set(-1, -1);
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
    addressing_->stopSearch();
    // A transfer under way is abandoned: the frame on the line finishes, nothing follows it.
    session_->link().driver().Shutdown();
    event->accept();
}

} // namespace quellaton
