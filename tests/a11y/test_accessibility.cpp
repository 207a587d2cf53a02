// The window as a screen reader sees it, read through the real accessibility interface: every
// interactive control of the connected window, its popups and the dialogs has a name, no two
// share one, names follow the section shown, and value controls give values with units.
#include "editor_test_helpers.h"

#include "common/dialogs.h"
#include "graph/response_graph.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleValueInterface>
#include <QMessageBox>
#include <QTest>

using namespace quellaton;
using namespace editortest;

namespace {

QAccessibleInterface* Of(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}
QString NameOf(QObject* object) {
    QAccessibleInterface* iface = Of(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}
QString ValueOf(QObject* object) {
    QAccessibleInterface* iface = Of(object);
    return iface ? iface->text(QAccessible::Value) : QString();
}

// What a user can act on: buttons, boxes, lists, fields, bars, links, menu items, and
// anything that takes the focus or can be dragged.
bool Interactive(QAccessibleInterface* iface) {
    switch (iface->role()) {
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::Slider:
    case QAccessible::ScrollBar:
    case QAccessible::SpinBox:
    case QAccessible::Dial:
    case QAccessible::ButtonDropDown:
    case QAccessible::ButtonMenu:
    case QAccessible::Link:
    case QAccessible::MenuItem:
        return true;
    default:
        break;
    }
    const QAccessible::State state = iface->state();
    return state.focusable || state.movable;
}

struct Control {
    QString name;
    QString where; // object name, or the parent's for items without an object
};

// The interactive controls under `root`, leaving out what is hidden (unless `hidden`), and the
// entries of drop-down lists (the list's value is the entry).
void Collect(QAccessibleInterface* iface, bool hidden, QString where, QList<Control>& out) {
    if (!iface || (!hidden && iface->state().invisible)) {
        return;
    }
    if (iface->object() && !iface->object()->objectName().isEmpty()) {
        where = iface->object()->objectName();
    }
    if (Interactive(iface)) {
        out.append({iface->text(QAccessible::Name).trimmed(), where});
    }
    if (iface->role() == QAccessible::ComboBox) {
        return;
    }
    for (int i = 0; i < iface->childCount(); ++i) {
        Collect(iface->child(i), hidden, where, out);
    }
}

// A message for every control without a name and every name used twice.
QStringList Faults(const QList<Control>& controls) {
    QStringList faults;
    QHash<QString, QString> seen;
    for (const Control& c : controls) {
        if (c.name.isEmpty()) {
            faults << QStringLiteral("no name: %1").arg(c.where);
        } else if (seen.contains(c.name)) {
            faults << QStringLiteral("'%1' twice: %2 and %3").arg(c.name, seen[c.name], c.where);
        } else {
            seen.insert(c.name, c.where);
        }
    }
    return faults;
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { app_.reset(); }
    void everyControlNamedOnce_data();
    void everyControlNamedOnce();
    void dialogsNamedOnce_data();
    void dialogsNamedOnce();
    void namesFollowTheSection_data();
    void namesFollowTheSection();
    void valuesCarryUnits();
    void dropDownEntryIsTextAndSelection();
    void graphHandlesAreItems();
    void togglesReportTheirState();

private:
    EditorWidgets& e() { return Editors(*app_); }
    std::unique_ptr<AppFixture> app_;
};

void TestAccessibility::initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    app_ = std::make_unique<AppFixture>();
    QVERIFY(OpenEditors(*app_));
    QVERIFY(app_->connectTo(1));
}

void TestAccessibility::everyControlNamedOnce_data() {
    QTest::addColumn<QString>("opener");
    QTest::addColumn<QString>("shown");
    QTest::newRow("connected window") << "mainEqButton"
                                      << "editorArea";
    QTest::newRow("High gain popup") << "highGainButton"
                                     << "gainPopup";
    QTest::newRow("Mid limiter popup") << "midLimiterButton"
                                       << "limiterPopup";
    QTest::newRow("Low delay popup") << "lowDelayButton"
                                     << "delayPopup";
    QTest::newRow("High equaliser") << "highEqButton"
                                    << "eqGroup";
    QTest::newRow("search result") << "searchResultButton"
                                   << "searchResultPanel";
}

// The connected window walked from its root, with each popup or view opened by its button.
void TestAccessibility::everyControlNamedOnce() {
    QFETCH(QString, opener);
    QFETCH(QString, shown);
    auto* button = app_->window->findChild<QAbstractButton*>(opener);
    QVERIFY(button);
    button->click();
    QWidget* view = app_->window->findChild<QWidget*>(shown);
    QVERIFY(WaitUntil([&] { return view->isVisible(); }, 3000));

    QList<Control> controls;
    Collect(Of(app_->window.get()), false, QString(), controls);
    // The whole window is there: the top groups, the channel rows, the graph's six handles,
    // the view just opened.
    QVERIFY2(controls.size() >= 45, qPrintable(QString::number(controls.size())));
    QList<Control> inView;
    Collect(Of(view), false, QString(), inView);
    QVERIFY(!inView.isEmpty());
    const QStringList faults = Faults(controls);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("\n"))));
    if (shown == QLatin1String("searchResultPanel")) {
        app_->widgets().resultCloseButton->click();
    }
}

