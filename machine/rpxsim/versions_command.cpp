// `rpxsim versions`: what the updater reads at its start, the device versions from the player's
// medium and the file versions from the install folder, shown as its dialogs show them.
#include "machine/rpxsim/versions_command.h"

#include <array>
#include <cstdio>
#include <optional>
#include <string>

#include "library/VxMp3.h"
#include "machine/rpxsim/firmware_files.h"
#include "machine/rpxsim/session.h"

namespace rpxsim {

namespace {

using win::ULONG;

constexpr const char* kNoCommunication = "No communication with the device,\na transfer may be in progress.";
constexpr const char* kUnableToRead = "Unable to read the current firmware version.";
constexpr ULONG kInvalidWord = 1000;

std::string WordsText(ULONG entry) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%3d.%3.3d", static_cast<int>(entry & 0xFFFF),
                  static_cast<int>(entry >> 16));
    return text.data();
}

}  // namespace

std::string VersionFieldText(ULONG entry) {
    if (entry == 0) {
        return "No version available";
    }
    if ((entry & 0xFFFF) >= kInvalidWord || (entry >> 16) >= kInvalidWord) {
        return "Invalid version";
    }
    return WordsText(entry);
}

void PrintVersions(std::ostream& out, const _BinaryFilesInformation& set) {
    for (ULONG i = 0; i < std::min(set.numberOfBinaryFiles, MAX_BINARY_FILES); ++i) {
        out << set.fileDescription[i] << " (" << set.fileName[i] << ")"
            << (i + 1 == set.playerFileNumber ? ", the player file" : "") << "\n"
            << "  current: " << VersionFieldText(set.deviceVersion01[i]) << "  ["
            << WordsText(set.deviceVersion23[i]) << "]\n"
            << "  upgrade: " << VersionFieldText(set.fileVersion01[i]) << "  ["
            << WordsText(set.fileVersion23[i]) << "]\n";
    }
}

int RunVersions(Invocation& invocation) {
    auto playerFile = invocation.args.Next("PLAYER");
    auto install = invocation.args.Option("install");
    invocation.args.ExpectEnd();
    auto booted = BootMachine(invocation);
    auto unit = AttachPlayerFile(invocation, *booted, playerFile);
    if (!unit) {
        return 1;
    }
    platform::ProcessScope process(booted->Pc(), "VxUsbMscUpgrade");
    const auto instance = static_cast<win::CHAR>(*unit);
    if (!VxMp3OpenDriverNoBlock(instance, DEVICE_STATUS_NORMAL)) {
        invocation.out << kNoCommunication << "\n";
        return 1;
    }
    ULONG sizes[1] = {36};
    ULONG failed = 0;
    VxMp3GetFlashSizes(&sizes[0], &failed);
    const ULONG chipId = VxMp3GetChipId(1);
    VxMp3CloseDriver();
    std::string error;
    auto firmware = LoadFirmwareFiles(install, chipId, false, &error);
    if (!firmware) {
        invocation.out << error << "\n";
        return 1;
    }
    int status = 0;
    if (VxMp3GetFileVersion(firmware->files.data(), firmware->lengths.data(), &firmware->set) !=
        PROGRAM_MEDIA_OK) {
        invocation.out << kUnableToRead << "\n";
        status = 1;
    }
    if (!VxMp3OpenDriverNoBlock(instance, DEVICE_STATUS_NORMAL)) {
        invocation.out << kNoCommunication << "\n";
        return 1;
    }
    if (VxMp3GetFirmwareVersion(sizes, 0, &firmware->set) != PROGRAM_MEDIA_OK) {
        invocation.out << kUnableToRead << "\n";
        status = 1;
    }
    VxMp3FreeMemoryDevice(0);
    VxMp3CloseDriver();
    PrintVersions(invocation.out, firmware->set);
    return status;
}

}  // namespace rpxsim
