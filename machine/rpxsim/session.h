// Booting the machine a subcommand runs on, from the common options.
#pragma once

#include <memory>

#include "machine/machine.h"
#include "machine/rpxsim/command_line.h"

namespace rpxsim {

// Boots a machine of the chosen flavour with the registry file merged; with --debug its trace
// goes to the error stream as it is written. A bad option or registry file is a UsageError.
std::unique_ptr<machine::Machine> BootMachine(Invocation& invocation);

}  // namespace rpxsim