void TestAccessibility::dialogsNamedOnce_data() {
    QTest::addColumn<QString>("dialog");
    QTest::newRow("confirmation") << "ConfirmationDialog";
    QTest::newRow("about box") << "AboutBox";
    QTest::newRow("BTL picture") << "BtlPictureDialog";
}

// Each dialog, shown, walked from its root.
void TestAccessibility::dialogsNamedOnce() {
    QFETCH(QString, dialog);
    auto* box = app_->window->findChild<QDialog*>(dialog);
    QVERIFY(box);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box));
    QList<Control> controls;
    Collect(Of(box), false, QString(), controls);
    box->hide();
    const QStringList faults = Faults(controls);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("\n"))));
    QVERIFY(!NameOf(box).isEmpty());
    if (dialog == QLatin1String("AboutBox")) {
        // The link is a control of its own, reachable by keyboard.
        auto* about = static_cast<AboutBox*>(box);
        QCOMPARE(NameOf(about->addressLabel), QStringLiteral("Support web address"));
        QVERIFY(about->addressLabel->textInteractionFlags() & Qt::LinksAccessibleByKeyboard);
        QVERIFY(about->addressLabel->focusPolicy() & Qt::TabFocus);
    }
}

void TestAccessibility::namesFollowTheSection_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("High band 3 frequency") << "highEqButton"
                                           << "band3FrequencyField"
                                           << "High band 3 frequency";
    QTest::newRow("Main band 3 frequency") << "mainEqButton"
                                           << "band3FrequencyField"
                                           << "Main band 3 frequency";
    QTest::newRow("Mid band 6 Q") << "midEqButton"
                                  << "band6QField"
                                  << "Mid band 6 Q";
    QTest::newRow("Low band 1 gain") << "lowEqButton"
                                     << "band1GainField"
                                     << "Low band 1 gain";
    QTest::newRow("band type") << "highEqButton"
                               << "band4TypeList"
                               << "High band 4 type";
    QTest::newRow("bypass") << "mainEqButton"
                            << "band3BypassBox"
                            << "Main band 3 bypass";
    QTest::newRow("frequency up") << "mainEqButton"
                                  << "band3FrequencyStepper/upButton"
                                  << "Main band 3 frequency up";
    QTest::newRow("gain down") << "midEqButton"
                               << "band6GainStepper/downButton"
                               << "Mid band 6 gain down";
    QTest::newRow("low-pass type") << "lowEqButton"
                                   << "lowPassTypeList"
                                   << "Low low-pass crossover type";
    QTest::newRow("high-pass up") << "mainEqButton"
                                  << "highPassStepper/upButton"
                                  << "Main high-pass crossover frequency up";
    QTest::newRow("graph") << "midEqButton"
                           << "responseGraph"
                           << "Response graph of Mid";
    QTest::newRow("gain field") << "midGainButton"
                                << "gainField"
                                << "Mid gain";
    QTest::newRow("gain fader") << "lowGainButton"
                                << "gainFader"
                                << "Low gain fader";
    QTest::newRow("gain up") << "highGainButton"
                             << "gainStepper/upButton"
                             << "High gain up";
    QTest::newRow("gain panel close") << "highGainButton"
                                      << "closeGainButton"
                                      << "Close High gain panel";
    QTest::newRow("threshold") << "lowLimiterButton"
                               << "thresholdList"
                               << "Low limiter threshold";
    QTest::newRow("delay bar") << "midDelayButton"
                               << "delayBar"
                               << "Mid delay";
    QTest::newRow("Main delay bar") << "mainDelayButton"
                                    << "delayBar"
                                    << "Main delay";
    QTest::newRow("way mute") << "mainEqButton"
                              << "highMuteButton"
                              << "High way mute";
    QTest::newRow("Main mute") << "mainEqButton"
                               << "mainMuteButton"
                               << "Main mute";
    QTest::newRow("Main level") << "mainEqButton"
                                << "levelBar"
                                << "Main level";
    QTest::newRow("device ID to set") << "mainEqButton"
                                      << "newIdField"
                                      << "Device ID to set";
    QTest::newRow("preset name") << "mainEqButton"
                                 << "presetNameField"
                                 << "User preset name";
    QTest::newRow("connection indicator") << "mainEqButton"
                                          << "connectionIndicator"
                                          << "Connection indicator";
}

