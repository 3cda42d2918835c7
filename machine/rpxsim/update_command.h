#pragma once

#include "machine/rpxsim/command_line.h"

namespace rpxsim {

// `rpxsim update PLAYER [--full] [--install DIR]`: updates a player's firmware as the updater's
// worker does on Start (a quick download, or the full update with --full), with its progress,
// messages and the versions afterwards.
int RunUpdate(Invocation& invocation);

}  // namespace rpxsim
