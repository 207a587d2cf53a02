#include "editor_widgets.h"

#include "app/keyboard_navigation.h"
#include "app/toggle_button.h"
#include "dsp/scales.h"
#include "editors/editor_pictures.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace quellaton {

SpinButtons::SpinButtons(QWidget* parent) : QWidget(parent) {
    up_ = new QToolButton(this);
    up_->setObjectName(QStringLiteral("upButton"));
    up_->setArrowType(Qt::UpArrow);
    down_ = new QToolButton(this);
    down_->setObjectName(QStringLiteral("downButton"));
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {up_, down_}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoFillBackground(true);
        SetButtonColour(button, SpinButtonColour);
        button->setIconSize(QSize(7, 5));
    }
    connect(up_, &QToolButton::clicked, this, &SpinButtons::upClicked);
    connect(down_, &QToolButton::clicked, this, &SpinButtons::downClicked);
}

void SpinButtons::bindKeys(QWidget* field) {
    field_ = field;
    field->installEventFilter(this);
}

bool SpinButtons::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            QToolButton* half = key == Qt::Key_Up ? up_ : down_;
            if (half->isEnabled()) {
                half->click();
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SpinButtons::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}

FaderPicture::FaderPicture(QWidget* parent) : QWidget(parent) {
    setFixedSize(FaderWidth, FaderHeight);
    // The keyboard moves the knob too: Up and Down step the gain.
    setFocusPolicy(Qt::StrongFocus);
    // Moves without a button must arrive too: they tell that a drag's release was lost.
    setMouseTracking(true);
}

void FaderPicture::setPicture(QImage picture) {
    picture_ = std::move(picture);
    update();
}

void FaderPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void FaderPicture::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        emit stepUp();
        break;
    case Qt::Key_Down:
        emit stepDown();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void FaderPicture::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit pressed(event->position().toPoint());
    }
}

void FaderPicture::mouseMoveEvent(QMouseEvent* event) {
    // A move without the button held means its release went elsewhere (a modal box that
    // opened mid-drag swallows it): the drag is over.
    if (!(event->buttons() & Qt::LeftButton)) {
        emit released();
        return;
    }
    emit moved(event->position().toPoint());
}

void FaderPicture::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit released();
    }
}

namespace {

template <typename T> T* Make(QWidget* parent, const QString& name) {
    auto* widget = new T(parent);
    widget->setObjectName(name);
    return widget;
}

template <typename B = QPushButton>
B* Button(QWidget* parent, const QString& name, const QString& caption, QRect at,
          int pointSize = 0) {
    auto* button = Make<B>(parent, name);
    button->setText(caption);
    button->setGeometry(at);
    if (pointSize > 0) {
        QFont font = button->font();
        font.setPointSize(pointSize);
        button->setFont(font);
    }
    SetButtonColour(button, NormalButtonColour);
    return button;
}

QLabel* Label(QWidget* parent, const QString& name, const QString& text, QRect at,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = Make<QLabel>(parent, name);
    label->setText(text);
    label->setGeometry(at);
    label->setAlignment(align);
    return label;
}

QLineEdit* Field(QWidget* parent, const QString& name, QRect at) {
    auto* field = Make<QLineEdit>(parent, name);
    field->setGeometry(at);
    field->setAlignment(Qt::AlignCenter);
    return field;
}

SpinButtons* Stepper(QWidget* parent, const QString& name, QRect at) {
    auto* stepper = Make<SpinButtons>(parent, name);
    stepper->setGeometry(at);
    return stepper;
}

QComboBox* List(QWidget* parent, const QString& name, const QStringList& items, QRect at) {
    auto* list = Make<QComboBox>(parent, name);
    list->addItems(items);
    list->setGeometry(at);
    list->setCurrentIndex(0);
    return list;
}

QFrame* Popup(QWidget* central, const QString& name, QSize size, QLabel** caption,
              QToolButton** close, const QString& closeName) {
    auto* frame = Make<QFrame>(central, name);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Raised);
    frame->setLineWidth(2);
    frame->setAutoFillBackground(true);
    frame->resize(size);
    *caption =
        Label(frame, name + QStringLiteral("Caption"), QString(), {8, 4, size.width() - 34, 18});
    QFont bold = (*caption)->font();
    bold.setBold(true);
    (*caption)->setFont(bold);
    *close = Make<QToolButton>(frame, closeName);
    (*close)->setText(QStringLiteral("x"));
    (*close)->setGeometry(size.width() - 22, 4, 18, 18);
    frame->setProperty(PopupOpenerProperty, QVariant::fromValue<QObject*>(nullptr));
    frame->hide();
    return frame;
}

