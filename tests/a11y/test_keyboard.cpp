// Keyboard use of the connected window: Tab walks the controls row by row, a popup's controls
// follow the button that opened it, the arrow keys step what the steppers step, the delay bar
// and the gain fader take keys, and F10 opens the menus.
#include "editor_test_helpers.h"

#include "window/keyboard_navigation.h"

#include <QMenu>
#include <QTest>

using namespace quellaton;
using namespace editortest;

namespace {

// Where a control's middle sits in the window's central area.
QPoint Middle(const QWidget* widget, const QWidget* central) {
    return widget->mapTo(central, QPoint(widget->width() / 2, widget->height() / 2));
}

} // namespace

class TestKeyboard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { app_.reset(); }
    void tabWalksRowByRow();
    void popupControlsFollowTheirButton_data();
    void popupControlsFollowTheirButton();
    void arrowKeysStep_data();
    void arrowKeysStep();
    void delayBarTakesKeys();
    void f10OpensTheMenus();

private:
    EditorWidgets& e() { return Editors(*app_); }
    // The controls Tab visits from `start` until it comes back (at most `limit`).
    QList<QWidget*> tabCycle(QWidget* start, int limit = 300) {
        QList<QWidget*> visited;
        if (!FocusOn(start)) {
            return visited;
        }
        for (int i = 0; i < limit; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* now = QApplication::focusWidget();
            if (!now || now == start) {
                break;
            }
            visited.append(now);
        }
        return visited;
    }
    std::unique_ptr<AppFixture> app_;
};

void TestKeyboard::initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    app_ = std::make_unique<AppFixture>();
    QVERIFY(OpenEditors(*app_));
    QVERIFY(app_->connectTo(1));
    // "Disconnect" takes the focus again once it is enabled, 2 s after the click.
    QVERIFY(WaitUntil([&] { return app_->widgets().connectButton->isEnabled(); }, 3000));
}

// Each step goes right along the row, or down to a later row; the walk reaches every control
// that can take the focus, once.
void TestKeyboard::tabWalksRowByRow() {
    QWidget* central = app_->window->centralWidget();
    QWidget* start = app_->widgets().broadcastButton;
    QList<QWidget*> cycle = tabCycle(start);
    cycle.prepend(start);
    // The cycle starts anywhere: turn it to begin where it wraps from the bottom to the top.
    for (qsizetype i = 1; i < cycle.size(); ++i) {
        if (Middle(cycle[i], central).y() <
            Middle(cycle[i - 1], central).y() - KeyboardNavigation::RowTolerance) {
            std::rotate(cycle.begin(), cycle.begin() + i, cycle.end());
            break;
        }
    }

    QStringList names;
    for (QWidget* widget : cycle) {
        names.append(widget->objectName());
    }
    for (qsizetype i = 1; i < cycle.size(); ++i) {
        const QPoint a = Middle(cycle[i - 1], central);
        const QPoint b = Middle(cycle[i], central);
        const bool sameRowRightwards =
            std::abs(b.y() - a.y()) <= KeyboardNavigation::RowTolerance && b.x() > a.x();
        const bool laterRow = b.y() > a.y();
        QVERIFY2(sameRowRightwards || laterRow,
                 qPrintable(QStringLiteral("%1 then %2 in %3")
                                .arg(names[i - 1], names[i], names.join(QLatin1Char(' ')))));
    }
    QList<QWidget*> reachable;
    for (QWidget* widget : central->findChildren<QWidget*>()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisible() && widget->isEnabled() &&
            widget->window() == app_->window.get()) {
            reachable.append(widget);
        }
    }
    QCOMPARE(QSet<QWidget*>(cycle.begin(), cycle.end()).size(), cycle.size());
    QCOMPARE(QSet<QWidget*>(cycle.begin(), cycle.end()),
             QSet<QWidget*>(reachable.begin(), reachable.end()));
    // A few stretches, as a reader of the window expects them.
    const QString walk = names.join(QLatin1Char(' '));
    for (const char* stretch : {"broadcastButton devicePresetList recallButton",
                                "userSlotList presetNameField storeNameButton",
                                "connectButton newIdField setIdButton saveOneButton saveAllButton "
                                "searchButton loadOneButton loadAllButton searchResultButton",
                                "highMuteButton highGainButton highEqButton midMuteButton",
                                "mainDelayButton highLimiterButton highDelayButton",
                                "band1FrequencyField band1QField band1GainField band1TypeList "
                                "band1BypassBox band2FrequencyField",
                                "band6FrequencyField band6QField band6GainField band6TypeList "
                                "band6BypassBox bassEnhancerButton filtersResetButton"}) {
        QVERIFY2(walk.contains(QLatin1String(stretch)), qPrintable(walk));
    }
}

void TestKeyboard::popupControlsFollowTheirButton_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("next");
    QTest::newRow("High gain") << "highGainButton"
                               << QStringList{"closeGainButton", "gainFader", "gainField",
                                              "highEqButton"};
    QTest::newRow("Low limiter") << "lowLimiterButton"
                                 << QStringList{"closeLimiterButton", "thresholdList", "attackList",
                                                "releaseList", "lowDelayButton"};
    QTest::newRow("Mid delay") << "midDelayButton"
                               << QStringList{"closeDelayButton", "midPolarityButton"};
}

