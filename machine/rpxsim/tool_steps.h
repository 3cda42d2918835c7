// What the host tools' workers share around the library calls: the phase numbers the tools
// announce themselves, and their closing steps.
#pragma once

#include "platform/win32/win32.h"

namespace rpxsim {

inline constexpr win::ULONG PHASE_IDLE = 0;
inline constexpr win::ULONG PHASE_INITIALIZING = 1;
inline constexpr win::ULONG PHASE_CLOSING = 9;
inline constexpr win::ULONG PHASE_COMPLETE = 10;

// The closing steps of a worker: "Closing Device" announced, the slot's media state freed and the
// exclusive channel given back; after half a second the channel is opened shared again and the
// player's removal awaited (at most 30 polls of a second), so the disk driver has seen the
// change. True with the shared channel open; the caller closes it.
bool CloseAndAwaitRemoval(win::CHAR instance, w32::HANDLE phaseEvent);

}  // namespace rpxsim
