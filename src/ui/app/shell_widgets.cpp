#include "app/shell_widgets.h"

#include "app/flat_button_style.h"
#include "app/toggle_button.h"

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
    QGroupBox* g = w.GroupBox2;
    Label(g, "portLabel", QStringLiteral("COM port:"), {6, 10, 58, 18});
    w.RzComboBox1 = Make<QComboBox>(g, "RzComboBox1");
    w.RzComboBox1->setGeometry(62, 8, 86, 22);
    w.RzButton8 = Button(g, "RzButton8", QStringLiteral("Broadcast\nMode"), {152, 6, 58, 38});

    w.deviceIdLabel = Label(g, "deviceIdLabel", QStringLiteral("Device ID:"), {6, 33, 58, 18});
    w.RzComboBox6 = Make<QComboBox>(g, "RzComboBox6");
    w.RzComboBox6->setGeometry(62, 31, 60, 22);
    for (int id = 1; id <= 255; ++id) {
        w.RzComboBox6->addItem(QString::number(id));
    }
    w.RzComboBox6->setCurrentIndex(0);

    w.Button3 = Button(g, "Button3", QStringLiteral("Connect"), {6, 55, 80, 26});
    w.Image15 = Make<QLabel>(g, "Image15");
    w.Image15->setGeometry(90, 54, 28, 28);

    Label(g, "setIdLabel", QStringLiteral("Set device ID :"), {126, 46, 86, 16});
    w.RzEdit2 = Make<QLineEdit>(g, "RzEdit2");
    w.RzEdit2->setGeometry(126, 62, 40, 22);
    w.RzEdit2->setText(QStringLiteral("1"));
    w.Button1 = Button(g, "Button1", QStringLiteral("OK"), {170, 61, 40, 24});

    w.RzGroupBox4 = Area(g, "RzGroupBox4", QString(), {220, 6, 368, 58});
    QGroupBox* p = w.RzGroupBox4;
    Label(p, "loadLabel", QStringLiteral("Load: "), {6, 6, 36, 20});
    w.devicePresetList = Make<QComboBox>(p, "devicePresetList");
    w.devicePresetList->setGeometry(44, 4, 200, 22);
    for (const char* entry :
         {"Pre0:", "Pre1:", "Pre2:", "Pre3:", "Pre4:", "Pre5:", "Usr6:", "Usr7:"}) {
        w.devicePresetList->addItem(QLatin1String(entry));
    }
    w.RzButton9 = Button(p, "RzButton9", QStringLiteral("Load"), {250, 4, 60, 22});
    Label(p, "saveLabel", QStringLiteral("Save:"), {6, 32, 36, 20});
    w.RzComboBox11 = Make<QComboBox>(p, "RzComboBox11");
    w.RzComboBox11->setGeometry(44, 30, 62, 22);
    w.RzComboBox11->addItem(QStringLiteral("Usr6:"));
    w.RzComboBox11->addItem(QStringLiteral("Usr7:"));
    w.RzEdit1 = Make<QLineEdit>(p, "RzEdit1");
    w.RzEdit1->setGeometry(110, 30, 134, 22);
    w.RzEdit1->setMaxLength(19);
    w.RzButton10 = Button(p, "RzButton10", QStringLiteral("Save"), {250, 30, 60, 22});

    w.lastLoadedLabel =
        Label(g, "lastLoadedLabel", QStringLiteral("Last loaded preset:    "), {226, 66, 190, 18});
    Label(g, "temperatureCaption", QStringLiteral("Temp.:"), {424, 66, 40, 18});
    w.temperatureLabel = Label(g, "temperatureLabel", QString(), {462, 66, 44, 18});
    Label(g, "attenuationCaption", QStringLiteral("Att.:"), {512, 66, 30, 18});
    w.attenuationLabel = Label(g, "attenuationLabel", QString(), {540, 66, 48, 18});
}

