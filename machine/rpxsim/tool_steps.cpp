#include "machine/rpxsim/tool_steps.h"

#include "library/VxMp3.h"

namespace rpxsim {

namespace {
constexpr w32::DWORD kReopenDelayMs = 500;
constexpr int kRemovalPolls = 30;
constexpr w32::DWORD kRemovalPollMs = 1000;
}  // namespace

bool CloseAndAwaitRemoval(win::CHAR instance, w32::HANDLE phaseEvent) {
    VxMp3SetPhase(PHASE_CLOSING, 0.0, phaseEvent);
    VxMp3FreeMemoryDevice(0);
    VxMp3CloseDriver();
    w32::Sleep(kReopenDelayMs);
    if (!VxMp3OpenDriverNoBlock(instance, DEVICE_STATUS_NORMAL)) {
        return false;
    }
    USER_DATA userData{};
    for (int poll = 0; poll < kRemovalPolls && VxMp3GetStatus(&userData) && userData.removalAllowed == 0;
         ++poll) {
        w32::Sleep(kRemovalPollMs);
    }
    return true;
}

}  // namespace rpxsim