// After a section's (or a way's popup's) button, its controls say which section they edit.
void TestAccessibility::namesFollowTheSection() {
    QFETCH(QString, button);
    QFETCH(QString, control);
    QFETCH(QString, name);
    app_->window->findChild<QAbstractButton*>(button)->click();
    QObject* target = app_->window.get();
    for (const QString& part : control.split(QLatin1Char('/'))) {
        target = target->findChild<QObject*>(part);
        QVERIFY2(target, qPrintable(part));
    }
    QCOMPARE(NameOf(target), name);
    // The visible caption is the one it always was.
    if (auto* caption = qobject_cast<QAbstractButton*>(target)) {
        QVERIFY(caption->text() != name);
    }
}

void TestAccessibility::valuesCarryUnits() {
    UnitSession& s = app_->session();
    e().mainEqButton->click();
    // Fields read as they show, units included.
    QCOMPARE(ValueOf(e().frequencyFields[0]),
             FrequencyText(s.model().image().bands[BandIndex(Main, 0)].frequencyIndex));
    QVERIFY(ValueOf(e().frequencyFields[0]).endsWith(QLatin1String(" Hz")));
    QVERIFY(ValueOf(e().gainFields[0]).endsWith(QLatin1String(" dB")));

    // The delay bar: its time and distances, and the time in ms behind them, which assistive
    // technology can also set.
    e().mainDelayButton->click();
    e().delayBar->setValue(412);
    QCOMPARE(ValueOf(e().delayBar), QStringLiteral("8.652 ms, 2.980 m, 9.777 ft"));
    QAccessibleValueInterface* delay = Of(e().delayBar)->valueInterface();
    QCOMPARE(delay->currentValue().toDouble(), 8.652);
    QCOMPARE(delay->maximumValue().toDouble(), 8.652);
    QCOMPARE(delay->minimumStepSize().toDouble(), 0.021);
    QCOMPARE(Of(e().delayBar)->textInterface()->text(0, -1), ValueOf(e().delayBar));
    delay->setCurrentValue(2.1);
    QCOMPARE(e().delayBar->value(), 100);
    QCOMPARE(s.model().image().delay[Main], 100);

    // The Main level reads as its readout does, in dB behind it; Mute is below -60.0 dB.
    e().levelBar->setValue(60);
    QCOMPARE(ValueOf(e().levelBar), QStringLiteral("-12.0 dB"));
    QAccessibleValueInterface* level = Of(e().levelBar)->valueInterface();
    QCOMPARE(level->currentValue().toDouble(), -12.0);
    e().levelBar->setValue(MainLevelTop);
    QCOMPARE(ValueOf(e().levelBar), QStringLiteral("Mute"));
    QCOMPARE(level->currentValue().toDouble(), level->minimumValue().toDouble());
    level->setCurrentValue(-3.0);
    QCOMPARE(Of(e().levelBar)->textInterface()->text(0, -1), QStringLiteral("-3.0 dB"));

    // The gain fader reads the way's gain in dB, and follows the stepper.
    e().rows[High].gain->click();
    QCOMPARE(ValueOf(e().gainFader), OutputGainText(s.model().image().gainIndex[High]));
    e().gainStepper->upButton()->click();
    QCOMPARE(ValueOf(e().gainFader), OutputGainText(s.model().image().gainIndex[High]));
    QVERIFY(ValueOf(e().gainFader).endsWith(QLatin1String(" dB")));
    QCOMPARE(Of(e().gainFader)->role(), QAccessible::Slider);
    QCOMPARE(Of(e().gainFader)->valueInterface()->currentValue().toDouble(),
             OutputGainTable[s.model().image().gainIndex[High]]);
}

