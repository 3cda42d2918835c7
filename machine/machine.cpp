#include "machine/machine.h"

#include <fstream>
#include <sstream>

#include "machine/bench_link/bench_link.h"
#include "machine/default_configuration.h"
#include "player/player_config.h"

namespace machine {

namespace {

platform::PlatformConfig ConfigOf(const MachineOptions& options) {
    platform::PlatformConfig config = platform::PlatformConfig::Of(options.os);
    config.clock = options.clock;
    config.cDrive = options.cDrive;
    config.userIsAdministrator = options.userIsAdministrator;
    return config;
}

}  // namespace

Machine::Machine(const MachineOptions& options)
    : options_(options), platform_(std::make_unique<platform::Platform>(ConfigOf(options))) {}

std::unique_ptr<Machine> Machine::Boot(const MachineOptions& options, std::string* error) {
    std::unique_ptr<Machine> machine(new Machine(options));
    if (!machine->Start(error)) {
        return nullptr;
    }
    return machine;
}

bool Machine::Start(std::string* error) {
    auto& trace = platform_->Trace();
    const auto& version = platform_->Version();
    trace.Write("machine", "booting " + std::string(version.name) + " " + std::to_string(version.major) +
                               "." + std::to_string(version.minor) + "." + std::to_string(version.build) +
                               (platform_->IsNtFamily() ? " (NT family)" : " (9x family)"));
    trace.Write("machine", std::string("clock: ") +
                               (options_.clock == platform::ClockMode::Virtual ? "virtual" : "real"));
    trace.Write("machine", "C: drive at " + platform_->Drive().Root().string());
    trace.Write("machine",
                std::string("user: ") + (options_.userIsAdministrator ? "administrator" : "limited user"));

    if (!LoadDefaultConfiguration(*platform_, error)) {
        return false;
    }
    trace.Write("machine", "registry: default configuration");
    if (!options_.registryFile.empty()) {
        std::ifstream file(options_.registryFile, std::ios::binary);
        if (!file) {
            *error = "cannot read registry file " + options_.registryFile.string();
            return false;
        }
        std::stringstream text;
        text << file.rdbuf();
        auto result = platform_->Reg().LoadRegedit4(text.str());
        if (!result.ok) {
            *error = options_.registryFile.string() + ": " + result.Message();
            return false;
        }
        trace.Write("machine", "registry: merged " + options_.registryFile.string());
    }
    if (auto folder = CreateInstallFolder(*platform_); !folder.empty()) {
        trace.Write("machine", "install folder: " + folder);
    }
    {
        // Driver code runs on a machine thread: the boot runs as a short-lived process.
        platform::ProcessScope boot(*platform_, "boot");
        if (!BenchLink::Install(platform_->Kern())) {
            *error = "the bench link driver did not load";
            return false;
        }
    }
    trace.Write("machine", "ready");
    return true;
}

std::optional<unsigned> Machine::AttachPlayer(std::unique_ptr<player::Player> player, std::string* error) {
    platform::ProcessScope attach(*platform_, "attach");
    auto unit = BenchLink::Attach(platform_->Kern(), *player);
    if (!unit) {
        *error = "no free unit for another player";
        return std::nullopt;
    }
    players_[*unit] = std::move(player);
    return unit;
}

std::optional<unsigned> Machine::AttachPlayer(const std::string& mediumPath, player::PlayerOptions options,
                                              std::string* error) {
    auto loaded = player::LoadPlayer(mediumPath, std::move(options), *error);
    if (!loaded) {
        return std::nullopt;
    }
    return AttachPlayer(std::make_unique<player::Player>(std::move(*loaded)), error);
}

player::Player* Machine::PlayerOfUnit(unsigned unit) {
    auto it = players_.find(unit);
    return it == players_.end() ? nullptr : it->second.get();
}

void Machine::UnplugPlayer(unsigned unit) {
    auto it = players_.find(unit);
    if (it == players_.end()) {
        return;
    }
    platform::ProcessScope unplug(*platform_, "unplug");
    BenchLink::Unplug(platform_->Kern(), unit);
    // The unit's device may outlive the unplug while handles are open; it no longer calls the
    // player, which therefore stays with the machine until the end.
    platform_->Trace().Write("machine", "player " + std::to_string(unit) + " unplugged");
}

}  // namespace machine
