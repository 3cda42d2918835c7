// A simulated PC assembled for the system: a platform of one OS flavour with its registry,
// C: drive, clock and trace, and (as they arrive) the installed drivers, programs and players.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace machine {

struct MachineOptions {
    platform::OsFlavour os = platform::OsFlavour::WinXp;
    platform::ClockMode clock = platform::ClockMode::Virtual;
    // A REGEDIT4 file merged into the new machine's registry.
    std::filesystem::path registryFile;
    bool userIsAdministrator = true;
    // Host folder of the C: drive; a temporary one when empty.
    std::filesystem::path cDrive;
};

class Machine {
public:
    // Builds and boots the machine; `error` holds a one-line reason when that fails (a bad
    // registry file), and the machine is then not usable.
    static std::unique_ptr<Machine> Boot(const MachineOptions& options, std::string* error);

    platform::Platform& Pc() { return *platform_; }
    platform::TraceSink& Trace() { return platform_->Trace(); }
    const MachineOptions& Options() const { return options_; }

private:
    explicit Machine(const MachineOptions& options);
    bool Start(std::string* error);

    MachineOptions options_;
    std::unique_ptr<platform::Platform> platform_;
};

}  // namespace machine