void BuildRows(EditorWidgets& e, QGroupBox* overview) {
    static const char* const titles[3] = {" High ", " Mid   ", " Low "};
    static const char* const prefixes[3] = {"high", "mid", "low"};
    // Mute, Gain, EQ/HPF/LPF, Limiter, Delay, polarity of each way.
    static const int names[3][6] = {
        {46, 45, 41, 43, 44, 1}, {52, 51, 47, 49, 50, 2}, {58, 57, 53, 55, 56, 3}};
    const int rowWidth = 194;
    const int small = 8;
    for (int way = 0; way < 3; ++way) {
        WayRowWidgets& r = e.rows[way];
        const QString prefix = QLatin1String(prefixes[way]);
        r.group = Make<QGroupBox>(overview, prefix + QStringLiteral("Row"));
        r.group->setTitle(QLatin1String(titles[way]));
        r.group->setGeometry(4 + way * (rowWidth + 4), 1, rowWidth, 67);
        auto name = [&](int i) { return QStringLiteral("RzButton%1").arg(names[way][i]); };
        r.mute =
            Button<ToggleButton>(r.group, name(0), QStringLiteral("Mute"), {33, 19, 38, 21}, small);
        r.gain =
            Button<ToggleButton>(r.group, name(1), QStringLiteral("Gain"), {73, 19, 38, 21}, small);
        r.eq = Button<ToggleButton>(r.group, name(2), QStringLiteral("EQ/HPF/LPF"),
                                    {113, 19, 78, 21}, small);
        r.limiter = Button<ToggleButton>(r.group, name(3), QStringLiteral("Limiter"),
                                         {33, 42, 50, 21}, small);
        r.delay = Button<ToggleButton>(r.group, name(4), QStringLiteral("Delay"), {85, 42, 44, 21},
                                       small);
        r.polarity =
            Button<ToggleButton>(r.group, name(5), QStringLiteral("+"), {131, 42, 60, 21}, small);
        r.icon = Make<QLabel>(r.group, prefix + QStringLiteral("RowIcon"));
        r.icon->setGeometry(4, 30, RowIconSize, RowIconSize);
        r.line = Make<QLabel>(r.group, prefix + QStringLiteral("RowLine"));
        r.line->setGeometry(28, 19, RowLineWidth, RowLineHeight);
    }

    e.mainRow = Make<QGroupBox>(overview, QStringLiteral("mainRow"));
    e.mainRow->setTitle(QStringLiteral(" Main "));
    e.mainRow->setGeometry(4 + 3 * (rowWidth + 4), 1, 132, 67);
    e.RzButton4 = Button<ToggleButton>(e.mainRow, QStringLiteral("RzButton4"),
                                       QStringLiteral("Main EQ"), {5, 19, 58, 21}, small);
    e.RzButton5 = Button<ToggleButton>(e.mainRow, QStringLiteral("RzButton5"),
                                       QStringLiteral("Main delay"), {65, 19, 62, 21}, small);
    e.RzButton7 = Button<ToggleButton>(e.mainRow, QStringLiteral("RzButton7"),
                                       QStringLiteral("BTL Mode"), {5, 42, 122, 21}, small);
}

