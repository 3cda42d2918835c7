// Booting the machine a subcommand runs on, from the common options.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "machine/machine.h"
#include "machine/rpxsim/command_line.h"

namespace rpxsim {

// Boots a machine of the chosen flavour with the registry file merged; with --debug its trace
// goes to the error stream as it is written. A bad option or registry file is a UsageError.
std::unique_ptr<machine::Machine> BootMachine(Invocation& invocation);

// Plugs a player file into the booted machine. On failure the reason goes to the error stream
// and nothing is returned; the subcommand then ends with status 1.
std::optional<unsigned> AttachPlayerFile(Invocation& invocation, machine::Machine& booted,
                                         const std::string& playerFile);

// The built-in default player: a factory-fresh 64 MB player in a temporary folder, removed with it.
class DefaultPlayer {
  public:
    static constexpr unsigned kMegabytes = 64;
    DefaultPlayer();
    ~DefaultPlayer();
    DefaultPlayer(const DefaultPlayer&) = delete;
    DefaultPlayer& operator=(const DefaultPlayer&) = delete;
    std::string MediumPath() const;

  private:
    std::filesystem::path folder_;
};

}  // namespace rpxsim
