// The file dialogs for preset files: what they offer for each kind of file, and the dialogs
// themselves, replaceable so that tests can supply a path or a cancel.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace quellaton {

// What the file dialogs offer for one kind of preset file.
struct PresetFileKind {
    QString filter;      // "quellatonfile(*.sps)"
    QString defaultName; // "mystyle"
    QString suffix;      // "sps", added to a saved name typed without one
};
const PresetFileKind& SinglePresetFile();
const PresetFileKind& AllPresetsFile();

// The open and save dialogs. Each returns the chosen path, or an empty string when the dialog
// was cancelled. The defaults are the standard file dialogs with the kind's filter, default
// name and default suffix.
struct FileChooser {
    std::function<QString(QWidget* parent, const PresetFileKind& kind)> open;
    std::function<QString(QWidget* parent, const PresetFileKind& kind)> save;

    FileChooser();
    static QString StandardOpen(QWidget* parent, const PresetFileKind& kind);
    static QString StandardSave(QWidget* parent, const PresetFileKind& kind);
};

// `path` with ".suffix" appended when its file name has no suffix of its own.
QString WithDefaultSuffix(const QString& path, const QString& suffix);

inline constexpr const char* FileDamagedMessage = "File damaged.";

} // namespace quellaton
