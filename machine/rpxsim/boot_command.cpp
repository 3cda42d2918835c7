// `rpxsim boot`: boots a machine and prints its boot trace.
#include "machine/rpxsim/boot_command.h"

#include "machine/rpxsim/session.h"

namespace rpxsim {

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

int RunBoot(Invocation& invocation) {
    invocation.args.ExpectEnd();
    bool debug = invocation.common.debug;
    auto booted = BootMachine(invocation);
    if (!debug) {
        for (auto& line : booted->Trace().Lines()) {
            invocation.out << platform::TraceSink::Format(line);
        }
    }
    return 0;
}

}  // namespace rpxsim
