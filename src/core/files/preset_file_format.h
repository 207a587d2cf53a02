// The preset files on the PC: a single-preset file (.sps) holds the unit's working set, an
// all-presets file (.fps) the unit's 20 stored slots. Every line is one 332-byte image reply
// frame written as 664 hex digits (two a byte, upper case when written, either case when
// read) and ended by CR LF. Reading checks only the line count, the line length and the hex
// digits; the frame's header, check and end byte are not looked at.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QList>
#include <QString>

namespace quellaton {

inline constexpr int PresetLineChars = 664; // one image reply frame as hex text
inline constexpr int AllPresetsLineCount = 20;
// Larger files are never read: even a valid single-preset file spread over many lines stays
// far below this, and reading stays bounded whatever file the user picks.
inline constexpr qint64 PresetFileSizeLimit = 1 << 20;

enum class PresetFileStatus {
    Ok,
    Empty,   // no content (no line, or only empty lines for a single-preset file)
    Damaged, // wrong line count or length, a pair that is not hexadecimal, or unreadable
};

// Splits file content into lines as a text-file reader does: CR LF, LF or a lone CR ends a
// line, and a line ending at the very end adds no empty line after it.
QList<QByteArray> SplitPresetLines(QByteArrayView content);

// True when `line` is exactly 664 characters, each pair two hexadecimal digits.
bool IsPresetLine(QByteArrayView line);

struct SinglePresetText {
    PresetFileStatus status = PresetFileStatus::Empty;
    QByteArray text; // the joined lines when Ok (664 characters)
};
// A single-preset file: all lines joined without separators must give one preset line.
SinglePresetText ReadSinglePresetText(QByteArrayView content);

struct AllPresetsText {
    PresetFileStatus status = PresetFileStatus::Empty;
    QList<QByteArray> lines; // the 20 lines when Ok
};
// An all-presets file: exactly 20 lines, each one preset line.
AllPresetsText ReadAllPresetsText(QByteArrayView content);

// Opens `path` for reading only when it is a regular file (not a pipe or a device, which could
// keep a read waiting).
bool OpenRegularFile(const QString& path, QFile& file);

// Reads a preset file from disk. An unreadable file, one above the size limit, or anything
// that is not a regular file (a named pipe, a device) is Damaged at once; `content` is left
// empty then.
PresetFileStatus ReadPresetFile(const QString& path, QByteArray& content);

// A preset file read from disk and checked: an unreadable or oversized file is Damaged.
SinglePresetText LoadSinglePresetFile(const QString& path);
AllPresetsText LoadAllPresetsFile(const QString& path);

// The file content for `lines`: each line in upper case followed by CR LF.
QByteArray PresetFileContent(const QList<QByteArray>& lines);

// Writes `lines` to `path` as one atomic replacement: the file appears complete or not at all,
// and an existing file stays untouched when the write fails. On failure `error` says why.
bool WritePresetFile(const QString& path, const QList<QByteArray>& lines, QString* error = nullptr);
// The same for content already laid out.
bool WritePresetContent(const QString& path, const QByteArray& content, QString* error = nullptr);

} // namespace quellaton
