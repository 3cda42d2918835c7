#pragma once

#include "machine/rpxsim/command_line.h"

namespace rpxsim {

// `rpxsim config [--chip N]`: the configuration the host tools read on the booted machine.
int RunConfig(Invocation& invocation);

}  // namespace rpxsim
