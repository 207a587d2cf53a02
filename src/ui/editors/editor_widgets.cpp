#include "editor_widgets.h"

#include "common/popups.h"
#include "common/toggle_button.h"
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
    static const char* const names[6] = {"MuteButton",    "GainButton",  "EqButton",
                                         "LimiterButton", "DelayButton", "PolarityButton"};
    const int rowWidth = 194;
    const int small = 8;
    for (int way = 0; way < 3; ++way) {
        WayRowWidgets& r = e.rows[way];
        const QString prefix = QLatin1String(prefixes[way]);
        r.group = Make<QGroupBox>(overview, prefix + QStringLiteral("Row"));
        r.group->setTitle(QLatin1String(titles[way]));
        r.group->setGeometry(4 + way * (rowWidth + 4), 1, rowWidth, 67);
        auto name = [&](int i) { return prefix + QLatin1String(names[i]); };
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
    e.mainEqButton = Button<ToggleButton>(e.mainRow, QStringLiteral("mainEqButton"),
                                          QStringLiteral("Main EQ"), {5, 19, 58, 21}, small);
    e.mainDelayButton = Button<ToggleButton>(e.mainRow, QStringLiteral("mainDelayButton"),
                                             QStringLiteral("Main delay"), {65, 19, 62, 21}, small);
    e.btlButton = Button<ToggleButton>(e.mainRow, QStringLiteral("btlButton"),
                                       QStringLiteral("BTL Mode"), {5, 42, 122, 21}, small);
}

void BuildPopups(EditorWidgets& e, QWidget* central) {
    e.gainPopup = Popup(central, QStringLiteral("gainPopup"), {177, 312}, &e.gainCaption,
                        &e.closeGainButton, QStringLiteral("closeGainButton"));
    e.gainFader = Make<FaderPicture>(e.gainPopup, QStringLiteral("gainFader"));
    e.gainFader->move(7, 26);
    e.gainField = Field(e.gainPopup, QStringLiteral("gainField"), {38, 281, 84, 22});
    e.gainField->setText(QStringLiteral("-12.0 dB"));
    e.gainStepper = Stepper(e.gainPopup, QStringLiteral("gainStepper"), {124, 281, 16, 22});
    e.gainStepper->bindKeys(e.gainField);

    e.limiterPopup = Popup(central, QStringLiteral("limiterPopup"), {184, 114}, &e.limiterCaption,
                           &e.closeLimiterButton, QStringLiteral("closeLimiterButton"));
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
    e.thresholdList =
        List(e.limiterPopup, QStringLiteral("thresholdList"), thresholds, {72, 28, 102, 22});
    Label(e.limiterPopup, QStringLiteral("attackLabel"), QStringLiteral("Attack"), {8, 56, 62, 22});
    e.attackList = List(e.limiterPopup, QStringLiteral("attackList"), attacks, {72, 56, 102, 22});
    Label(e.limiterPopup, QStringLiteral("releaseLabel"), QStringLiteral("Release"),
          {8, 84, 62, 22});
    e.releaseList =
        List(e.limiterPopup, QStringLiteral("releaseList"), releases, {72, 84, 102, 22});

    e.delayPopup = Popup(central, QStringLiteral("delayPopup"), {166, 90}, &e.delayCaption,
                         &e.closeDelayButton, QStringLiteral("closeDelayButton"));
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

    const QStringList bandTypes = {EqBandTypeText(0), EqBandTypeText(1), EqBandTypeText(2)};
    for (int k = 0; k < 6; ++k) {
        const int y = 36 + 24 * k;
        // "band1FrequencyField" .. "band6BypassBox".
        const auto name = [k](const char* what) {
            return QStringLiteral("band%1").arg(k + 1) + QLatin1String(what);
        };
        auto* label = Label(g, name("Label"), QString::number(k + 1), {8, y + 1, 18, 20}, centred);
        label->setAutoFillBackground(true);
        label->setFrameShape(QFrame::Box);
        e.bandLabels[k] = label;
        e.frequencyFields[k] = Field(g, name("FrequencyField"), {30, y, 72, 22});
        e.frequencySteppers[k] = Stepper(g, name("FrequencyStepper"), {103, y, 14, 22});
        e.qFields[k] = Field(g, name("QField"), {122, y, 43, 22});
        e.qSteppers[k] = Stepper(g, name("QStepper"), {166, y, 14, 22});
        e.gainFields[k] = Field(g, name("GainField"), {186, y, 62, 22});
        e.gainSteppers[k] = Stepper(g, name("GainStepper"), {249, y, 14, 22});
        e.typeLists[k] = List(g, name("TypeList"), bandTypes, {268, y, 54, 22});
        e.bypassBoxes[k] = Make<QCheckBox>(g, name("BypassBox"));
        e.bypassBoxes[k]->setText(QStringLiteral("Bypass"));
        e.bypassBoxes[k]->setGeometry(328, y, 60, 22);
        e.frequencySteppers[k]->bindKeys(e.frequencyFields[k]);
        e.qSteppers[k]->bindKeys(e.qFields[k]);
        e.gainSteppers[k]->bindKeys(e.gainFields[k]);
    }
    e.bassEnhancerButton = Button<ToggleButton>(area, QStringLiteral("bassEnhancerButton"),
                                                QStringLiteral("Bass Enhancer"), {4, 188, 124, 24});
    e.filtersResetButton = Button(area, QStringLiteral("filtersResetButton"),
                                  QStringLiteral("Filters reset"), {272, 188, 124, 24});
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
    e.highPassField = Field(g, QStringLiteral("highPassField"), {36, 24, 74, 22});
    e.highPassStepper = Stepper(g, QStringLiteral("highPassStepper"), {111, 24, 14, 22});
    e.highPassTypeList = List(g, QStringLiteral("highPassTypeList"), types, {129, 24, 90, 22});
    Label(g, QStringLiteral("lpfLabel"), QStringLiteral("LPF"), {8, 52, 28, 22});
    e.lowPassField = Field(g, QStringLiteral("lowPassField"), {36, 52, 74, 22});
    e.lowPassStepper = Stepper(g, QStringLiteral("lowPassStepper"), {111, 52, 14, 22});
    e.lowPassTypeList = List(g, QStringLiteral("lowPassTypeList"), types, {129, 52, 90, 22});
    e.highPassStepper->bindKeys(e.highPassField);
    e.lowPassStepper->bindKeys(e.lowPassField);
}