void BuildFileGroup(ShellWidgets& w) {
    QGroupBox* g = w.GroupBox3;
    const int width = 190;
    const int height = 28;
    w.Button6 =
        Button(g, "Button6", QStringLiteral("Save this preset to PC"), {8, 14, width, height});
    w.Button7 =
        Button(g, "Button7", QStringLiteral("Load a preset from PC"), {8, 48, width, height});
    w.Button4 =
        Button(g, "Button4", QStringLiteral("Save all presets to PC"), {202, 14, width, height});
    w.Button5 =
        Button(g, "Button5", QStringLiteral("Load all presets from PC"), {202, 48, width, height});
    w.Button8 = Button(g, "Button8", QStringLiteral("Search device ID"), {396, 14, width, height});
    w.Button9 = Button(g, "Button9", QStringLiteral("Search result"), {396, 48, width, height});
}

void BuildPanels(ShellWidgets& w, QWidget* central) {
    w.RzGroupBox1 = Area(central, "RzGroupBox1", QString(), {208, 504, 330, 66});
    Label(w.RzGroupBox1, "waitLabel", QStringLiteral("Please wait,doing data exchange."),
          {12, 8, 306, 20});
    w.RzProgressBar1 = Make<QProgressBar>(w.RzGroupBox1, "RzProgressBar1");
    w.RzProgressBar1->setGeometry(12, 34, 306, 20);
    w.RzProgressBar1->setRange(0, 100);
    w.RzGroupBox1->hide();

    w.RzGroupBox3 = Area(central, "RzGroupBox3", QString(), {176, 232, 400, 96});
    Label(w.RzGroupBox3, "checkingLabel", QStringLiteral("Checking available device ID"),
          {14, 10, 372, 20});
    w.RzProgressBar2 = Make<QProgressBar>(w.RzGroupBox3, "RzProgressBar2");
    w.RzProgressBar2->setGeometry(14, 36, 372, 20);
    w.RzProgressBar2->setRange(0, 100);
    w.Button2 = Button(w.RzGroupBox3, "Button2", QStringLiteral("Cancel"), {158, 62, 84, 26});
    w.RzGroupBox3->hide();

    w.RzGroupBox2 = Area(central, "RzGroupBox2", QString(), {7, 524, 736, 216});
    w.RzLabel6 = Label(w.RzGroupBox2, "RzLabel6", QStringLiteral("search result :none     "),
                       {12, 10, 600, 20});
    w.SpeedButton1 = CloseButton(w.RzGroupBox2, "SpeedButton1", 736);
    w.Memo1 = Make<QPlainTextEdit>(w.RzGroupBox2, "Memo1");
    w.Memo1->setGeometry(12, 34, 712, 138);
    w.Memo1->setReadOnly(true);
    w.Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    w.Memo1->hide();
    w.RzButton11 = Button(w.RzGroupBox2, "RzButton11", QStringLiteral("Close"), {640, 180, 84, 26});
    w.RzGroupBox2->hide();

    w.RzGroupBox16 = Area(central, "RzGroupBox16", QString(), {208, 448, 345, 97});
    QGroupBox* g = w.RzGroupBox16;
    Label(g, "initialDataCaption", QStringLiteral("SELECT THE SOURCE FOR THE INITIAL DATA LOAD"),
          {8, 4, 310, 18});
    w.SpeedButton3 = CloseButton(g, "SpeedButton3", 345);
    Label(g, "sourceOne", QStringLiteral("1."), {8, 30, 14, 18});
    Label(g, "sourceIdLabel", QStringLiteral("Specify one device ID for initial data:"),
          {22, 30, 216, 18});
    w.RzEdit3 = Make<QLineEdit>(g, "RzEdit3");
    w.RzEdit3->setGeometry(240, 28, 44, 22);
    w.RzEdit3->setText(QStringLiteral("1"));
    w.Button10 = Button(g, "Button10", QStringLiteral("OK"), {290, 27, 44, 24});
    Label(g, "sourceTwo", QStringLiteral("2."), {8, 64, 14, 18});
    w.Button11 = Button(g, "Button11", QStringLiteral("Load one preset from PC as initial data"),
                        {22, 60, 312, 26});
    w.RzGroupBox16->hide();

    // The panels float over other areas: they paint their own background.
    for (QGroupBox* panel : {w.RzGroupBox1, w.RzGroupBox3, w.RzGroupBox2, w.RzGroupBox16}) {
        panel->setAutoFillBackground(true);
    }
}

} // namespace

