#include "machine/rpxsim/progress_monitor.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <iostream>
#include <string>

#include "library/VxMp3.h"
#include "machine/rpxsim/tool_steps.h"

namespace rpxsim {

namespace {

using win::ULONG;

constexpr w32::DWORD kPollMs = 250;
constexpr const char* kComplete = "Complete";

}  // namespace

ProgressMonitor::ProgressMonitor(std::ostream& out, std::span<const PhaseText> phaseTexts,
                                 unsigned phaseCount, bool terminal)
    : out_(out), phaseTexts_(phaseTexts), phaseCount_(phaseCount), terminal_(terminal) {
    phaseEvent_ = w32::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
    completion_ = w32::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
    thread_ = w32::CreateNamedThread("progress", [this] { return Run(); });
}

ProgressMonitor::~ProgressMonitor() {
    stop_ = true;
    w32::WaitForSingleObject(thread_, w32::INFINITE);
    w32::CloseHandle(thread_);
    w32::CloseHandle(completion_);
    w32::CloseHandle(phaseEvent_);
    if (terminal_ && shownBar_) {
        out_ << "\n";
    }
}

const char* ProgressMonitor::TextOfPhase(ULONG phase) const {
    if (phase == PHASE_IDLE) {
        return "";
    }
    for (const PhaseText& entry : phaseTexts_) {
        if (entry.phase == phase) {
            return entry.text;
        }
    }
    return kComplete;
}

w32::DWORD ProgressMonitor::Run() {
    while (!stop_) {
        Poll();
        w32::SetEvent(phaseEvent_);
        w32::Sleep(kPollMs);
    }
    return 0;
}

void ProgressMonitor::Poll() {
    double percent = 0;
    ULONG phase = 0;
    VxMp3GetProgress(&percent, &phase);
    bool changed = phase != lastPhase_;
    if (changed) {
        lastPhase_ = phase;
        phaseChanges_ = phase == PHASE_IDLE ? 0 : phase == PHASE_INITIALIZING ? 1 : phaseChanges_ + 1;
    }
    const unsigned count = phaseCount_;
    unsigned current = phase == PHASE_IDLE ? 0 : static_cast<unsigned>(percent);
    unsigned overall = phase == PHASE_IDLE       ? 0
                       : phase == PHASE_COMPLETE ? 100
                                                 : current / count + 100 * phaseChanges_ / count;
    Show(phase, current, overall, changed);
    if (changed && phase != PHASE_IDLE && std::string(TextOfPhase(phase)) == kComplete) {
        w32::SetEvent(completion_);
    }
}

void ProgressMonitor::Show(ULONG phase, unsigned current, unsigned overall, bool changed) {
    if (phase == PHASE_IDLE) {
        return;
    }
    if (terminal_) {
        constexpr unsigned kWidth = 30;
        std::string bar(std::min(overall, 100u) * kWidth / 100, '#');
        bar.resize(kWidth, '.');
        std::array<char, 128> line{};
        std::snprintf(line.data(), line.size(), "\r[%s] %3u%%  %-18s %3u%%", bar.c_str(), overall,
                      TextOfPhase(phase), current);
        out_ << line.data() << std::flush;
        shownBar_ = true;
        return;
    }
    // Plain lines: each phase as it starts, and its percentage every quarter.
    if (changed || current / 25 != lastQuarter_) {
        lastQuarter_ = current / 25;
        out_ << "progress: " << TextOfPhase(phase) << " " << current << "% (overall " << overall << "%)\n";
    }
}

bool IsTerminal(const std::ostream& out) {
    return &out == &std::cout && ::isatty(1) != 0;
}

}  // namespace rpxsim