// Opening a popup: Tab from its button goes through the popup, then on along the row.
void TestKeyboard::popupControlsFollowTheirButton() {
    QFETCH(QString, button);
    QFETCH(QStringList, next);
    auto* opener = app_->window->findChild<QPushButton*>(button);
    opener->click();
    const QList<QWidget*> cycle = tabCycle(opener, int(next.size()));
    QStringList names;
    for (QWidget* widget : cycle) {
        names.append(widget->objectName());
    }
    QCOMPARE(names, next);
}

void TestKeyboard::arrowKeysStep_data() {
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("what"); // 0 frequency, 1 Q, 2 gain of band 2; 3 HPF; 4 way gain
    QTest::newRow("band 2 frequency") << "highEqButton"
                                      << "band2FrequencyField" << 0;
    QTest::newRow("band 2 Q") << "highEqButton"
                              << "band2QField" << 1;
    QTest::newRow("band 2 gain") << "highEqButton"
                                 << "band2GainField" << 2;
    QTest::newRow("high-pass frequency") << "highEqButton"
                                         << "highPassField" << 3;
    QTest::newRow("gain field") << "highGainButton"
                                << "gainField" << 4;
    QTest::newRow("gain fader") << "highGainButton"
                                << "gainFader" << 4;
}

// Up and Down in a field do what its stepper's halves do, and so does the gain fader.
void TestKeyboard::arrowKeysStep() {
    QFETCH(QString, panel);
    QFETCH(QString, field);
    QFETCH(int, what);
    UnitSession& s = app_->session();
    app_->arrangeImage([&](ParameterImage& image) {
        EqBand& band = image.bands[BandIndex(High, 1)];
        band.frequencyIndex = 100;
        band.qIndex = 20;
        band.peakingGain = 120;
        band.type = 0;
        image.highPassIndex[High] = 50;
        image.gainIndex[High] = 150;
    });
    app_->window->findChild<QPushButton*>(panel)->click();
    const EqBand& band = s.model().image().bands[BandIndex(High, 1)];
    const auto index = [&] {
        switch (what) {
        case 0:
            return band.frequencyIndex;
        case 1:
            return band.qIndex;
        case 2:
            return band.peakingGain;
        case 3:
            return s.model().image().highPassIndex[High];
        default:
            return s.model().image().gainIndex[High];
        }
    };
    auto* target = app_->window->findChild<QWidget*>(field);
    QVERIFY(FocusOn(target));
    const int before = index();
    QTest::keyClick(target, Qt::Key_Up);
    QCOMPARE(index(), before + 1);
    QTest::keyClick(target, Qt::Key_Up);
    QTest::keyClick(target, Qt::Key_Down);
    QTest::keyClick(target, Qt::Key_Down);
    QTest::keyClick(target, Qt::Key_Down);
    QCOMPARE(index(), before - 1);
    QVERIFY(target->hasFocus());
    // The field shows the value it stepped to.
    const QString shown = what == 0 || what == 3 ? FrequencyText(index())
                          : what == 1            ? QText(index())
                          : what == 2            ? EqGainText(index())
                                                 : OutputGainText(index());
    auto* line = qobject_cast<QLineEdit*>(target);
    QCOMPARE((line ? line : e().gainField)->text(), shown);
}

// The delay bar takes the focus and moves with the arrow keys, one step at a time.
void TestKeyboard::delayBarTakesKeys() {
    UnitSession& s = app_->session();
    e().rows[Low].delay->click();
    QScrollBar* bar = e().delayBar;
    QVERIFY(FocusOn(bar));
    const int before = s.model().image().delay[Low];
    QTest::keyClick(bar, Qt::Key_Right);
    QCOMPARE(s.model().image().delay[Low], before + 1);
    QCOMPARE(e().delayField->text(), DelayMsText(before + 1));
    QTest::keyClick(bar, Qt::Key_Left);
    QCOMPARE(s.model().image().delay[Low], before);
}

void TestKeyboard::f10OpensTheMenus() {
    app_->window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(app_->window.get()));
    QTest::keyClick(app_->window.get(), Qt::Key_F10);
    QVERIFY(WaitUntil([&] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    QCOMPARE(QApplication::activePopupWidget(), app_->widgets().fileMenu);
    // The menus are walked with the arrows, File then Edit; Escape leaves them.
    QStringList fileItems;
    for (const QAction* action : app_->widgets().fileMenu->actions()) {
        fileItems.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    QCOMPARE(
        fileItems,
        (QStringList{QStringLiteral("Open preset file…"), QStringLiteral("Save preset file"),
                     QStringLiteral("Save preset file as…"), QStringLiteral("-"),
                     QStringLiteral("Import EQ filters…"), QStringLiteral("Export EQ filters…"),
                     QStringLiteral("-"), QStringLiteral("Exit")}));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Right);
    QVERIFY(WaitUntil([&] { return QApplication::activePopupWidget() == app_->widgets().editMenu; },
                      2000));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QVERIFY(WaitUntil([&] { return !app_->widgets().editMenu->isVisible(); }, 2000));
}

QTEST_MAIN(TestKeyboard)
#include "test_keyboard.moc"
