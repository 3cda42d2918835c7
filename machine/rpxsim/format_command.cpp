// `rpxsim format`: what the formatter of vendor-driver players does on Start, without its dialog.
// A worker runs the library calls in the formatter's order while a monitor thread polls the
// library's progress, shows it, and answers the phase handshake.
#include "machine/rpxsim/format_command.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "library/VxMp3.h"
#include "machine/rpxsim/session.h"
#include "media_format/mapped_medium.h"
#include "media_format/medium_reader.h"
#include "platform/win32/win32.h"
#include "tools/common/binary_files.h"
#include "tools/common/configuration_store.h"

namespace rpxsim {

namespace {

using win::ULONG;

// The formatter's messages.
constexpr const char* kNoCommunication = "No communication with the device,\na transfer may be in progress!";
constexpr const char* kNoMedia = "No media";
constexpr const char* kFormatFailed = "Format failed";
constexpr const char* kQuickFormatFailed = "Quick format failed, uncheck the quick format option.";
constexpr const char* kTooDamaged = "The media is too damaged to be formatted.";
constexpr const char* kBatteryLow = "Battery is low, replace it before formatting.";

constexpr ULONG kPhaseIdle = 0;
constexpr ULONG kPhaseInitializing = 1;
constexpr ULONG kPhaseClosing = 9;
constexpr ULONG kPhaseComplete = 10;
constexpr ULONG kNoMediumSizeIndex = 36;
constexpr w32::DWORD kPollMs = 250;
constexpr w32::DWORD kReopenDelayMs = 500;
constexpr int kRemovalPolls = 30;
constexpr w32::DWORD kRemovalPollMs = 1000;

struct PhaseText {
    ULONG phase;
    const char* text;
};
constexpr std::array<PhaseText, 7> kPhaseTexts{{{1, "Initializing"},
                                                {2, "Scanning blocks"},
                                                {3, "Erasing blocks"},
                                                {7, "Creating FAT"},
                                                {8, "Erasing blocks"},
                                                {9, "Closing Device"},
                                                {10, "Complete"}}};

const char* TextOfPhase(ULONG phase) {
    if (phase == kPhaseIdle) {
        return "";
    }
    for (const auto& entry : kPhaseTexts) {
        if (entry.phase == phase) {
            return entry.text;
        }
    }
    return "Complete";
}

std::string CapacityLabel(ULONG sizeIndex) {
    if (sizeIndex < 3 || sizeIndex > 35) {
        return kNoMedia;
    }
    unsigned megabytes = sizeIndex == 3 ? 8 : 16 * (sizeIndex - 3);
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%2u MB", megabytes);
    return text.data();
}

// The monitor: polls the progress, shows the phase and the percentages, sets the handshake event
// after every poll, and signals completion once it has shown "Complete".
class ProgressMonitor {
  public:
    ProgressMonitor(std::ostream& out, unsigned phaseCount, bool terminal)
        : out_(out), phaseCount_(phaseCount), terminal_(terminal) {
        phaseEvent_ = w32::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
        completion_ = w32::CreateEventA(nullptr, win::FALSE, win::FALSE, nullptr);
        thread_ = w32::CreateNamedThread("progress", [this] { return Run(); });
    }
    ~ProgressMonitor() {
        stop_ = true;
        w32::WaitForSingleObject(thread_, w32::INFINITE);
        w32::CloseHandle(thread_);
        w32::CloseHandle(completion_);
        w32::CloseHandle(phaseEvent_);
        if (terminal_ && shownBar_) {
            out_ << "\n";
        }
    }
    ProgressMonitor(const ProgressMonitor&) = delete;
    ProgressMonitor& operator=(const ProgressMonitor&) = delete;

    w32::HANDLE PhaseEvent() const { return phaseEvent_; }
    void WaitForCompletion() { w32::WaitForSingleObject(completion_, w32::INFINITE); }

  private:
    w32::DWORD Run() {
        while (!stop_) {
            Poll();
            w32::SetEvent(phaseEvent_);
            w32::Sleep(kPollMs);
        }
        return 0;
    }

