// quellaton-cli response: the predicted response of a preset file or a unit's working set, as
// frequency, level and phase, of one section or of the whole system.
#pragma once

#include "cli/cli_commands.h"

#include <QList>

namespace quellaton::cli {

int Response(const Invocation& in);
QList<CommandOption> ResponseOptions();

} // namespace quellaton::cli
