// The commands of quellaton-cli for a whole venue: find the units and write a venue file, bring
// every unit to its preset and verify it, check without writing, and watch every unit's status.
#pragma once

#include "cli/cli_commands.h"

namespace quellaton::cli {

int VenueCommand(const Invocation& in);
int DeployCommand(const Invocation& in);
int VerifyCommand(const Invocation& in);
int MonitorCommand(const Invocation& in);

} // namespace quellaton::cli