void BuildPopups(EditorWidgets& e, QWidget* central) {
    e.gainPopup = Popup(central, QStringLiteral("gainPopup"), {177, 312}, &e.gainCaption,
                        &e.SpeedButton17, QStringLiteral("SpeedButton17"));
    e.Image2 = Make<FaderPicture>(e.gainPopup, QStringLiteral("Image2"));
    e.Image2->move(7, 26);
    e.RzEdit17 = Field(e.gainPopup, QStringLiteral("RzEdit17"), {38, 281, 84, 22});
    e.RzEdit17->setText(QStringLiteral("-12.0 dB"));
    e.SpinButton1 = Stepper(e.gainPopup, QStringLiteral("SpinButton1"), {124, 281, 16, 22});
    e.SpinButton1->bindKeys(e.RzEdit17);

    e.limiterPopup = Popup(central, QStringLiteral("limiterPopup"), {184, 114}, &e.limiterCaption,
                           &e.SpeedButton21, QStringLiteral("SpeedButton21"));
    QStringList thresholds;
    for (int code = 0; code < LimiterThresholdCount; ++code) {
        thresholds << LimiterThresholdText(code);
    }
    QStringList attacks;
    for (int code = 0; code < LimiterAttackCount; ++code) {
        attacks << LimiterAttackText(code);
    }
    QStringList releases;
    for (int code = 0; code < LimiterReleaseCount; ++code) {
        releases << LimiterReleaseText(code);
    }
    Label(e.limiterPopup, QStringLiteral("thresholdLabel"), QStringLiteral("Threshold"),
          {8, 28, 62, 22});
    e.RzComboBox2 =
        List(e.limiterPopup, QStringLiteral("RzComboBox2"), thresholds, {72, 28, 102, 22});
    Label(e.limiterPopup, QStringLiteral("attackLabel"), QStringLiteral("Attack"), {8, 56, 62, 22});
    e.RzComboBox3 = List(e.limiterPopup, QStringLiteral("RzComboBox3"), attacks, {72, 56, 102, 22});
    Label(e.limiterPopup, QStringLiteral("releaseLabel"), QStringLiteral("Release"),
          {8, 84, 62, 22});
    e.RzComboBox5 =
        List(e.limiterPopup, QStringLiteral("RzComboBox5"), releases, {72, 84, 102, 22});

    e.delayPopup = Popup(central, QStringLiteral("delayPopup"), {166, 90}, &e.delayCaption,
                         &e.SpeedButton18, QStringLiteral("SpeedButton18"));
    e.delayPicture = Make<QLabel>(e.delayPopup, QStringLiteral("delayPicture"));
    e.delayPicture->setGeometry(8, 26, DelayPictureWidth, DelayPictureHeight);
}

