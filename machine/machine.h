// A simulated PC assembled for the system: a platform of one OS flavour with its registry,
// C: drive, clock and trace, and (as they arrive) the installed drivers, programs and players.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "player/player.h"

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

    // Plugs a player into the machine through the bench link (its firmware as the control device
    // "ZPRPX73u<unit>"); the machine keeps it until it is unplugged or the machine ends.
    std::optional<unsigned> AttachPlayer(std::unique_ptr<player::Player> player, std::string* error);
    // The player of a medium file, with its settings file and card.
    std::optional<unsigned> AttachPlayer(const std::string& mediumPath, player::PlayerOptions options,
                                         std::string* error);
    player::Player* PlayerOfUnit(unsigned unit);
    void UnplugPlayer(unsigned unit);

  private:
    explicit Machine(const MachineOptions& options);
    bool Start(std::string* error);

    MachineOptions options_;
    // Before the platform: the platform's threads stop before the players they serve go.
    std::map<unsigned, std::unique_ptr<player::Player>> players_;
    std::unique_ptr<platform::Platform> platform_;
};

}  // namespace machine