    void Poll() {
        double percent = 0;
        ULONG phase = 0;
        VxMp3GetProgress(&percent, &phase);
        bool changed = phase != lastPhase_;
        if (changed) {
            lastPhase_ = phase;
            phaseChanges_ = phase == kPhaseIdle ? 0 : phase == kPhaseInitializing ? 1 : phaseChanges_ + 1;
        }
        unsigned current = phase == kPhaseIdle ? 0 : static_cast<unsigned>(percent);
        unsigned overall = phase == kPhaseIdle ? 0
                           : phase == kPhaseComplete
                               ? 100
                               : current / phaseCount_ + 100 * phaseChanges_ / phaseCount_;
        Show(phase, current, overall, changed);
        if (changed && phase != kPhaseIdle && std::string(TextOfPhase(phase)) == "Complete") {
            w32::SetEvent(completion_);
        }
    }

    void Show(ULONG phase, unsigned current, unsigned overall, bool changed) {
        if (phase == kPhaseIdle) {
            return;
        }
        if (terminal_) {
            constexpr unsigned kWidth = 30;
            std::string bar(overall * kWidth / 100, '#');
            bar.resize(kWidth, '.');
            std::array<char, 128> line{};
            std::snprintf(line.data(), line.size(), "\r[%s] %3u%%  %-16s %3u%%", bar.c_str(), overall,
                          TextOfPhase(phase), current);
            out_ << line.data() << std::flush;
            shownBar_ = true;
            return;
        }
        // Plain lines: each phase as it starts, and its percentage every quarter.
        if (changed || current / 25 != lastQuarter_) {
            lastQuarter_ = current / 25;
            out_ << "progress: " << TextOfPhase(phase) << " " << current << "% (overall " << overall
                 << "%)\n";
        }
    }

