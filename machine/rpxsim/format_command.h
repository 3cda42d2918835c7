#pragma once

#include "machine/rpxsim/command_line.h"

namespace rpxsim {

// `rpxsim format [PLAYER] [--full]`: formats a player's medium as the formatter does on Start,
// with its progress shown, and prints the result and a summary.
int RunFormat(Invocation& invocation);

}  // namespace rpxsim