// A drop-down list's entry is its text and the selected entry of its list, also when the unit
// changed it (the program then sets the entry without signals).
void TestAccessibility::dropDownEntryIsTextAndSelection() {
    UnitSession& s = app_->session();
    e().mainEqButton->click();
    QComboBox* list = e().typeLists[1];
    QAccessibleInterface* combo = Of(list);
    auto selectedEntries = [&] {
        QStringList selected;
        QAccessibleInterface* entries = combo->child(0);
        for (int i = 0; entries && i < entries->childCount(); ++i) {
            QAccessibleInterface* entry = entries->child(i);
            if (entry && entry->state().selected) {
                selected.append(entry->text(QAccessible::Name));
            }
        }
        return selected;
    };
    QCOMPARE(combo->text(QAccessible::Name), QStringLiteral("Main band 2 type"));
    ParameterImage image = s.model().image();
    for (int type : {1, 2, 0}) {
        image.bands[BandIndex(Main, 1)].type = type;
        s.model().replaceImage(image);
        QCOMPARE(list->currentIndex(), type);
        QVERIFY(combo->textInterface());
        QCOMPARE(combo->textInterface()->text(0, -1), list->currentText());
        QCOMPARE(combo->text(QAccessible::Value), list->currentText());
        QCOMPARE(selectedEntries(), QStringList{list->currentText()});
    }
}

