// The window's EQ import and export: File > "Import EQ filters…" shows the report, Cancel
// changes nothing, Apply is one step that reaches a connected unit as the changed blocks only;
// a .txt dropped on the graph starts the same import; a file of more than six filters is
// refused until the box that keeps six is ticked.
#include "app_fixture.h"
#include "block_writes.h"
#include "editor_test_helpers.h"

#include "files/eq_fit.h"
#include "files/eq_text.h"

#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

using namespace quellaton;
using namespace editortest;

namespace {

const QByteArray Filters = "Preamp: -3.5 dB\n"
                           "Filter 1: ON PK Fc 90 Hz Gain -5.0 dB Q 3.0\n"
                           "Filter 2: ON HSC Fc 9000 Hz Gain 2.0 dB Q 0.7\n"
                           "Filter 3: ON LPQ Fc 16000 Hz Q 0.5\n";

QString WriteText(const QTemporaryDir& dir, const QString& name, const QByteArray& content) {
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    return path;
}

// Drags `path` onto the graph; true when the graph takes it.
bool Drop(AppFixture& app, const QString& path) {
    QWidget* graph = &app.window->graph();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    const QPointF at(200, 100);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(graph, &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(graph, &drop);
    return drop.isAccepted();
}

} // namespace

class TestEqWindow : public QObject {
    Q_OBJECT
private slots:
    void reportThenCancelOrApply();
    void dropRefusalAndFitting();
};

void TestEqWindow::reportThenCancelOrApply() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    QVERIFY(app.connectTo(1));
    QVERIFY(WaitQuiet(app));
    Editors(app).rows[High].eq->click();
    QCOMPARE(app.selection().way(), int(High));
    EqImportPanel& panel = app.window->eqImport();
    UnitModel& model = app.model();
    const ParameterImage start = model.image();
    QTemporaryDir dir;
    const QString path = WriteText(dir, "room.txt", Filters);

    // The two items sit above the separator before "Exit".
    const QList<QAction*> items = app.widgets().fileMenu->actions();
    const qsizetype exitAt = items.indexOf(app.widgets().exitAction);
    QVERIFY(items[exitAt - 1]->isSeparator());
    QCOMPARE(items[exitAt - 2], panel.exportAction());
    QCOMPARE(items[exitAt - 3], panel.importAction());
    QVERIFY(panel.importAction()->isEnabled());

    int mark = LogMark(app.sim);
    app.window->fileChooser().open = [path](QWidget*, const PresetFileKind& kind) {
        return kind.suffix == QLatin1String("txt") ? path : QString();
    };
    panel.importAction()->trigger();
    QVERIFY(panel.dialog() && panel.dialog()->isVisible());
    EqImportDialog* dialog = panel.dialog();
    QVERIFY(dialog->summary->text().startsWith("room.txt: High section"));
    QCOMPARE(dialog->table->rowCount(), 5); // Preamp, two bands, the low-pass, the section
    QCOMPARE(dialog->table->item(1, 5)->text(), QStringLiteral("Band 1"));
    QCOMPARE(dialog->table->item(4, 1)->text(), QStringLiteral("Section"));
    QVERIFY(!dialog->fitBox->isVisible());
    dialog->cancelButton->click();
    QTRY_VERIFY(!panel.dialog());
    QVERIFY(model.image() == start);
    QVERIFY(!model.history().canUndo());
    QVERIFY(WaitQuiet(app));
    QVERIFY(ReceivedBlockWrites(app.sim, mark).isEmpty());

    const EqFitReport expected = FitEqText(ParseEqText(Filters), start, High, false);
    const QList<QByteArray> changed = DifferingBlocks(start, expected.image);
    QVERIFY(changed.size() >= 3);
    mark = LogMark(app.sim);
    QVERIFY(panel.importFile(path));
    panel.dialog()->applyButton->click();
    QTRY_VERIFY(!panel.dialog());
    QVERIFY(model.image() == expected.image);
    QCOMPARE(app.window->editMenu().undoAction()->text(), QStringLiteral("Undo Import EQ filters"));
    QTRY_COMPARE_WITH_TIMEOUT(ReceivedBlockWrites(app.sim, mark).size(), changed.size(), 20000);
    QVERIFY(WaitQuiet(app));
    QCOMPARE(ReceivedBlockWrites(app.sim, mark), changed);

    // One step: undo takes the whole import back.
    app.window->editMenu().undoAction()->trigger();
    QVERIFY(model.image() == start);

    // The section as shown, exported.
    const QString exported = dir.filePath("high");
    QString offered;
    app.window->fileChooser().save = [exported, &offered](QWidget*, const PresetFileKind& kind) {
        offered = kind.defaultName + '.' + kind.suffix;
        return exported;
    };
    panel.exportAction()->trigger();
    QCOMPARE(offered, QStringLiteral("high-eq.txt"));
    QFile file(exported + ".txt");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.startsWith("# EQ filters of the High section, written by QUELLATON "));
    QVERIFY(text.contains("\r\n# Source: the unit with device ID 1\r\n"));
}

void TestEqWindow::dropRefusalAndFitting() {
    AppFixture app;
    QVERIFY(OpenEditors(app));
    Editors(app).rows[Low].eq->click();
    EqImportPanel& panel = app.window->eqImport();
    QTemporaryDir dir;
    const QByteArray seven = "Filter: ON PK Fc 100 Hz Gain 1 dB Q 1\n"
                             "Filter: ON PK Fc 200 Hz Gain -2 dB Q 1\n"
                             "Filter: ON PK Fc 300 Hz Gain 3 dB Q 1\n"
                             "Filter: ON PK Fc 400 Hz Gain -4 dB Q 1\n"
                             "Filter: ON PK Fc 500 Hz Gain 5 dB Q 1\n"
                             "Filter: ON PK Fc 600 Hz Gain -6 dB Q 1\n"
                             "Filter: ON PK Fc 700 Hz Gain 7 dB Q 1\n";
    const QString path = WriteText(dir, "seven.TXT", seven);
    QVERIFY(!Drop(app, WriteText(dir, "seven.sps", seven)));
    QVERIFY(!panel.dialog());

    QVERIFY(Drop(app, path));
    QTRY_VERIFY(panel.dialog() && panel.dialog()->isVisible());
    EqImportDialog* dialog = panel.dialog();
    QVERIFY(dialog->summary->text().startsWith("seven.TXT: Low section"));
    QCOMPARE(dialog->refusal->text(), QStringLiteral("7 filters; a section has 6 bands"));
    QVERIFY(!dialog->applyButton->isEnabled());
    QVERIFY(dialog->fitBox->isVisible());
    dialog->fitBox->click();
    QVERIFY(dialog->applyButton->isEnabled());
    QVERIFY(dialog->refusal->isHidden());
    QCOMPARE(dialog->table->item(0, 5)->text(), QStringLiteral("-")); // 1 dB: dropped
    const ParameterImage start = app.model().image();
    dialog->applyButton->click();
    QTRY_VERIFY(!panel.dialog());
    const EqFitReport expected = FitEqText(ParseEqText(seven), start, Low, true);
    QVERIFY(app.model().image() == expected.image);
    QCOMPARE(app.model().band(BandIndex(Low, 0)).frequencyIndex, NearestFrequencyIndex(200));
}

QTEST_MAIN(TestEqWindow)
#include "test_eq_window.moc"
