// show and diff on files the window saved: every value the window displays for a section is
// the value quellaton-cli shows for it, and diff lists exactly the parameter edited between
// two saves.
#include "../presets/preset_test_support.h"
#include "cli_process.h"
#include "editor_test_helpers.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace quellaton;
using namespace presettest;
using namespace editortest;

namespace {

// (section, parameter) -> value of the first (only) preset of `show --json FILE`.
QMap<QPair<QString, QString>, QString> Shown(const QString& path) {
    QMap<QPair<QString, QString>, QString> values;
    const CliRun run = RunCli({"--json", "show", path});
    for (const QJsonValue& row : run.json().object().value("parameters").toArray()) {
        const QJsonObject o = row.toObject();
        values[{o.value("section").toString(), o.value("parameter").toString()}] =
            o.value("value").toString();
    }
    return values;
}

bool SaveThisPreset(AppFixture& app, const QString& path) {
    QFile::remove(path);
    AnswerSave(app, path);
    app.answerer.setConfirmation(ModalAnswerer::Confirm::First);
    app.widgets().saveOneButton->click();
    return WaitUntil([&] { return QFile::exists(path) && Idle(app); }, 10000);
}

} // namespace

class TestCliWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void showGivesWhatTheWindowDisplays();
    void diffListsTheEditedParameter();
};

void TestCliWindow::showGivesWhatTheWindowDisplays() {
    AppFixture app(QStringLiteral("1"));
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    QTemporaryDir dir;
    const QString path = dir.filePath("unit.sps");
    QVERIFY(SaveThisPreset(app, path));
    const auto shown = Shown(path);
    QVERIFY(!shown.isEmpty());
    EditorWidgets& e = Editors(app);
    auto compareSection = [&](const QString& section) {
        for (int b = 0; b < 6; ++b) {
            const QString band = QStringLiteral("Band %1 ").arg(b + 1);
            QCOMPARE(shown.value({section, band + "frequency"}), e.frequencyFields[b]->text());
            QCOMPARE(shown.value({section, band + "gain"}), e.gainFields[b]->text());
            QCOMPARE(shown.value({section, band + "Q"}), e.qFields[b]->text());
            QCOMPARE(shown.value({section, band + "type"}), e.typeLists[b]->currentText());
        }
        QCOMPARE(shown.value({section, "HPF frequency"}), e.highPassField->text());
        QCOMPARE(shown.value({section, "LPF frequency"}), e.lowPassField->text());
        QCOMPARE(shown.value({section, "HPF type"}), e.highPassTypeList->currentText());
        QCOMPARE(shown.value({section, "LPF type"}), e.lowPassTypeList->currentText());
    };
    // After the connect the window shows Main.
    compareSection("Main");
    QCOMPARE(shown.value({"Main", "Level"}), e.levelReadout->text());
    QCOMPARE(shown.value({"Main", "Polarity"}), e.mainPolarityButton->text());
    e.mainDelayButton->click(); // "Main delay"
    QCOMPARE(shown.value({"Main", "Delay"}), e.delayField->text());

    const QStringList ways{"High", "Mid", "Low"};
    for (int way = 0; way < 3; ++way) {
        const WayRowWidgets& row = e.rows[std::size_t(way)];
        if (!row.eq->isVisible()) {
            continue; // Mid in BTL mode
        }
        row.eq->click();
        compareSection(ways[way]);
        row.gain->click();
        QCOMPARE(shown.value({ways[way], "Gain"}), e.gainField->text());
        row.delay->click();
        QCOMPARE(shown.value({ways[way], "Delay"}), e.delayField->text());
        QCOMPARE(shown.value({ways[way], "Polarity"}), row.polarity->text());
        row.limiter->click();
        QCOMPARE(shown.value({ways[way], "Limiter threshold"}), e.thresholdList->currentText());
        QCOMPARE(shown.value({ways[way], "Limiter attack"}), e.attackList->currentText());
        QCOMPARE(shown.value({ways[way], "Limiter release"}), e.releaseList->currentText());
    }
}

void TestCliWindow::diffListsTheEditedParameter() {
    AppFixture app(QStringLiteral("1"));
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    QVERIFY(Settle(app));
    QTemporaryDir dir;
    const QString before = dir.filePath("before.sps");
    const QString after = dir.filePath("after.sps");
    QVERIFY(SaveThisPreset(app, before));
    EditorWidgets& e = Editors(app);
    // The confirmation box took the focus away from the window.
    app.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(app.window.get()));
    const QString oldText = e.gainFields[2]->text();
    QVERIFY(TypeAndEnter(e.gainFields[2], oldText == "-3.0 dB" ? "4.5" : "-3"));
    const QString newText = e.gainFields[2]->text();
    QVERIFY(newText != oldText);
    QVERIFY(WaitUntil(
        [&] {
            return !app.session().writer().sendSlots().anyPending() &&
                   app.session().writer().sendingSlot() == 0;
        },
        5000));
    QTest::qWait(300);
    QVERIFY(SaveThisPreset(app, after));

    const CliRun run = RunCli({"--json", "diff", before, after});
    QCOMPARE(run.exitCode, 0);
    const QJsonArray diffs = run.json().object().value("differences").toArray();
    QCOMPARE(diffs.size(), 1);
    const QJsonObject d = diffs.at(0).toObject();
    QCOMPARE(d.value("section").toString(), QStringLiteral("Main"));
    QCOMPARE(d.value("parameter").toString(), QStringLiteral("Band 3 gain"));
    QCOMPARE(d.value("a").toString(), oldText);
    QCOMPARE(d.value("b").toString(), newText);
    // Against the unit itself (once the window has let go of the line), the file saved after
    // the edit differs in nothing.
    QVERIFY(WaitUntil([&] { return app.widgets().connectButton->isEnabled(); }, 3000));
    app.widgets().connectButton->click();
    QVERIFY(app.window->connection().state() == UnitConnection::State::Disconnected);
    const CliRun live = RunCli({"diff", after, "--port", app.sim.link(), "--id", "1"});
    QCOMPARE(live.exitCode, 0);
    QCOMPARE(live.out.count('\n'), 1); // the header only
}

QTEST_MAIN(TestCliWindow)
#include "test_cli_window.moc"