// One accessible item per band handle of the shown section, with its frequency and gain, its
// place on screen, and whether it can be dragged now.
void TestAccessibility::graphHandlesAreItems() {
    UnitSession& s = app_->session();
    ResponseGraph& graph = app_->window->graph();
    app_->window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(app_->window.get()));
    e().rows[Low].eq->click();
    QAccessibleInterface* chart = Of(&graph);
    QCOMPARE(chart->childCount(), 6);
    for (int k = 0; k < 6; ++k) {
        QAccessibleInterface* handle = chart->child(k);
        QVERIFY(handle);
        QCOMPARE(chart->indexOfChild(handle), k);
        QCOMPARE(handle->parent(), chart);
        const EqBand& band = s.model().image().bands[BandIndex(Low, k)];
        QCOMPARE(handle->text(QAccessible::Name), QStringLiteral("Low band %1 handle").arg(k + 1));
        QCOMPARE(handle->text(QAccessible::Value),
                 QStringLiteral("%1, %2, %3")
                     .arg(FrequencyText(band.frequencyIndex), EqGainText(band.activeGain()),
                          EqBandTypeText(band.type)));
        const QPoint centre = graph.mapToGlobal(graph.handle(BandIndex(Low, k)));
        QVERIFY(handle->rect().contains(centre));
        QVERIFY(handle->state().movable);
        QVERIFY(!handle->state().invisible);
    }
    QCOMPARE(chart->childAt(graph.mapToGlobal(graph.handle(BandIndex(Low, 2))).x(),
                            graph.mapToGlobal(graph.handle(BandIndex(Low, 2))).y()),
             chart->child(2));

    // A typed frequency moves the handle, and the item tells the new values.
    QVERIFY(TypeAndLeave(*app_, e().frequencyFields[2], QStringLiteral("1000")));
    QVERIFY(chart->child(2)->text(QAccessible::Value).startsWith(QLatin1String("1000.0 Hz, ")));
    QVERIFY(chart->child(2)->rect().contains(graph.mapToGlobal(graph.handle(BandIndex(Low, 2)))));

    // Another way's popup: the handles shown cannot be dragged now, and say so.
    e().rows[Mid].gain->click();
    QVERIFY(chart->child(2)->state().disabled);
    QVERIFY(!chart->child(2)->state().movable);
    QCOMPARE(chart->child(2)->text(QAccessible::Name), QStringLiteral("Low band 3 handle"));
}

void TestAccessibility::togglesReportTheirState() {
    UnitSession& s = app_->session();
    auto checked = [](QWidget* w) { return Of(w)->state().checked; };
    QPushButton* mute = e().rows[Low].mute;
    QVERIFY(Of(mute)->state().checkable);
    const bool muted = s.model().image().onFlag[Low] == 0;
    QCOMPARE(checked(mute), muted);
    mute->click();
    QCOMPARE(checked(mute), !muted);
    mute->click();
    QCOMPARE(checked(mute), muted);

    QPushButton* polarity = e().rows[Mid].polarity;
    const bool inverted = s.model().image().polarity[Mid] != 0;
    QCOMPARE(checked(polarity), inverted);
    polarity->click();
    QCOMPARE(checked(polarity), !inverted);
    QCOMPARE(polarity->text(), inverted ? QStringLiteral("+") : QStringLiteral("-"));

    // The toggle action of assistive technology acts as a click: the handler runs, and the
    // state shown is the one it decided.
    QAccessibleActionInterface* actions = Of(mute)->actionInterface();
    QVERIFY(actions);
    QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    const int onFlag = s.model().image().onFlag[Low];
    actions->doAction(QAccessibleActionInterface::toggleAction());
    QCOMPARE(s.model().image().onFlag[Low], 1 - onFlag);
    QCOMPARE(checked(mute), s.model().image().onFlag[Low] == 0);
    QCOMPARE(ButtonColour(mute),
             s.model().image().onFlag[Low] == 0 ? ActiveButtonColour : NormalButtonColour);
    actions->doAction(QAccessibleActionInterface::toggleAction());
    QCOMPARE(s.model().image().onFlag[Low], onFlag);
    QCOMPARE(checked(mute), muted);

    // A selected panel is checked, the others not.
    e().rows[High].limiter->click();
    QVERIFY(checked(e().rows[High].limiter));
    QVERIFY(!checked(e().rows[Mid].limiter));
    e().rows[Mid].limiter->click();
    QVERIFY(!checked(e().rows[High].limiter));
    QVERIFY(checked(e().rows[Mid].limiter));

    // Answering No to the BTL question leaves it unchecked; Yes checks it.
    app_->answerer.setQuestionAnswer(false);
    e().btlButton->click();
    QVERIFY(WaitUntil([&] { return !QApplication::activeModalWidget(); }, 3000));
    QCOMPARE(checked(e().btlButton), s.model().image().btlMode != 0);
    app_->answerer.setQuestionAnswer(true);
}

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
