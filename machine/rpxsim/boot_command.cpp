// `rpxsim boot`: boots a machine and prints its boot trace.
#include "machine/rpxsim/boot_command.h"

#include "machine/rpxsim/session.h"

#include <cstdlib>
#include <filesystem>

#include "player/new_player.h"

namespace rpxsim {

DefaultPlayer::DefaultPlayer() {
    std::string pattern = (std::filesystem::temp_directory_path() / "rpx-player-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw UsageError("cannot create a temporary folder for the default player");
    }
    folder_ = pattern;
    player::NewPlayerRequest request;
    request.mediumPath = MediumPath();
    request.megabytes = kMegabytes;
    std::string error;
    if (!player::CreateNewPlayer(request, error)) {
        throw UsageError("default player: " + error);
    }
}

DefaultPlayer::~DefaultPlayer() {
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
}

std::string DefaultPlayer::MediumPath() const {
    return (folder_ / "player.nand").string();
}

std::unique_ptr<machine::Machine> BootMachine(Invocation& invocation) {
    machine::MachineOptions options;
    auto flavour = platform::ParseOsFlavour(invocation.common.os);
    if (!flavour) {
        throw UsageError("--os takes 95, 98, me, 2000 or xp, not '" + invocation.common.os + "'");
    }
    options.os = *flavour;
    options.registryFile = invocation.common.registryFile;
    if (!invocation.common.user.empty()) {
        if (invocation.common.user != "admin" && invocation.common.user != "user") {
            throw UsageError("--user takes admin or user, not '" + invocation.common.user + "'");
        }
        options.userIsAdministrator = invocation.common.user == "admin";
    }
    std::string error;
    auto booted = machine::Machine::Boot(options, &error);
    if (!booted) {
        throw UsageError(error);
    }
    if (invocation.common.debug) {
        for (auto& line : booted->Trace().Lines()) {
            invocation.err << platform::TraceSink::Format(line);
        }
        booted->Trace().EchoTo(&invocation.err);
    }
    return booted;
}

std::optional<unsigned> AttachPlayerFile(Invocation& invocation, machine::Machine& booted,
                                         const std::string& playerFile) {
    std::string error;
    auto unit = booted.AttachPlayer(playerFile, {}, &error);
    if (!unit) {
        invocation.err << "rpxsim: " << error << "\n";
    }
    return unit;
}

int RunBoot(Invocation& invocation) {
    auto playerFile = invocation.args.NextIfAny();
    invocation.args.ExpectEnd();
    bool debug = invocation.common.debug;
    auto booted = BootMachine(invocation);
    // Without a player of the user's, the built-in default: a 64 MB player in a temporary folder.
    std::optional<DefaultPlayer> defaultPlayer;
    if (!playerFile) {
        defaultPlayer.emplace();
        playerFile = defaultPlayer->MediumPath();
    }
    if (!AttachPlayerFile(invocation, *booted, *playerFile)) {
        return 1;
    }
    if (!debug) {
        for (auto& line : booted->Trace().Lines()) {
            invocation.out << platform::TraceSink::Format(line);
        }
    }
    return 0;
}

}  // namespace rpxsim
