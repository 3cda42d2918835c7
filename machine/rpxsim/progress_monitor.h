// The progress thread of a host tool, for the terminal: it polls the library's progress, shows
// the phase text and the percentages (a bar on a terminal, plain lines otherwise), sets the phase
// event after every poll to answer the library's handshake, and signals completion once it has
// shown "Complete".
#pragma once

#include <atomic>
#include <ostream>
#include <span>

#include "platform/win32/win32.h"

namespace rpxsim {

struct PhaseText {
    win::ULONG phase;
    const char* text;
};

class ProgressMonitor {
  public:
    // `phaseTexts` names the tool's phases; a phase it does not name shows "Complete".
    // `phaseCount` divides the overall bar.
    ProgressMonitor(std::ostream& out, std::span<const PhaseText> phaseTexts, unsigned phaseCount,
                    bool terminal);
    ~ProgressMonitor();
    ProgressMonitor(const ProgressMonitor&) = delete;
    ProgressMonitor& operator=(const ProgressMonitor&) = delete;

    w32::HANDLE PhaseEvent() const { return phaseEvent_; }
    void WaitForCompletion() { w32::WaitForSingleObject(completion_, w32::INFINITE); }
    // The updater switches from 6 to 9 phases when a quick download becomes a full update.
    void SetPhaseCount(unsigned phaseCount) { phaseCount_ = phaseCount; }

  private:
    w32::DWORD Run();
    void Poll();
    void Show(win::ULONG phase, unsigned current, unsigned overall, bool changed);
    const char* TextOfPhase(win::ULONG phase) const;

    std::ostream& out_;
    std::span<const PhaseText> phaseTexts_;
    std::atomic<unsigned> phaseCount_;
    bool terminal_;
    std::atomic<bool> stop_{false};
    w32::HANDLE phaseEvent_ = nullptr;
    w32::HANDLE completion_ = nullptr;
    w32::HANDLE thread_ = nullptr;
    win::ULONG lastPhase_ = 11;
    unsigned phaseChanges_ = 0;
    unsigned lastQuarter_ = 0;
    bool shownBar_ = false;
};

// True when `out` is the terminal that rpxsim writes to.
bool IsTerminal(const std::ostream& out);

}  // namespace rpxsim
