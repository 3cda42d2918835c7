// `rpxsim update`: the updater's worker without its dialog. The firmware files and their ".ppd"
// companions are loaded, the channel is held exclusively, and the quick download (or the full
// update: system area, then file system) runs while the progress monitor shows the phases.
#include "machine/rpxsim/update_command.h"

#include <unistd.h>

#include <array>
#include <iostream>
#include <optional>
#include <string>

#include "library/VxMp3.h"
#include "machine/rpxsim/firmware_files.h"
#include "machine/rpxsim/progress_monitor.h"
#include "machine/rpxsim/session.h"
#include "machine/rpxsim/tool_steps.h"
#include "machine/rpxsim/versions_command.h"

namespace rpxsim {

namespace {

using win::ULONG;

// The updater's messages.
constexpr const char* kNoCommunication = "No communication with the device,\na transfer may be in progress.";
constexpr const char* kFormatFailed = "Format failed";
constexpr const char* kQuickFailed = "Quick download failed, uncheck the quick download option.";
constexpr const char* kTooDamaged = "The media is too damaged to be formatted.";
constexpr const char* kNotBootMedia =
    "This is not a boot smartmedia, a complete format is required;\nall files will be deleted, proceed? ";
constexpr const char* kBatteryLow = "Battery is low, replace it before formatting.";
constexpr const char* kSystemAreaFull =
    "Size of the system files exceed system area. Please contact the vendor.";
constexpr const char* kUnableToRead = "Unable to read the current firmware version.";

constexpr unsigned kQuickPhases = 6;
constexpr unsigned kFullPhases = 9;

constexpr std::array<PhaseText, 10> kPhaseTexts{{{1, "Initializing"},
                                                 {2, "Scanning blocks"},
                                                 {3, "Erasing blocks"},
                                                 {4, "Erasing blocks"},
                                                 {5, "Copying boot files"},
                                                 {6, "Copying boot files"},
                                                 {7, "Creating FAT"},
                                                 {8, "Erasing blocks"},
                                                 {9, "Closing Device"},
                                                 {10, "Complete"}}};

struct UpdateRequest {
    win::CHAR instance;
    bool full;
    std::optional<std::string> install;
};

struct UpdateOutcome {
    const char* failure = nullptr;  // the updater's message; none on success or when nothing is said
    bool failed = false;
    bool fullUpdate = false;
    bool nothingWritten = false;
};

const char* LibraryFailure(PROGRAM_MEDIA_STATUS status, bool quick) {
    if (status == PROGRAM_MEDIA_SYSTEM_WRITE_FAILED) {
        return quick ? kQuickFailed : kTooDamaged;
    }
    return status == PROGRAM_MEDIA_SYSTEM_AREA_FULL ? kSystemAreaFull : kFormatFailed;
}

// The updater's question 138: yes only from a person at a terminal.
bool AskFullUpdate(std::ostream& out) {
    out << "\n" << kNotBootMedia << "[y/N] " << std::flush;
    std::string answer;
    if (::isatty(0) == 0 || !std::getline(std::cin, answer)) {
        out << "\n";
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes";
}

class Worker {
  public:
    Worker(const UpdateRequest& request, ProgressMonitor& monitor, std::ostream& out)
        : request_(request), monitor_(monitor), out_(out) {}

    UpdateOutcome Run(FirmwareFiles& firmware) {
        w32::HANDLE event = monitor_.PhaseEvent();
        VxMp3SetPhase(PHASE_IDLE, 0.0, event);
        VxMp3SetPhase(PHASE_INITIALIZING, 0.0, event);
        if (!VxMp3OpenDriverEx(request_.instance, DEVICE_STATUS_NORMAL)) {
            outcome_.failed = true;
            return outcome_;
        }
        ULONG power = 0;
        if (VxMp3GetPowerStatus(&power) != ACCESS_DEVICE_OK || power != 0) {
            return Fail(power != 0 ? kBatteryLow : kNoCommunication);
        }
        ULONG failed = 0;
        VxMp3GetFlashSizes(&sizes_[0], &failed);
        if (auto r = VxMp3BuildBlockStatus(sizes_, 0, 1, &firmware.set, event); r != PROGRAM_MEDIA_OK) {
            return Fail(LibraryFailure(r, !request_.full));
        }
        const bool quick = !request_.full;
        if (quick) {
            auto r = VxMp3ProgramQorvMedia(sizes_, 0, firmware.files.data(), firmware.lengths.data(),
                                           firmware.companionFiles.data(), firmware.companionLengths.data(),
                                           &firmware.set, event);
            if (r == PROGRAM_MEDIA_NOT_BOOT_MEDIA) {
                if (!AskFullUpdate(out_)) {
                    outcome_.nothingWritten = true;
                    return Close(firmware);
                }
                monitor_.SetPhaseCount(kFullPhases);
                return FullUpdate(firmware, quick);
            }
            if (r != PROGRAM_MEDIA_OK) {
                return Fail(LibraryFailure(r, quick));
            }
            return Close(firmware);
        }
        return FullUpdate(firmware, quick);
    }

  private:
    UpdateOutcome FullUpdate(FirmwareFiles& firmware, bool quick) {
        w32::HANDLE event = monitor_.PhaseEvent();
        outcome_.fullUpdate = true;
        auto r = VxMp3FatFormatEx(sizes_, 0, 1, firmware.files.data(), firmware.lengths.data(),
                                  firmware.companionFiles.data(), firmware.companionLengths.data(),
                                  &firmware.set, event);
        if (r != PROGRAM_MEDIA_OK) {
            return Fail(LibraryFailure(r, quick));
        }
        r = VxMp3QuickFormatQorv(sizes_, 0, 1, &firmware.set, event);
        if (r != PROGRAM_MEDIA_OK) {
            return Fail(r == PROGRAM_MEDIA_SYSTEM_WRITE_FAILED ? kQuickFailed : kFormatFailed);
        }
        return Close(firmware);
    }

    UpdateOutcome Fail(const char* message) {
        VxMp3FreeMemoryDevice(0);
        VxMp3CloseDriver();
        outcome_.failure = message;
        outcome_.failed = true;
        return outcome_;
    }

    // The closing steps: the channel given back, the player's removal awaited, the versions read
    // again and "Complete" shown.
    UpdateOutcome Close(FirmwareFiles& firmware) {
        w32::HANDLE event = monitor_.PhaseEvent();
        if (!CloseAndAwaitRemoval(request_.instance, event)) {
            return outcome_;
        }
        versionsRead_ = VxMp3GetFirmwareVersion(sizes_, 0, &firmware.set) == PROGRAM_MEDIA_OK;
        VxMp3FreeMemoryDevice(0);
        VxMp3CloseDriver();
        VxMp3SetPhase(PHASE_COMPLETE, 0.0, event);
        monitor_.WaitForCompletion();
        return outcome_;
    }

  public:
    bool VersionsRead() const { return versionsRead_; }

  private:
    const UpdateRequest& request_;
    ProgressMonitor& monitor_;
    std::ostream& out_;
    ULONG sizes_[1] = {36};
    UpdateOutcome outcome_;
    bool versionsRead_ = false;
};

}  // namespace

int RunUpdate(Invocation& invocation) {
    auto playerFile = invocation.args.Next("PLAYER");
    UpdateRequest request{0, invocation.args.Flag("full"), invocation.args.Option("install")};
    invocation.args.ExpectEnd();
    auto booted = BootMachine(invocation);
    auto unit = AttachPlayerFile(invocation, *booted, playerFile);
    if (!unit) {
        return 1;
    }
    request.instance = static_cast<win::CHAR>(*unit);
    platform::ProcessScope process(booted->Pc(), "VxUsbMscUpgrade");
    ULONG chipId = 0;
    if (VxMp3OpenDriverNoBlock(request.instance, DEVICE_STATUS_NORMAL)) {
        chipId = VxMp3GetChipId(1);
        VxMp3CloseDriver();
    }
    std::string error;
    auto firmware = LoadFirmwareFiles(request.install, chipId, true, &error);
    if (!firmware) {
        invocation.out << "update failed: " << error << "\n";
        return 1;
    }
    VxMp3GetFileVersion(firmware->files.data(), firmware->lengths.data(), &firmware->set);
    UpdateOutcome outcome;
    bool versionsRead = false;
    {
        ProgressMonitor monitor(invocation.out, kPhaseTexts, request.full ? kFullPhases : kQuickPhases,
                                IsTerminal(invocation.out));
        Worker worker(request, monitor, invocation.out);
        outcome = worker.Run(*firmware);
        versionsRead = worker.VersionsRead();
        if (outcome.failed) {
            VxMp3SetPhase(PHASE_IDLE, 0.0, monitor.PhaseEvent());
        }
    }
    if (outcome.failed) {
        invocation.out << "update failed"
                       << (outcome.failure != nullptr ? std::string(": ") + outcome.failure : "") << "\n";
        return 1;
    }
    if (outcome.nothingWritten) {
        invocation.out << "nothing written\n";
        return 0;
    }
    invocation.out << (outcome.fullUpdate ? "full update" : "quick download") << " complete\n";
    if (!versionsRead) {
        invocation.out << kUnableToRead << "\n";
    }
    PrintVersions(invocation.out, firmware->set);
    return 0;
}

}  // namespace rpxsim
