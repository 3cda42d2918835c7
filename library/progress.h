// The library-wide progress state, a phase number and the percentage of the current phase, which
// the worker side advances and a tool's monitor thread polls. The media operations use these
// helpers; the exports VxMp3SetPhase, VxMp3SetProgress and VxMp3GetProgress are built on them.
#pragma once

#include "platform/base/types.h"

namespace vxmp3 {

using namespace win;

inline constexpr double PROGRESS_COMPLETE = 100.0;
// How long an announced phase waits for the monitor to have seen it.
inline constexpr ULONG PHASE_HANDSHAKE_MS = 2000;

// The library's own percentage, for the operations that advance a progress value they are given
// (the card operations).
double* LibraryProgress();
ULONG CurrentPhase();

// Adds `percent` to a progress value and keeps the sum within 0.0 .. 100.0. A value that is not a
// number leaves the progress as it was.
void AddToProgress(double* progress, double percent);
// Sets a progress value, kept within 0.0 .. 100.0 in the same way.
void SetProgressTo(double* progress, double value);
double ReadProgress(const double* progress);

// The same on the library's own percentage.
void AddToProgress(double percent);
void SetProgressTo(double value);

// Stores the phase; sets the progress to 0.0 when `percent` is exactly 0.0 and adds it otherwise.
// With an event, resets it and waits at most PHASE_HANDSHAKE_MS for the monitor to set it.
void AnnouncePhase(ULONG phase, double percent, HANDLE phaseEvent);

}  // namespace vxmp3
