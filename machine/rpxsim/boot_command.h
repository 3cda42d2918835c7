#pragma once

#include "machine/rpxsim/command_line.h"

namespace rpxsim {

int RunBoot(Invocation& invocation);

}  // namespace rpxsim
