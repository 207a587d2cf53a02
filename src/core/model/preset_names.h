// How the program names the unit's presets: the eight it reaches are listed as "Pre0:" ..
// "Pre5:" (factory presets, recall only) and "Usr6:", "Usr7:" (user presets, which can also be
// stored under a name), each followed by the name the unit keeps for it.
#pragma once

#include <QByteArray>
#include <QString>

namespace quellaton {

inline constexpr int PresetListCount = 8;
inline constexpr int FirstUserPreset = 7; // "Usr6:" is preset 7 on the wire, "Usr7:" preset 8
// A stored name has at most this many characters, so a zero byte always ends it.
inline constexpr int PresetNameMaxLength = 19;

// "Pre0" for preset 1 .. "Pre5" for 6, "Usr6" for 7, "Usr7" for 8.
QString PresetShortName(int preset);
// The list entry's prefix: "Pre0:" .. "Usr7:".
QString PresetListPrefix(int preset);
// A name as the unit sent it (20 bytes) as text: its bytes up to the first zero byte.
QString PresetNameText(const QByteArray& name);
// The list entry: prefix and name, "Usr6:Stage".
QString PresetListEntry(int preset, const QByteArray& name);
// "Last loaded preset:Usr6         " for preset 7 (the label under the preset rows).
QString LastLoadedLabel(int preset);
// What that label names: "Usr6".
inline QString LastLoadedPresetName(int preset) {
    return PresetShortName(preset);
}

// The bytes a typed name is stored as: leading and trailing blanks and control characters
// removed, one byte a character (characters outside Latin-1 become "?"), at most 19.
QByteArray PresetNameBytes(const QString& text);
// The name as the field shows it after a save: trimmed the same way, at most 19 characters.
QString TrimPresetName(const QString& text);

} // namespace quellaton
