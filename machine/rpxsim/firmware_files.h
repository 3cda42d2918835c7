// The firmware file set a host tool hands to the library: the set of the player's chip variant
// from the configuration, each file's contents and its ".ppd" companion's, loaded from the install
// folder (the machine's, or a host folder given with --install).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "library/binary_files_information.h"

namespace rpxsim {

struct FirmwareFiles {
    _BinaryFilesInformation set{};
    std::vector<std::vector<win::UCHAR>> contents;
    std::vector<std::vector<win::UCHAR>> companions;  // empty when a file has none
    // Pointer and length arrays as the library's exports take them.
    std::vector<win::UCHAR*> files;
    std::vector<win::ULONG> lengths;
    std::vector<win::UCHAR*> companionFiles;
    std::vector<win::ULONG> companionLengths;
};

// The set of `chipId` from the machine's configuration. Without companions only the files are
// loaded (the version display needs no more). On failure `error` holds the updater's message
// ("Could not find DSP file" with the path) and nothing is returned.
// Runs in the machine's process: the configuration and the install folder are the machine's.
std::optional<FirmwareFiles> LoadFirmwareFiles(const std::optional<std::string>& installDir,
                                               win::ULONG chipId, bool withCompanions, std::string* error);

}  // namespace rpxsim
