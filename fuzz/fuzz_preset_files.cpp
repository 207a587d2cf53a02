// Feeds arbitrary file content to the preset file readers. Whatever they accept must read
// back the same after being written in the program's own form.
#include "dsp/scales.h"
#include "files/preset_file_format.h"
#include "protocol/parameter_image.h"

#include <cstddef>
#include <cstdint>

using namespace quellaton;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView content(reinterpret_cast<const char*>(data), qsizetype(size));

    const QList<QByteArray> lines = SplitPresetLines(content);
    qsizetype total = 0;
    for (const QByteArray& line : lines) {
        if (line.contains('\r') || line.contains('\n')) {
            __builtin_trap(); // a line never holds a line end
        }
        total += line.size();
    }
    if (total > qsizetype(size)) {
        __builtin_trap();
    }

    const SinglePresetText single = ReadSinglePresetText(content);
    if (single.status == PresetFileStatus::Ok) {
        if (!IsPresetLine(single.text)) {
            __builtin_trap();
        }
        const SinglePresetText again = ReadSinglePresetText(PresetFileContent({single.text}));
        if (again.status != PresetFileStatus::Ok || again.text != single.text.toUpper()) {
            __builtin_trap();
        }
        (void)DecodeImageText(single.text);
        (void)ImagePayloadFromText(single.text);
    } else if (!single.text.isEmpty()) {
        __builtin_trap();
    }

    const AllPresetsText all = ReadAllPresetsText(content);
    if (all.status == PresetFileStatus::Ok) {
        if (all.lines.size() != AllPresetsLineCount) {
            __builtin_trap();
        }
        const AllPresetsText again = ReadAllPresetsText(PresetFileContent(all.lines));
        if (again.status != PresetFileStatus::Ok) {
            __builtin_trap();
        }
        for (qsizetype i = 0; i < all.lines.size(); ++i) {
            if (again.lines[i] != all.lines[i].toUpper()) {
                __builtin_trap();
            }
        }
    } else if (!all.lines.isEmpty()) {
        __builtin_trap();
    }
    return 0;
}