void BuildEqTable(EditorWidgets& e, QGroupBox* area) {
    e.eqGroup = Make<QGroupBox>(area, QStringLiteral("eqGroup"));
    e.eqGroup->setTitle(QStringLiteral("PARAMETRIC EQUALIZATION"));
    e.eqGroup->setGeometry(4, 2, 392, 184);
    QGroupBox* g = e.eqGroup;
    const Qt::Alignment centred = Qt::AlignCenter;
    Label(g, QStringLiteral("frequencyHeader"), QStringLiteral("  Frequency "), {30, 18, 87, 16},
          centred);
    Label(g, QStringLiteral("qHeader"), QStringLiteral("   Q Value   "), {120, 18, 62, 16},
          centred);
    Label(g, QStringLiteral("gainHeader"), QStringLiteral("       Gain     "), {184, 18, 80, 16},
          centred);
    Label(g, QStringLiteral("typeHeader"), QStringLiteral("     Type     "), {266, 18, 58, 16},
          centred);

    static const int labels[6] = {93, 94, 100, 101, 102, 103};
    static const int frequencies[6] = {94, 95, 96, 97, 98, 111};
    static const int qs[6] = {99, 102, 103, 104, 105, 112};
    static const int gains[6] = {106, 107, 108, 109, 110, 113};
    static const int types[6] = {66, 67, 72, 73, 74, 75};
    static const int frequencySteppers[6] = {82, 83, 84, 85, 86, 87};
    static const int qSteppers[6] = {75, 78, 79, 80, 81, 88};
    static const int gainSteppers[6] = {70, 71, 72, 73, 74, 89};
    const QStringList bandTypes = {EqBandTypeText(0), EqBandTypeText(1), EqBandTypeText(2)};
    for (int k = 0; k < 6; ++k) {
        const int y = 36 + 24 * k;
        auto* label = Label(g, QStringLiteral("RzLabel%1").arg(labels[k]), QString::number(k + 1),
                            {8, y + 1, 18, 20}, centred);
        label->setAutoFillBackground(true);
        label->setFrameShape(QFrame::Box);
        e.bandLabels[k] = label;
        e.frequencyFields[k] =
            Field(g, QStringLiteral("RzEdit%1").arg(frequencies[k]), {30, y, 72, 22});
        e.frequencySteppers[k] = Stepper(
            g, QStringLiteral("RzSpinButtons%1").arg(frequencySteppers[k]), {103, y, 14, 22});
        e.qFields[k] = Field(g, QStringLiteral("RzEdit%1").arg(qs[k]), {122, y, 43, 22});
        e.qSteppers[k] =
            Stepper(g, QStringLiteral("RzSpinButtons%1").arg(qSteppers[k]), {166, y, 14, 22});
        e.gainFields[k] = Field(g, QStringLiteral("RzEdit%1").arg(gains[k]), {186, y, 62, 22});
        e.gainSteppers[k] =
            Stepper(g, QStringLiteral("RzSpinButtons%1").arg(gainSteppers[k]), {249, y, 14, 22});
        e.typeLists[k] =
            List(g, QStringLiteral("RzComboBox%1").arg(types[k]), bandTypes, {268, y, 54, 22});
        e.bypassBoxes[k] = Make<QCheckBox>(g, QStringLiteral("RzCheckBox%1").arg(k + 1));
        e.bypassBoxes[k]->setText(QStringLiteral("Bypass"));
        e.bypassBoxes[k]->setGeometry(328, y, 60, 22);
        e.frequencySteppers[k]->bindKeys(e.frequencyFields[k]);
        e.qSteppers[k]->bindKeys(e.qFields[k]);
        e.gainSteppers[k]->bindKeys(e.gainFields[k]);
    }
    e.RzButton98 = Button<ToggleButton>(area, QStringLiteral("RzButton98"),
                                        QStringLiteral("Bass Enhancer"), {4, 188, 124, 24});
    e.RzButton97 = Button(area, QStringLiteral("RzButton97"), QStringLiteral("Filters reset"),
                          {272, 188, 124, 24});
}

void BuildCrossovers(EditorWidgets& e, QGroupBox* area) {
    e.crossoverGroup = Make<QGroupBox>(area, QStringLiteral("crossoverGroup"));
    e.crossoverGroup->setTitle(QStringLiteral("HIGH PASS/LOW PASS"));
    e.crossoverGroup->setGeometry(400, 2, 226, 84);
    QGroupBox* g = e.crossoverGroup;
    QStringList types;
    for (int t = 0; t < CrossoverTypeListCount; ++t) {
        types << CrossoverTypeText(t);
    }
    Label(g, QStringLiteral("hpfLabel"), QStringLiteral("HPF"), {8, 24, 28, 22});
    e.RzEdit205 = Field(g, QStringLiteral("RzEdit205"), {36, 24, 74, 22});
    e.RzSpinButtons181 = Stepper(g, QStringLiteral("RzSpinButtons181"), {111, 24, 14, 22});
    e.RzComboBox69 = List(g, QStringLiteral("RzComboBox69"), types, {129, 24, 90, 22});
    Label(g, QStringLiteral("lpfLabel"), QStringLiteral("LPF"), {8, 52, 28, 22});
    e.RzEdit206 = Field(g, QStringLiteral("RzEdit206"), {36, 52, 74, 22});
    e.RzSpinButtons182 = Stepper(g, QStringLiteral("RzSpinButtons182"), {111, 52, 14, 22});
    e.RzComboBox71 = List(g, QStringLiteral("RzComboBox71"), types, {129, 52, 90, 22});
    e.RzSpinButtons181->bindKeys(e.RzEdit205);
    e.RzSpinButtons182->bindKeys(e.RzEdit206);
}