    std::ostream& out_;
    unsigned phaseCount_;
    bool terminal_;
    std::atomic<bool> stop_{false};
    w32::HANDLE phaseEvent_ = nullptr;
    w32::HANDLE completion_ = nullptr;
    w32::HANDLE thread_ = nullptr;
    ULONG lastPhase_ = 11;
    unsigned phaseChanges_ = 0;
    unsigned lastQuarter_ = 0;
    bool shownBar_ = false;
};

struct FormatRequest {
    unsigned unit;
    bool full;
};

struct FormatOutcome {
    const char* failure = nullptr;  // the formatter's message, or none
    ULONG sizeIndex = kNoMediumSizeIndex;
};

const char* MessageOfStatus(PROGRAM_MEDIA_STATUS status) {
    return status == PROGRAM_MEDIA_SYSTEM_WRITE_FAILED ? kQuickFormatFailed : kFormatFailed;
}

// The formatter's worker from the open of the channel to its close after the format.
FormatOutcome RunWorker(const FormatRequest& request, ProgressMonitor& monitor) {
    FormatOutcome outcome;
    w32::HANDLE event = monitor.PhaseEvent();
    auto instance = static_cast<win::CHAR>(request.unit);
    VxMp3SetPhase(kPhaseIdle, 0.0, event);
    VxMp3SetPhase(kPhaseInitializing, 0.0, event);
    if (!VxMp3OpenDriverEx(instance, DEVICE_STATUS_NORMAL)) {
        outcome.failure = kNoCommunication;
        return outcome;
    }
    auto fail = [&](const char* message) {
        VxMp3FreeMemoryDevice(0);
        VxMp3CloseDriver();
        outcome.failure = message;
        return outcome;
    };
    ULONG power = 0;
    if (VxMp3GetPowerStatus(&power) != ACCESS_DEVICE_OK) {
        return fail(kNoCommunication);
    }
    if (power != 0) {
        return fail(kBatteryLow);
    }
    ULONG sizes[1] = {kNoMediumSizeIndex};
    ULONG failed = 0;
    if (VxMp3GetFlashSizes(&sizes[0], &failed) != ACCESS_DEVICE_OK) {
        return fail(kNoCommunication);
    }
    outcome.sizeIndex = sizes[0];
    if (sizes[0] >= kNoMediumSizeIndex) {
        return fail(kNoMedia);
    }
    _BinaryFilesInformation files{};
    tools::ReadBinaryFilesInformation(VxMp3GetChipId(1), &files);
    VxMp3SetPhase(kPhaseInitializing, 100.0, event);
    if (auto status = VxMp3BuildBlockStatus(sizes, 0, 1, &files, event); status != PROGRAM_MEDIA_OK) {
        return fail(MessageOfStatus(status));
    }
    if (auto status = VxMp3QuickFormatQorv(sizes, 0, 1, &files, event); status != PROGRAM_MEDIA_OK) {
        return fail(MessageOfStatus(status));
    }
    if (request.full && VxMp3FatEraseDataArea(sizes, 0, event) != PROGRAM_MEDIA_OK) {
        return fail(kTooDamaged);
    }
    VxMp3SetPhase(kPhaseClosing, 0.0, event);
    VxMp3FreeMemoryDevice(0);
    VxMp3CloseDriver();
    w32::Sleep(kReopenDelayMs);
    if (VxMp3OpenDriverNoBlock(instance, DEVICE_STATUS_NORMAL)) {
        USER_DATA userData{};
        for (int poll = 0; poll < kRemovalPolls && VxMp3GetStatus(&userData) && userData.removalAllowed == 0;
             ++poll) {
            w32::Sleep(kRemovalPollMs);
        }
        VxMp3CloseDriver();
        VxMp3SetPhase(kPhaseComplete, 0.0, event);
        monitor.WaitForCompletion();
    }
    return outcome;
}

// Block counts of the medium file, for the summary.
std::optional<media_format::MediumSummary> SummaryOfMedium(const std::string& path) {
    std::string error;
    auto mapped = media_format::MappedMedium::Open(path, error);
    if (!mapped) {
        return std::nullopt;
    }
    auto reader =
        media_format::MediumReader::Open(mapped->Bytes(), tools::ReadTotalKiloBytesReserved(), error);
    if (!reader) {
        return std::nullopt;
    }
    return reader->Summary();
}

}  // namespace

int RunFormat(Invocation& invocation) {
    auto playerFile = invocation.args.NextIfAny();
    bool full = invocation.args.Flag("full");
    invocation.args.ExpectEnd();
    auto booted = BootMachine(invocation);
    std::optional<DefaultPlayer> defaultPlayer;
    if (!playerFile) {
        defaultPlayer.emplace();
        playerFile = defaultPlayer->MediumPath();
    }
    std::string error;
    auto unit = booted->AttachPlayer(*playerFile, {}, &error);
    if (!unit) {
        invocation.err << "rpxsim: " << error << "\n";
        return 1;
    }
    platform::ProcessScope process(booted->Pc(), "VxMp3Format");
    auto before = SummaryOfMedium(*playerFile);
    std::uint64_t start = booted->Pc().Sched().NowMs();
    FormatOutcome outcome;
    {
        ProgressMonitor monitor(invocation.out, full ? 7 : 6,
                                &invocation.out == &std::cout && ::isatty(1) != 0);
        outcome = RunWorker({*unit, full}, monitor);
        if (outcome.failure != nullptr) {
            VxMp3SetPhase(kPhaseIdle, 0.0, monitor.PhaseEvent());
        }
    }
    std::uint64_t elapsedMs = booted->Pc().Sched().NowMs() - start;
    if (outcome.failure != nullptr) {
        invocation.out << "format failed: " << outcome.failure << "\n";
        return 1;
    }
    auto after = SummaryOfMedium(*playerFile);
    invocation.out << (full ? "full" : "quick") << " format complete\n";
    invocation.out << "  size:            " << CapacityLabel(outcome.sizeIndex) << " (size index "
                   << outcome.sizeIndex << ")\n";
    if (after && after->cisBlock) {
        invocation.out << "  CIS block:       " << *after->cisBlock << "\n";
    }
    if (before && after) {
        unsigned retired = after->unusableBlocks > before->unusableBlocks
                               ? after->unusableBlocks - before->unusableBlocks
                               : 0;
        invocation.out << "  blocks retired:  " << retired << " (" << after->unusableBlocks
                       << " unusable in all)\n";
    }
    std::array<char, 32> duration{};
    std::snprintf(duration.data(), duration.size(), "%.3f s", static_cast<double>(elapsedMs) / 1000.0);
    invocation.out << "  simulated time:  " << duration.data() << "\n";
    return 0;
}

}  // namespace rpxsim
