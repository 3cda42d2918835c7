#include "machine/machine.h"

#include <fstream>
#include <sstream>

#include "machine/default_configuration.h"

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
    trace.Write("machine", "booting " + std::string(version.name) + " " + std::to_string(version.major) + "." +
                               std::to_string(version.minor) + "." + std::to_string(version.build) +
                               (platform_->IsNtFamily() ? " (NT family)" : " (9x family)"));
    trace.Write("machine", std::string("clock: ") +
                               (options_.clock == platform::ClockMode::Virtual ? "virtual" : "real"));
    trace.Write("machine", "C: drive at " + platform_->Drive().Root().string());
    trace.Write("machine", std::string("user: ") + (options_.userIsAdministrator ? "administrator" : "limited user"));

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
    trace.Write("machine", "ready");
    return true;
}

}  // namespace machine
