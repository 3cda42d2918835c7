#include "machine/rpxsim/firmware_files.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tools/common/binary_files.h"
#include "tools/common/configuration_store.h"

namespace rpxsim {

namespace {

constexpr const char* kNotFound = "Could not find DSP file";

std::optional<std::vector<win::UCHAR>> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::vector<win::UCHAR>{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The host folder of the firmware files: --install DIR, or the configured install folder on C:.
std::optional<std::filesystem::path> HostFolder(machine::Machine& pc,
                                                const std::optional<std::string>& installDir) {
    if (installDir) {
        return std::filesystem::path(*installDir);
    }
    char folder[260] = {};
    if (!tools::ReadInstallFolder(folder, sizeof folder)) {
        return std::nullopt;
    }
    return pc.Pc().Drive().Resolve(folder);
}

}  // namespace

std::optional<FirmwareFiles> LoadFirmwareFiles(machine::Machine& pc,
                                               const std::optional<std::string>& installDir,
                                               win::ULONG chipId, bool withCompanions, std::string* error) {
    FirmwareFiles loaded;
    tools::ReadBinaryFilesInformation(chipId, &loaded.set);
    auto folder = HostFolder(pc, installDir);
    if (!folder) {
        *error = std::string(kNotFound) + " (no install folder)";
        return std::nullopt;
    }
    for (win::ULONG i = 0; i < loaded.set.numberOfBinaryFiles; ++i) {
        const std::filesystem::path path = *folder / loaded.set.fileName[i];
        auto contents = ReadWholeFile(path);
        if (!contents) {
            *error = std::string(kNotFound) + " (" + path.string() + ")";
            return std::nullopt;
        }
        loaded.contents.push_back(std::move(*contents));
        // A companion that cannot be read stays empty, as the updater has it.
        auto companion = withCompanions ? ReadWholeFile(path.string() + ".ppd") : std::nullopt;
        loaded.companions.push_back(companion.value_or(std::vector<win::UCHAR>{}));
    }
    for (win::ULONG i = 0; i < loaded.set.numberOfBinaryFiles; ++i) {
        loaded.files.push_back(loaded.contents[i].data());
        loaded.lengths.push_back(static_cast<win::ULONG>(loaded.contents[i].size()));
        loaded.companionFiles.push_back(loaded.companions[i].empty() ? nullptr : loaded.companions[i].data());
        loaded.companionLengths.push_back(static_cast<win::ULONG>(loaded.companions[i].size()));
    }
    return loaded;
}

}  // namespace rpxsim
