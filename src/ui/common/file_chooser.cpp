#include "common/file_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace quellaton {

namespace {

QString RunFileDialog(QWidget* parent, const PresetFileKind& kind, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent);
    dialog.setObjectName(mode == QFileDialog::AcceptSave ? QStringLiteral("presetSaveDialog")
                                                         : QStringLiteral("presetOpenDialog"));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    dialog.setNameFilter(kind.filter);
    dialog.setDefaultSuffix(kind.suffix);
    dialog.selectFile(kind.defaultName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace

const PresetFileKind& SinglePresetFile() {
    static const PresetFileKind kind{QStringLiteral("quellatonfile(*.sps)"),
                                     QStringLiteral("mystyle"), QStringLiteral("sps")};
    return kind;
}

const PresetFileKind& AllPresetsFile() {
    static const PresetFileKind kind{QStringLiteral("quellatonfile(*.fps)"),
                                     QStringLiteral("myallstyle"), QStringLiteral("fps")};
    return kind;
}

FileChooser::FileChooser() : open(&FileChooser::StandardOpen), save(&FileChooser::StandardSave) {}

QString FileChooser::StandardOpen(QWidget* parent, const PresetFileKind& kind) {
    return RunFileDialog(parent, kind, QFileDialog::AcceptOpen);
}

QString FileChooser::StandardSave(QWidget* parent, const PresetFileKind& kind) {
    return RunFileDialog(parent, kind, QFileDialog::AcceptSave);
}

QString WithDefaultSuffix(const QString& path, const QString& suffix) {
    if (path.isEmpty() || suffix.isEmpty() || !QFileInfo(path).suffix().isEmpty() ||
        path.endsWith(QLatin1Char('/')) || path.endsWith(QDir::separator())) {
        return path;
    }
    return path + QLatin1Char('.') + suffix;
}

} // namespace quellaton