void BuildDelayGroup(EditorWidgets& e, QGroupBox* area) {
    e.delayGroup = Make<QGroupBox>(area, QStringLiteral("delayGroup"));
    e.delayGroup->setTitle(QStringLiteral("DELAY"));
    e.delayGroup->setGeometry(400, 90, 226, 122);
    QGroupBox* g = e.delayGroup;
    e.RzEdit18 = Field(g, QStringLiteral("RzEdit18"), {63, 24, 100, 22});
    e.RzEdit18->setText(DelayMsText(0));
    e.ScrollBar1 = Make<QScrollBar>(g, QStringLiteral("ScrollBar1"));
    e.ScrollBar1->setOrientation(Qt::Horizontal);
    e.ScrollBar1->setRange(0, MaxDelaySteps);
    e.ScrollBar1->setPageStep(10);
    // The bar is the only way to set a delay: the keyboard reaches it too, and moves it as a
    // value control (Right and Up more delay), not as a scroll bar.
    e.ScrollBar1->setFocusPolicy(Qt::StrongFocus);
    e.ScrollBar1->setInvertedControls(false);
    e.ScrollBar1->setGeometry(10, 56, 206, 18);
    e.delayMetreLabel = Label(g, QStringLiteral("delayMetreLabel"), DelayMetreText(0),
                              {10, 84, 100, 20}, Qt::AlignCenter);
    e.delayFeetLabel = Label(g, QStringLiteral("delayFeetLabel"), DelayFeetText(0),
                             {116, 84, 100, 20}, Qt::AlignCenter);
    for (QLabel* label : {e.delayMetreLabel, e.delayFeetLabel}) {
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
    }
}

void BuildSignalGroup(EditorWidgets& e, QGroupBox* area) {
    e.signalGroup = Make<QGroupBox>(area, QStringLiteral("signalGroup"));
    e.signalGroup->setTitle(QStringLiteral("SIGNAL"));
    e.signalGroup->setGeometry(630, 2, 102, 210);
    QGroupBox* g = e.signalGroup;
    e.RzButton6 = Button<ToggleButton>(g, QStringLiteral("RzButton6"), QStringLiteral("Pol(+)"),
                                       {8, 20, 86, 22});
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    Label(g, QStringLiteral("levelTopLabel"), QStringLiteral("0 dB"), {2, 46, 44, 14}, right);
    Label(g, QStringLiteral("levelLabel"), QStringLiteral("Level"), {2, 96, 44, 14}, right);
    Label(g, QStringLiteral("levelBottomLabel"), QStringLiteral("-60 dB"), {2, 146, 44, 14}, right);
    e.TrackBar1 = Make<QSlider>(g, QStringLiteral("TrackBar1"));
    e.TrackBar1->setOrientation(Qt::Vertical);
    e.TrackBar1->setRange(0, MainLevelTop);
    e.TrackBar1->setInvertedAppearance(true); // position 0 (0 dB) at the top
    e.TrackBar1->setInvertedControls(true);
    e.TrackBar1->setPageStep(10);
    e.TrackBar1->setTickPosition(QSlider::TicksRight);
    e.TrackBar1->setTickInterval(25);
    e.TrackBar1->setValue(MainLevelTop);
    e.TrackBar1->setGeometry(52, 44, 34, 120);
    e.levelReadout = Label(g, QStringLiteral("levelReadout"), MasterFaderText(MainLevelTop),
                           {8, 164, 86, 16}, Qt::AlignCenter);
    e.RzButton12 = Button<ToggleButton>(g, QStringLiteral("RzButton12"), QStringLiteral("Mute"),
                                        {8, 182, 86, 22});
}

} // namespace

EditorWidgets BuildEditorWidgets(ShellWidgets& shell, QWidget* central) {
    EditorWidgets e;
    BuildRows(e, shell.GroupBox1);
    BuildEqTable(e, shell.RzGroupBox12);
    BuildCrossovers(e, shell.RzGroupBox12);
    BuildDelayGroup(e, shell.RzGroupBox12);
    BuildSignalGroup(e, shell.RzGroupBox12);
    BuildPopups(e, central);
    return e;
}

} // namespace quellaton
