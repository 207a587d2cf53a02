// A single-preset file opened for editing on the PC. Saving writes what the window holds as a
// valid image reply frame: the header of the file it came from (or, for a new file, one for
// the unit's address), the edited 320 bytes, a new check byte and the end byte. Only the
// blocks that were edited are laid out anew, so bytes the program does not interpret survive,
// and a file saved unchanged is the very file that was opened.
#pragma once

#include "files/preset_file_format.h"
#include "protocol/parameter_image.h"

#include <optional>

namespace quellaton {

struct OpenedPreset {
    QByteArray content;   // the file as read
    QByteArray frame;     // its 332-byte frame
    ParameterImage image; // the image the file holds, limited as when it is loaded
};

// Reads a .sps with the same checks as loading one; nothing when the file is damaged or empty.
std::optional<OpenedPreset> OpenSinglePreset(const QString& path);
std::optional<OpenedPreset> ReadSinglePreset(QByteArrayView content);

// The file content that holds `image`: based on `opened` when given, else on a new frame for
// `address` (the device ID minus 1).
QByteArray SinglePresetContent(const ParameterImage& image, const OpenedPreset* opened,
                               int address);

} // namespace quellaton
