// `rpxsim format`: what the formatter of vendor-driver players does on Start, without its dialog.
// A worker runs the library calls in the formatter's order while a monitor thread polls the
// library's progress, shows it, and answers the phase handshake.
#include "machine/rpxsim/format_command.h"

#include <array>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "library/VxMp3.h"
#include "machine/rpxsim/progress_monitor.h"
#include "machine/rpxsim/session.h"
#include "machine/rpxsim/tool_steps.h"
#include "media_format/mapped_file.h"
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

constexpr ULONG kNoMediumSizeIndex = 36;

constexpr std::array<PhaseText, 7> kPhaseTexts{{{1, "Initializing"},
                                                {2, "Scanning blocks"},
                                                {3, "Erasing blocks"},
                                                {7, "Creating FAT"},
                                                {8, "Erasing blocks"},
                                                {9, "Closing Device"},
                                                {10, "Complete"}}};

std::string CapacityLabel(ULONG sizeIndex) {
    if (sizeIndex < 3 || sizeIndex > 35) {
        return kNoMedia;
    }
    unsigned megabytes = sizeIndex == 3 ? 8 : 16 * (sizeIndex - 3);
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%2u MB", megabytes);
    return text.data();
}

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
    VxMp3SetPhase(PHASE_IDLE, 0.0, event);
    VxMp3SetPhase(PHASE_INITIALIZING, 0.0, event);
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
    VxMp3SetPhase(PHASE_INITIALIZING, 100.0, event);
    if (auto status = VxMp3BuildBlockStatus(sizes, 0, 1, &files, event); status != PROGRAM_MEDIA_OK) {
        return fail(MessageOfStatus(status));
    }
    if (auto status = VxMp3QuickFormatQorv(sizes, 0, 1, &files, event); status != PROGRAM_MEDIA_OK) {
        return fail(MessageOfStatus(status));
    }
    if (request.full && VxMp3FatEraseDataArea(sizes, 0, event) != PROGRAM_MEDIA_OK) {
        return fail(kTooDamaged);
    }
    if (CloseAndAwaitRemoval(instance, event)) {
        VxMp3CloseDriver();
        VxMp3SetPhase(PHASE_COMPLETE, 0.0, event);
        monitor.WaitForCompletion();
    }
    return outcome;
}

// Block counts of the medium file, for the summary.
std::optional<media_format::MediumSummary> SummaryOfMedium(const std::string& path) {
    std::string error;
    auto mapped = media_format::MappedFile::Open(path, media_format::MappedFile::Access::ReadOnly, error);
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
    auto unit = AttachPlayerFile(invocation, *booted, *playerFile);
    if (!unit) {
        return 1;
    }
    platform::ProcessScope process(booted->Pc(), "VxMp3Format");
    auto before = SummaryOfMedium(*playerFile);
    std::uint64_t start = booted->Pc().Sched().NowMs();
    FormatOutcome outcome;
    {
        ProgressMonitor monitor(invocation.out, kPhaseTexts, full ? 7 : 6, IsTerminal(invocation.out));
        outcome = RunWorker({*unit, full}, monitor);
        if (outcome.failure != nullptr) {
            VxMp3SetPhase(PHASE_IDLE, 0.0, monitor.PhaseEvent());
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
