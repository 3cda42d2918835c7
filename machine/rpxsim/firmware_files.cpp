#include "machine/rpxsim/firmware_files.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/win32/win32.h"
#include "tools/common/binary_files.h"
#include "tools/common/configuration_store.h"

namespace rpxsim {

namespace {

constexpr const char* kNotFound = "Could not find DSP file";

std::optional<std::vector<win::UCHAR>> ReadHostFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::vector<win::UCHAR>{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file of the simulated PC, read as the tools read it: through the machine's Win32 calls.
std::optional<std::vector<win::UCHAR>> ReadMachineFile(const std::string& path) {
    w32::HANDLE file = w32::CreateFileA(path.c_str(), w32::GENERIC_READ, w32::FILE_SHARE_READ, nullptr,
                                        w32::OPEN_EXISTING, w32::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == w32::INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::vector<win::UCHAR> contents(w32::GetFileSize(file, nullptr));
    w32::DWORD read = 0;
    bool ok = contents.empty() || (w32::ReadFile(file, contents.data(),
                                                 static_cast<w32::DWORD>(contents.size()), &read, nullptr) &&
                                   read == contents.size());
    w32::CloseHandle(file);
    return ok ? std::optional(std::move(contents)) : std::nullopt;
}

}  // namespace

std::optional<FirmwareFiles> LoadFirmwareFiles(const std::optional<std::string>& installDir,
                                               win::ULONG chipId, bool withCompanions, std::string* error) {
    FirmwareFiles loaded;
    tools::ReadBinaryFilesInformation(chipId, &loaded.set);
    char folder[260] = {};
    if (!installDir && !tools::ReadInstallFolder(folder, sizeof folder)) {
        *error = std::string(kNotFound) + " (no install folder)";
        return std::nullopt;
    }
    // A host folder given with --install is read directly; the machine's own through its C: drive.
    auto read = [&](const std::string& name) {
        return installDir ? ReadHostFile(std::filesystem::path(*installDir) / name)
                          : ReadMachineFile(std::string(folder) + "\\" + name);
    };
    for (win::ULONG i = 0; i < loaded.set.numberOfBinaryFiles; ++i) {
        const std::string name = loaded.set.fileName[i];
        auto contents = read(name);
        if (!contents) {
            *error = std::string(kNotFound) + " (" +
                     (installDir ? *installDir + "/" : std::string(folder) + "\\") + name + ")";
            return std::nullopt;
        }
        loaded.contents.push_back(std::move(*contents));
        // A companion that cannot be read stays empty, as the updater has it.
        auto companion = withCompanions ? read(name + ".ppd") : std::nullopt;
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
