#pragma once

#include "machine/rpxsim/command_line.h"

namespace rpxsim {

// `rpxsim player new|info|disk ...`: create and inspect simulated players offline.
int RunPlayer(Invocation& invocation);

}  // namespace rpxsim
