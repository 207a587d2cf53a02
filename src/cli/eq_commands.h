// quellaton-cli's EQ text commands: import-eq fits the filters of a REW, Equalizer APO or AutoEq
// text file onto one section of a .sps file or of a unit and prints what fitting changed;
// export-eq writes one section's filters as such a text.
#pragma once

#include "cli/cli_commands.h"

namespace quellaton::cli {

int ImportEq(const Invocation& in);
int ExportEq(const Invocation& in);

// Their options beyond the shared ones.
const QList<CommandOption>& ImportEqOptions();
const QList<CommandOption>& ExportEqOptions();

} // namespace quellaton::cli