void BuildDelayGroup(EditorWidgets& e, QGroupBox* area) {
    e.delayGroup = Make<QGroupBox>(area, QStringLiteral("delayGroup"));
    e.delayGroup->setTitle(QStringLiteral("DELAY"));
    e.delayGroup->setGeometry(400, 90, 226, 122);
    QGroupBox* g = e.delayGroup;
    e.delayField = Field(g, QStringLiteral("delayField"), {63, 24, 100, 22});
    e.delayField->setText(DelayMsText(0));
    e.delayBar = Make<QScrollBar>(g, QStringLiteral("delayBar"));
    e.delayBar->setOrientation(Qt::Horizontal);
    e.delayBar->setRange(0, MaxDelaySteps);
    e.delayBar->setPageStep(10);
    // The bar is the only way to set a delay: the keyboard reaches it too, and moves it as a
    // value control (Right and Up more delay), not as a scroll bar.
    e.delayBar->setFocusPolicy(Qt::StrongFocus);
    e.delayBar->setInvertedControls(false);
    e.delayBar->setGeometry(10, 56, 206, 18);
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
    e.mainPolarityButton = Button<ToggleButton>(g, QStringLiteral("mainPolarityButton"),
                                                QStringLiteral("Pol(+)"), {8, 20, 86, 22});
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    Label(g, QStringLiteral("levelTopLabel"), QStringLiteral("0 dB"), {2, 46, 44, 14}, right);
    Label(g, QStringLiteral("levelLabel"), QStringLiteral("Level"), {2, 96, 44, 14}, right);
    Label(g, QStringLiteral("levelBottomLabel"), QStringLiteral("-60 dB"), {2, 146, 44, 14}, right);
    e.levelBar = Make<QSlider>(g, QStringLiteral("levelBar"));
    e.levelBar->setOrientation(Qt::Vertical);
    e.levelBar->setRange(0, MainLevelTop);
    e.levelBar->setInvertedAppearance(true); // position 0 (0 dB) at the top
    e.levelBar->setInvertedControls(true);
    e.levelBar->setPageStep(10);
    e.levelBar->setTickPosition(QSlider::TicksRight);
    e.levelBar->setTickInterval(25);
    e.levelBar->setValue(MainLevelTop);
    e.levelBar->setGeometry(52, 44, 34, 120);
    e.levelReadout = Label(g, QStringLiteral("levelReadout"), MasterFaderText(MainLevelTop),
                           {8, 164, 86, 16}, Qt::AlignCenter);
    e.mainMuteButton = Button<ToggleButton>(g, QStringLiteral("mainMuteButton"),
                                            QStringLiteral("Mute"), {8, 182, 86, 22});
}

} // namespace

EditorWidgets BuildEditorWidgets(ShellWidgets& shell, QWidget* central) {
    EditorWidgets e;
    BuildRows(e, shell.channelOverview);
    BuildEqTable(e, shell.editorArea);
    BuildCrossovers(e, shell.editorArea);
    BuildDelayGroup(e, shell.editorArea);
    BuildSignalGroup(e, shell.editorArea);
    BuildPopups(e, central);
    return e;
}

} // namespace quellaton
