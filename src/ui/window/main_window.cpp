#include "window/main_window.h"

#include "common/accessible_widgets.h"
#include "common/pictures.h"
#include "common/port_combo.h"
#include "panels/shell_accessibility.h"

#include <QAbstractSpinBox>
#include <QCloseEvent>
#include <QScreen>
#include <QStatusBar>
#include <utility>

namespace quellaton {

MainWindow::MainWindow(AppOptions options, QWidget* parent)
    : QMainWindow(parent), session_(std::make_unique<UnitSession>()), options_(std::move(options)) {
    InstallAccessibleWidgets();
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("QUELLATON"));
    setCentralWidget(new QWidget(this));
    centralWidget()->setObjectName(QStringLiteral("centralWidget"));
    w_ = BuildShellWidgets(*this);

    btlPictureDialog_ = new BtlPictureDialog(this);
    confirmationDialog_ = new ConfirmationDialog(this);
    aboutBox_ = new AboutBox(this);

    connection_ = new ConnectionPanel(*session_, options_, w_, *confirmationDialog_, this);
    addressing_ = new AddressingPanel(*session_, *connection_, w_, selection_, this);
    graph_ = new ResponseGraph(session_->model(), selection_, w_.graphArea);
    editors_ = std::make_unique<ChannelEditors>(*session_, selection_, w_, *graph_, *this);
    presetFiles_ = new PresetFilesPanel(*session_, w_, *confirmationDialog_, *connection_,
                                        selection_, fileChooser_, this);
    devicePresets_ = new DevicePresetsPanel(*session_, w_, *confirmationDialog_, *connection_,
                                            selection_, editors_->commitState().commitArmed, this);
    initialDataLoad_ = new InitialDataPanel(*session_, w_, *connection_, fileChooser_, this);
    document_ = new PresetDocumentPanel(*session_, w_, fileChooser_, this);
    editMenu_ = new EditMenuPanel(session_->model(), w_, this);
    eqImport_ =
        new EqImportPanel(*session_, w_, selection_, fileChooser_, *document_, graph_, this);
    viewMenu_ = new ViewMenuPanel(*graph_, selection_, w_, fileChooser_, this);
    connection_->setConnectGuard([this] { return document_->mayDiscardChanges(); });
    connect(addressing_, &AddressingPanel::searchFinished, this, [this] {
        for (QMenu* menu : {w_.editMenu, w_.viewMenu}) {
            menu->menuAction()->setVisible(w_.helpMenu->menuAction()->isVisible());
            menu->menuAction()->setEnabled(w_.helpMenu->menuAction()->isEnabled());
        }
        if (!options_.presetFile.isEmpty()) {
            // The file given on the command line opens once, after the start-up search.
            const QString path = std::exchange(options_.presetFile, QString());
            document_->openFile(path);
        }
    });

    // The status labels show what the unit reported last.
    connect(&session_->model(), &UnitModel::statusChanged, this, [this] {
        const StatusReply& status = session_->model().status();
        w_.temperatureLabel->setText(status.temperatureLabel);
        w_.attenuationLabel->setText(status.attenuationLabel);
    });
    new PortCombo(w_.portList);
    NameShellControls(w_);
    NameDialogs(*btlPictureDialog_, *confirmationDialog_, *aboutBox_);
    connect(w_.exitAction, &QAction::triggered, this, &QWidget::close);
    connect(w_.aboutAction, &QAction::triggered, aboutBox_, &QDialog::exec);

    setUpWindow();
}

MainWindow::~MainWindow() {
    // The views go before the session they show.
    editors_.reset();
    session_->abortAll();
    session_->link().driver().ClosePort();
}

void MainWindow::setUpWindow() {
    for (QWidget* area :
         {static_cast<QWidget*>(w_.logo), static_cast<QWidget*>(w_.graphArea),
          static_cast<QWidget*>(w_.editorArea), static_cast<QWidget*>(w_.connectionGroup),
          static_cast<QWidget*>(w_.fileGroup)}) {
        area->hide();
    }
    w_.fileMenu->menuAction()->setVisible(false);
    w_.helpMenu->menuAction()->setVisible(false);
    w_.editMenu->menuAction()->setVisible(false);
    w_.viewMenu->menuAction()->setVisible(false);
    w_.searchProgressBar->setValue(0);
    w_.searchProgressPanel->show();
    w_.searchProgressPanel->raise();

    selection_.set(-1, -1);
    graph_->DrawGrid(720, 249);
    editors_->windowCreated();
    applyFonts();

    w_.logo->setPixmap(LogoPicture());
    setFixedSize(750, 787);
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }

    connection_->FillPorts();
    keyboard_ = new KeyboardNavigation(*this);
}

void MainWindow::applyFonts() {
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

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!document_->mayDiscardChanges()) {
        event->ignore();
        return;
    }
    addressing_->stopSearch();
    // A transfer under way is abandoned: the frame on the line finishes, nothing follows it.
    session_->link().driver().Shutdown();
    event->accept();
}

} // namespace quellaton
