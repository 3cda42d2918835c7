// The C: drive: a host folder. Windows paths ("C:\Program Files\x.txt", "c:/x", and the
// kernel's "\DosDevices\C:\x" or "\??\C:\x") map onto it, each existing component matched
// without regard to case, as on Windows.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace platform {

class CDrive {
  public:
    explicit CDrive(std::filesystem::path root);

    const std::filesystem::path& Root() const { return root_; }
    // The host path of a C: path; nullopt for a path that is not on C: or climbs above it.
    std::optional<std::filesystem::path> Resolve(std::string_view windowsPath) const;

  private:
    std::filesystem::path root_;
};

}  // namespace platform
