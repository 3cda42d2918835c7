#pragma once

#include "machine/rpxsim/command_line.h"

namespace rpxsim {

// `rpxsim lib PLAYER -- EXPORT ARGS... [; EXPORT ARGS...]`: runs library exports in one simulated
// process against the player, one output line per call.
int RunLib(Invocation& invocation);

}  // namespace rpxsim
