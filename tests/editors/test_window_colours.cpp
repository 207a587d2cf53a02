// The program's colours as they appear on screen: the connected window is rendered and the
// pixels of each coloured control are sampled.
#include "editor_test_helpers.h"

#include "common/shell_widgets.h"
#include "editors/channel_editors.h"

#include <QTest>

using namespace quellaton;
using namespace editortest;

namespace {

bool Near(QRgb pixel, QRgb colour) {
    return std::abs(qRed(pixel) - qRed(colour)) <= 2 &&
           std::abs(qGreen(pixel) - qGreen(colour)) <= 2 &&
           std::abs(qBlue(pixel) - qBlue(colour)) <= 2;
}

// The widget's rectangle in the rendered window, less `inset` pixels on every side.
QRect InWindow(const QWidget* widget, const QWidget* window, int inset) {
    return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size())
        .adjusted(inset, inset, -inset, -inset);
}

int CountNear(const QImage& shot, QRect area, QRgb colour) {
    int n = 0;
    area = area.intersected(shot.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            n += Near(shot.pixel(x, y), colour) ? 1 : 0;
        }
    }
    return n;
}

} // namespace

class TestWindowColours : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { app_.reset(); }
    void buttonFaces_data();
    void buttonFaces();
    void connectionPaneTexts();

private:
    QImage render() const {
        return app_->window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // A control by its name, or "parent/child" for a part of one.
    QWidget* control(const QString& path) const {
        QWidget* widget = app_->window.get();
        for (const QString& name : path.split(QLatin1Char('/'))) {
            widget = widget ? widget->findChild<QWidget*>(name) : nullptr;
        }
        return widget;
    }

    std::unique_ptr<AppFixture> app_;
    QImage connected_;
};

void TestWindowColours::initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    app_ = std::make_unique<AppFixture>();
    QVERIFY(OpenEditors(*app_));
    QVERIFY(app_->connectTo(1));
    EditorWidgets& e = Editors(*app_);
    // Active High mute, bass enhancer, inverted Main polarity, BTL on (answered Yes), and
    // the Main EQ and Main delay buttons highlighted by the connect.
    e.rows[High].mute->click();
    e.bassEnhancerButton->click();
    e.mainPolarityButton->click();
    e.btlButton->click();
    QVERIFY(WaitUntil([&] { return app_->model().image().btlMode == 1; }, 3000));
    e.mainEqButton->click();
    e.mainDelayButton->click();
    QCOMPARE(ButtonColour(e.mainEqButton), HighlightButtonColour);
    QTest::qWait(50);
    connected_ = render();
}

void TestWindowColours::buttonFaces_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("colour");
    const uint red = qRgb(255, 0, 0);
    const uint selected = qRgb(255, 255, 128);
    const uint normal = qRgb(224, 224, 224);
    QTest::newRow("active High mute") << "highMuteButton" << red;
    QTest::newRow("active Bass Enhancer") << "bassEnhancerButton" << red;
    QTest::newRow("inverted Main polarity") << "mainPolarityButton" << red;
    QTest::newRow("selected Main EQ") << "mainEqButton" << selected;
    QTest::newRow("selected Main delay") << "mainDelayButton" << selected;
    QTest::newRow("BTL on") << "btlButton" << uint(qRgb(0, 128, 0));
    QTest::newRow("plain Low mute") << "lowMuteButton" << normal;
    QTest::newRow("plain Low EQ/HPF/LPF") << "lowEqButton" << normal;
    QTest::newRow("plain SIGNAL Mute") << "mainMuteButton" << normal;
    QTest::newRow("plain Filters reset") << "filtersResetButton" << normal;
    QTest::newRow("plain Disconnect") << "connectButton" << normal;
    QTest::newRow("plain Search device ID") << "searchButton" << normal;
    QTest::newRow("plain Save this preset to PC") << "saveOneButton" << normal;
    QTest::newRow("band 1 frequency up")
        << "band1FrequencyStepper/upButton" << uint(SpinButtonColour);
    QTest::newRow("HPF down") << "highPassStepper/downButton" << uint(SpinButtonColour);
    QTest::newRow("band 1 legend") << "band1Label" << uint(qRgb(255, 252, 0));
    QTest::newRow("band 6 legend") << "band6Label" << uint(qRgb(0, 0, 255));
}

// The face of the control, inside its rim, is its colour: most pixels are within
// 2 of it per channel (the caption covers the rest).
void TestWindowColours::buttonFaces() {
    QFETCH(QString, name);
    QFETCH(uint, colour);
    const QWidget* widget = control(name);
    QVERIFY(widget);
    QVERIFY(widget->isVisible());
    const int rim = widget->height() < 16 ? 2 : 3;
    const QRect face = InWindow(widget, app_->window.get(), rim);
    const int matching = CountNear(connected_, face, colour);
    const int share = 100 * matching / (face.width() * face.height());
    QVERIFY2(share >= 50,
             qPrintable(QStringLiteral("%1 %: %2")
                            .arg(share)
                            .arg(QColor(connected_.pixel(face.topLeft() + QPoint(2, 2))).name())));
}

// "Connected " and the port in green, "Disconnected" in red.
void TestWindowColours::connectionPaneTexts() {
    const QWidget* pane = app_->widgets().connectionPane;
    const QRgb green = qRgb(0, 128, 0);
    const QRgb red = qRgb(255, 0, 0);
    QRect area = InWindow(pane, app_->window.get(), 0);
    QVERIFY(CountNear(connected_, area, green) >= 10);
    QCOMPARE(CountNear(connected_, area, red), 0);

    QVERIFY(WaitUntil([&] { return app_->widgets().connectButton->isEnabled(); }, 3000));
    app_->widgets().connectButton->click();
    QVERIFY(WaitUntil([&] { return app_->widgets().connectButton->text() == "Connect"; }, 3000));
    QTest::qWait(50);
    const QImage disconnected = render();
    area = InWindow(pane, app_->window.get(), 0);
    QVERIFY(CountNear(disconnected, area, red) >= 10);
    QCOMPARE(CountNear(disconnected, area, green), 0);
}

QTEST_MAIN(TestWindowColours)
#include "test_window_colours.moc"
