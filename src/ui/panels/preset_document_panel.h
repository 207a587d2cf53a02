// The preset file the window edits: File > "Open preset file…", "Save preset file" and "Save
// preset file as…", the window title that names the file and marks unsaved changes, and the
// question asked before unsaved changes would be lost. Without a unit every editor works on
// the open file and nothing is sent; with one, saving writes what the window holds.
#pragma once

#include "common/file_chooser.h"
#include "common/shell_widgets.h"
#include "files/preset_document.h"
#include "operations/unit_session.h"

#include <QAction>
#include <QObject>
#include <functional>
#include <optional>

class QMainWindow;

namespace quellaton {

class PresetDocumentPanel : public QObject {
    Q_OBJECT
public:
    enum class Answer { Save, Discard, Cancel };
    // Asks "Save changes to NAME.sps?"; tests replace it.
    using Question = std::function<Answer(QWidget* parent, const QString& fileName)>;

    PresetDocumentPanel(UnitSession& session, ShellWidgets& widgets, FileChooser& chooser,
                        QMainWindow* window);

    QAction* openAction() const { return open_; }
    QAction* saveAction() const { return save_; }
    QAction* saveAsAction() const { return saveAs_; }
    void setQuestion(Question question) { question_ = std::move(question); }

    const QString& path() const { return path_; }
    bool unsaved() const;

    // Opens `path` (the file given on the command line, or one chosen in the dialog).
    bool openFile(const QString& path);
    bool save();
    bool saveAs();
    // True when the open file's changes are saved or may be dropped: asks when there are any.
    bool mayDiscardChanges();

    static Answer StandardQuestion(QWidget* parent, const QString& fileName);

private:
    void openClicked();
    bool writeTo(const QString& path);
    void imageReplaced();
    void showTitle();
    void showAvailability();

    UnitSession& session_;
    ShellWidgets& w_;
    FileChooser& chooser_;
    QMainWindow* window_;
    QAction* open_;
    QAction* save_;
    QAction* saveAs_;
    Question question_ = StandardQuestion;
    QString path_;                       // the open file; empty when none is
    std::optional<OpenedPreset> opened_; // its content, the base of the next save
    ParameterImage saved_;               // the image as last opened or saved
    bool opening_ = false;
};

} // namespace quellaton