ShellWidgets BuildShellWidgets(QMainWindow& window) {
    ShellWidgets w;
    QWidget* central = window.centralWidget();

    w.GroupBox2 = Area(central, "GroupBox2", QString(), {7, 2, 594, 90});
    w.GroupBox3 = Area(central, "GroupBox3", QString(), {7, 94, 594, 86});
    w.GroupBox1 = Area(central, "GroupBox1", QString(), {7, 186, 736, 68});
    w.RzGroupBox8 = Area(central, "RzGroupBox8", QString(), {7, 256, 736, 266});
    w.RzGroupBox12 = Area(central, "RzGroupBox12", QString(), {7, 524, 736, 216});
    w.Image20 = Make<QLabel>(central, "Image20");
    w.Image20->setGeometry(612, 6, 131, 173);

    BuildConnectionGroup(w);
    BuildFileGroup(w);
    BuildPanels(w, central);

    w.fileMenu = window.menuBar()->addMenu(QStringLiteral("File"));
    w.fileMenu->setObjectName(QStringLiteral("fileMenu"));
    w.N10 = w.fileMenu->addAction(QStringLiteral("Exit"));
    w.N10->setObjectName(QStringLiteral("N10"));
    w.helpMenu = window.menuBar()->addMenu(QStringLiteral("Help"));
    w.helpMenu->setObjectName(QStringLiteral("helpMenu"));
    w.N9 = w.helpMenu->addAction(QStringLiteral("QUELLATON Version 1.0"));
    w.N9->setObjectName(QStringLiteral("N9"));

    w.RzStatusPane1 = Make<QLabel>(window.statusBar(), "RzStatusPane1");
    w.RzStatusPane1->setText(QStringLiteral("STATUS:"));
    w.RzStatusPane2 = Make<QLabel>(window.statusBar(), "RzStatusPane2");
    window.statusBar()->addWidget(w.RzStatusPane1);
    window.statusBar()->addWidget(w.RzStatusPane2, 1);
    window.statusBar()->setSizeGripEnabled(false);
    return w;
}

void SetAreasEnabled(ShellWidgets& w, bool on) {
    for (QWidget* area :
         {static_cast<QWidget*>(w.GroupBox1), static_cast<QWidget*>(w.GroupBox2),
          static_cast<QWidget*>(w.GroupBox3), static_cast<QWidget*>(w.RzGroupBox8),
          static_cast<QWidget*>(w.RzGroupBox12), static_cast<QWidget*>(w.RzGroupBox4)}) {
        area->setEnabled(on);
    }
    w.fileMenu->setEnabled(on);
    w.helpMenu->setEnabled(on);
    w.fileMenu->menuAction()->setEnabled(on);
    w.helpMenu->menuAction()->setEnabled(on);
}

void UnlockAreas(ShellWidgets& w) {
    w.RzGroupBox1->hide();
    for (QWidget* area : {static_cast<QWidget*>(w.RzGroupBox8), static_cast<QWidget*>(w.GroupBox1),
                          static_cast<QWidget*>(w.GroupBox2), static_cast<QWidget*>(w.GroupBox3),
                          static_cast<QWidget*>(w.RzGroupBox12)}) {
        area->setEnabled(true);
    }
}

void ShowProgressBox(ShellWidgets& w, int left, int top) {
    w.RzGroupBox1->move(left, top);
    w.RzProgressBar1->setValue(0);
    w.RzGroupBox1->show();
    w.RzGroupBox1->raise();
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
