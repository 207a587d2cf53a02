#include "common/shell_widgets.h"

#include "common/flat_button_style.h"
#include "common/toggle_button.h"

#include "model/preset_names.h"

#include <QMenuBar>
#include <QStatusBar>

namespace quellaton {

namespace {

template <typename T> T* Make(QWidget* parent, const char* name) {
    auto* widget = new T(parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QGroupBox* Area(QWidget* parent, const char* name, const QString& title, QRect geometry) {
    auto* box = Make<QGroupBox>(parent, name);
    box->setTitle(title);
    box->setGeometry(geometry);
    return box;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* button = Make<QPushButton>(parent, name);
    button->setText(caption);
    button->setGeometry(geometry);
    button->setFocusPolicy(Qt::StrongFocus);
    SetButtonColour(button, NormalButtonColour);
    return button;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* label = Make<QLabel>(parent, name);
    label->setText(text);
    label->setGeometry(geometry);
    return label;
}

QToolButton* CloseButton(QWidget* parent, const char* name, int right) {
    auto* button = Make<QToolButton>(parent, name);
    button->setText(QStringLiteral("x"));
    button->setGeometry(right - 20, 4, 16, 16);
    return button;
}

void BuildConnectionGroup(ShellWidgets& w) {
    // The left 215 pixels hold everything broadcast mode keeps: the group narrows to them.
    QGroupBox* g = w.connectionGroup;
    Label(g, "portLabel", QStringLiteral("COM port:"), {6, 10, 58, 18});
    w.portList = Make<QComboBox>(g, "portList");
    w.portList->setGeometry(62, 8, 86, 22);
    w.broadcastButton =
        Button(g, "broadcastButton", QStringLiteral("Broadcast\nMode"), {152, 6, 58, 38});

    w.deviceIdLabel = Label(g, "deviceIdLabel", QStringLiteral("Device ID:"), {6, 33, 58, 18});
    w.deviceIdList = Make<QComboBox>(g, "deviceIdList");
    w.deviceIdList->setGeometry(62, 31, 60, 22);
    for (int id = 1; id <= 255; ++id) {
        w.deviceIdList->addItem(QString::number(id));
    }
    w.deviceIdList->setCurrentIndex(0);

    w.connectButton = Button(g, "connectButton", QStringLiteral("Connect"), {6, 55, 80, 26});
    w.connectionIndicator = Make<QLabel>(g, "connectionIndicator");
    w.connectionIndicator->setGeometry(90, 54, 28, 28);

    Label(g, "setIdLabel", QStringLiteral("Set device ID :"), {126, 46, 86, 16});
    w.newIdField = Make<QLineEdit>(g, "newIdField");
    w.newIdField->setGeometry(126, 62, 40, 22);
    w.newIdField->setText(QStringLiteral("1"));
    w.setIdButton = Button(g, "setIdButton", QStringLiteral("OK"), {170, 61, 40, 24});

    w.devicePresetGroup = Area(g, "devicePresetGroup", QString(), {220, 6, 368, 58});
    QGroupBox* p = w.devicePresetGroup;
    Label(p, "loadLabel", QStringLiteral("Load: "), {6, 6, 36, 20});
    w.devicePresetList = Make<QComboBox>(p, "devicePresetList");
    w.devicePresetList->setGeometry(44, 4, 200, 22);
    for (int preset = 1; preset <= PresetListCount; ++preset) {
        w.devicePresetList->addItem(PresetListPrefix(preset));
    }
    w.recallButton = Button(p, "recallButton", QStringLiteral("Load"), {250, 4, 60, 22});
    Label(p, "saveLabel", QStringLiteral("Save:"), {6, 32, 36, 20});
    w.userSlotList = Make<QComboBox>(p, "userSlotList");
    w.userSlotList->setGeometry(44, 30, 62, 22);
    for (int preset = FirstUserPreset; preset <= PresetListCount; ++preset) {
        w.userSlotList->addItem(PresetListPrefix(preset));
    }
    w.presetNameField = Make<QLineEdit>(p, "presetNameField");
    w.presetNameField->setGeometry(110, 30, 134, 22);
    w.presetNameField->setMaxLength(PresetNameMaxLength);
    w.storeNameButton = Button(p, "storeNameButton", QStringLiteral("Save"), {250, 30, 60, 22});

    w.lastLoadedLabel =
        Label(g, "lastLoadedLabel", QStringLiteral("Last loaded preset:    "), {226, 66, 190, 18});
    Label(g, "temperatureCaption", QStringLiteral("Temp.:"), {424, 66, 40, 18});
    w.temperatureLabel = Label(g, "temperatureLabel", QString(), {462, 66, 44, 18});
    Label(g, "attenuationCaption", QStringLiteral("Att.:"), {512, 66, 30, 18});
    w.attenuationLabel = Label(g, "attenuationLabel", QString(), {540, 66, 48, 18});
}

void BuildFileGroup(ShellWidgets& w) {
    QGroupBox* g = w.fileGroup;
    const int width = 190;
    const int height = 28;
    w.saveOneButton = Button(g, "saveOneButton", QStringLiteral("Save this preset to PC"),
                             {8, 14, width, height});
    w.loadOneButton =
        Button(g, "loadOneButton", QStringLiteral("Load a preset from PC"), {8, 48, width, height});
    w.saveAllButton = Button(g, "saveAllButton", QStringLiteral("Save all presets to PC"),
                             {202, 14, width, height});
    w.loadAllButton = Button(g, "loadAllButton", QStringLiteral("Load all presets from PC"),
                             {202, 48, width, height});
    w.searchButton =
        Button(g, "searchButton", QStringLiteral("Search device ID"), {396, 14, width, height});
    w.searchResultButton =
        Button(g, "searchResultButton", QStringLiteral("Search result"), {396, 48, width, height});
}

void BuildPanels(ShellWidgets& w, QWidget* central) {
    w.progressPanel = Area(central, "progressPanel", QString(), {208, 504, 330, 66});
    Label(w.progressPanel, "waitLabel", QStringLiteral("Please wait,doing data exchange."),
          {12, 8, 306, 20});
    w.progressBar = Make<QProgressBar>(w.progressPanel, "progressBar");
    w.progressBar->setGeometry(12, 34, 306, 20);
    w.progressBar->setRange(0, 100);
    w.progressPanel->hide();

    w.searchProgressPanel = Area(central, "searchProgressPanel", QString(), {176, 232, 400, 96});
    Label(w.searchProgressPanel, "checkingLabel", QStringLiteral("Checking available device ID"),
          {14, 10, 372, 20});
    w.searchProgressBar = Make<QProgressBar>(w.searchProgressPanel, "searchProgressBar");
    w.searchProgressBar->setGeometry(14, 36, 372, 20);
    w.searchProgressBar->setRange(0, 100);
    w.cancelSearchButton = Button(w.searchProgressPanel, "cancelSearchButton",
                                  QStringLiteral("Cancel"), {158, 62, 84, 26});
    w.searchProgressPanel->hide();

    w.searchResultPanel = Area(central, "searchResultPanel", QString(), {7, 524, 736, 216});
    w.searchResultLine = Label(w.searchResultPanel, "searchResultLine",
                               QStringLiteral("search result :none     "), {12, 10, 600, 20});
    w.closeResultButton = CloseButton(w.searchResultPanel, "closeResultButton", 736);
    w.searchResultList = Make<QPlainTextEdit>(w.searchResultPanel, "searchResultList");
    w.searchResultList->setGeometry(12, 34, 712, 138);
    w.searchResultList->setReadOnly(true);
    w.searchResultList->setLineWrapMode(QPlainTextEdit::NoWrap);
    w.searchResultList->hide();
    w.resultCloseButton = Button(w.searchResultPanel, "resultCloseButton", QStringLiteral("Close"),
                                 {640, 180, 84, 26});
    w.searchResultPanel->hide();

    w.initialDataPanel = Area(central, "initialDataPanel", QString(), {208, 448, 345, 97});
    QGroupBox* g = w.initialDataPanel;
    Label(g, "initialDataCaption", QStringLiteral("SELECT THE SOURCE FOR THE INITIAL DATA LOAD"),
          {8, 4, 310, 18});
    w.closeInitialDataButton = CloseButton(g, "closeInitialDataButton", 345);
    Label(g, "sourceOne", QStringLiteral("1."), {8, 30, 14, 18});
    Label(g, "sourceIdLabel", QStringLiteral("Specify one device ID for initial data:"),
          {22, 30, 216, 18});
    w.sourceIdField = Make<QLineEdit>(g, "sourceIdField");
    w.sourceIdField->setGeometry(240, 28, 44, 22);
    w.sourceIdField->setText(QStringLiteral("1"));
    w.sourceIdButton = Button(g, "sourceIdButton", QStringLiteral("OK"), {290, 27, 44, 24});
    Label(g, "sourceTwo", QStringLiteral("2."), {8, 64, 14, 18});
    w.sourceFileButton =
        Button(g, "sourceFileButton", QStringLiteral("Load one preset from PC as initial data"),
               {22, 60, 312, 26});
    w.initialDataPanel->hide();

    // The panels float over other areas: they paint their own background.
    for (QGroupBox* panel :
         {w.progressPanel, w.searchProgressPanel, w.searchResultPanel, w.initialDataPanel}) {
        panel->setAutoFillBackground(true);
    }
}

} // namespace

ShellWidgets BuildShellWidgets(QMainWindow& window) {
    ShellWidgets w;
    QWidget* central = window.centralWidget();

    w.connectionGroup = Area(central, "connectionGroup", QString(), {7, 2, 594, 90});
    w.fileGroup = Area(central, "fileGroup", QString(), {7, 94, 594, 86});
    w.channelOverview = Area(central, "channelOverview", QString(), {7, 186, 736, 68});
    w.graphArea = Area(central, "graphArea", QString(), {7, 256, 736, 266});
    w.editorArea = Area(central, "editorArea", QString(), {7, 524, 736, 216});
    w.logo = Make<QLabel>(central, "logo");
    w.logo->setGeometry(612, 6, 131, 173);

    BuildConnectionGroup(w);
    BuildFileGroup(w);
    BuildPanels(w, central);

    w.fileMenu = window.menuBar()->addMenu(QStringLiteral("File"));
    w.fileMenu->setObjectName(QStringLiteral("fileMenu"));
    w.exitAction = w.fileMenu->addAction(QStringLiteral("Exit"));
    w.exitAction->setObjectName(QStringLiteral("exitAction"));
    w.helpMenu = window.menuBar()->addMenu(QStringLiteral("Help"));
    w.helpMenu->setObjectName(QStringLiteral("helpMenu"));
    w.aboutAction = w.helpMenu->addAction(QStringLiteral("QUELLATON Version 1.0"));
    w.aboutAction->setObjectName(QStringLiteral("aboutAction"));

    w.statusCaption = Make<QLabel>(window.statusBar(), "statusCaption");
    w.statusCaption->setText(QStringLiteral("STATUS:"));
    w.connectionPane = Make<QLabel>(window.statusBar(), "connectionPane");
    window.statusBar()->addWidget(w.statusCaption);
    window.statusBar()->addWidget(w.connectionPane, 1);
    window.statusBar()->setSizeGripEnabled(false);
    return w;
}

void SetAreasEnabled(ShellWidgets& w, bool on) {
    for (QWidget* area :
         {static_cast<QWidget*>(w.channelOverview), static_cast<QWidget*>(w.connectionGroup),
          static_cast<QWidget*>(w.fileGroup), static_cast<QWidget*>(w.graphArea),
          static_cast<QWidget*>(w.editorArea), static_cast<QWidget*>(w.devicePresetGroup)}) {
        area->setEnabled(on);
    }
    for (QMenu* menu : {w.fileMenu, w.editMenu, w.viewMenu, w.helpMenu}) {
        if (menu) {
            menu->setEnabled(on);
            menu->menuAction()->setEnabled(on);
        }
    }
}

void UnlockAreas(ShellWidgets& w) {
    w.progressPanel->hide();
    for (QWidget* area :
         {static_cast<QWidget*>(w.graphArea), static_cast<QWidget*>(w.channelOverview),
          static_cast<QWidget*>(w.connectionGroup), static_cast<QWidget*>(w.fileGroup),
          static_cast<QWidget*>(w.editorArea)}) {
        area->setEnabled(true);
    }
}

void ShowProgressBox(ShellWidgets& w, int left, int top) {
    w.progressPanel->move(left, top);
    w.progressBar->setValue(0);
    w.progressPanel->show();
    w.progressPanel->raise();
}

void SetButtonColour(QAbstractButton* button, QRgb colour) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, QColor(colour));
    button->setPalette(palette);
    button->setProperty("buttonColour", QVariant::fromValue(uint(colour)));
    // The colour shows flat, as given, in every state.
    if (button->style() != FlatButtonStyle::instance()) {
        button->setStyle(FlatButtonStyle::instance());
    }
    // A toggle is on while it shows any colour but the normal one.
    if (auto* toggle = qobject_cast<ToggleButton*>(button)) {
        toggle->showState(colour != NormalButtonColour);
    }
}

QRgb ButtonColour(const QAbstractButton* button) {
    return button->palette().color(QPalette::Button).rgb();
}

} // namespace quellaton
