// `rpxsim lib`: boots a machine, plugs the player in through the bench link and calls a sequence of
// library exports from one simulated process, printing one line per call.
#include "machine/rpxsim/lib_command.h"

#include "machine/rpxsim/lib_exports.h"
#include "machine/rpxsim/session.h"

namespace rpxsim {

namespace {

// The calls of the tail, separated by ";" words (written "\;" in a shell).
std::vector<LibCall> ParseCalls(const std::vector<std::string>& tail) {
    std::vector<LibCall> calls;
    std::vector<std::string> words;
    for (std::size_t i = 0; i <= tail.size(); ++i) {
        if (i == tail.size() || tail[i] == ";") {
            calls.push_back(ParseLibCall(words));
            words.clear();
        } else {
            words.push_back(tail[i]);
        }
    }
    return calls;
}

}  // namespace

int RunLib(Invocation& invocation) {
    if (invocation.args.Flag("exports")) {
        invocation.args.ExpectEnd();
        invocation.out << "exports callable by rpxsim lib:\n" << LibExportList();
        return 0;
    }
    std::string playerFile = invocation.args.Next("PLAYER (a player's medium file)");
    auto tail = invocation.args.Rest();
    if (tail.empty()) {
        throw UsageError("lib needs '-- EXPORT ARGS...' after the player");
    }
    // Every call is checked before the machine boots, so a mistake costs nothing.
    auto calls = ParseCalls(tail);
    auto booted = BootMachine(invocation);
    if (!AttachPlayerFile(invocation, *booted, playerFile)) {
        return 1;
    }
    platform::ProcessScope process(booted->Pc(), "rpxsim lib");
    for (auto& call : calls) {
        invocation.out << call.run() << "\n";
        invocation.out.flush();
    }
    return 0;
}

}  // namespace rpxsim
