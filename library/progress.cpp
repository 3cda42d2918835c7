// The progress state and its three exports. One worker thread writes the state while a monitor
// thread reads it without the library lock; each access is a single relaxed atomic load or store,
// so a reader sees either the old or the new value and never a torn one.
#include "library/progress.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "library/VxMp3.h"
#include "platform/win32/win32.h"

namespace vxmp3 {

namespace {

constexpr double kNoProgress = 0.0;

std::atomic<ULONG> phaseState{0};
// Plain storage so that the operations that take a progress pointer can be handed this one.
alignas(std::atomic_ref<double>::required_alignment) double progressState = kNoProgress;

std::atomic_ref<double> Access(double* progress) {
    return std::atomic_ref<double>(*progress);
}

}  // namespace

double* LibraryProgress() {
    return &progressState;
}

ULONG CurrentPhase() {
    return phaseState.load(std::memory_order_relaxed);
}

void SetProgressTo(double* progress, double value) {
    if (progress == nullptr || std::isnan(value)) {
        return;
    }
    Access(progress).store(std::clamp(value, kNoProgress, PROGRESS_COMPLETE), std::memory_order_relaxed);
}

void AddToProgress(double* progress, double percent) {
    if (progress == nullptr) {
        return;
    }
    // One writer: the load and the store need not be one atomic step.
    SetProgressTo(progress, Access(progress).load(std::memory_order_relaxed) + percent);
}

double ReadProgress(const double* progress) {
    return Access(const_cast<double*>(progress)).load(std::memory_order_relaxed);
}

void AddToProgress(double percent) {
    AddToProgress(LibraryProgress(), percent);
}

void SetProgressTo(double value) {
    SetProgressTo(LibraryProgress(), value);
}

void AnnouncePhase(ULONG phase, double percent, HANDLE phaseEvent) {
    phaseState.store(phase, std::memory_order_relaxed);
    if (percent == kNoProgress) {
        SetProgressTo(kNoProgress);
    } else {
        AddToProgress(percent);
    }
    // The monitor sets the event after each poll, so short phases still show on screen; a tool
    // without a running monitor costs the worker at most the handshake time.
    if (phaseEvent != nullptr) {
        w32::ResetEvent(phaseEvent);
        w32::WaitForSingleObject(phaseEvent, PHASE_HANDSHAKE_MS);
    }
}

}  // namespace vxmp3

using namespace vxmp3;

int VxMp3SetPhase(ULONG phase, double percent, HANDLE phaseEvent) {
    AnnouncePhase(phase, percent, phaseEvent);
    return 1;
}

int VxMp3SetProgress(double percent) {
    AddToProgress(percent);
    return 1;
}

int VxMp3GetProgress(double* progress, ULONG* phase) {
    if (progress != nullptr) {
        *progress = ReadProgress(LibraryProgress());
    }
    if (phase != nullptr) {
        *phase = CurrentPhase();
    }
    return 1;
}
