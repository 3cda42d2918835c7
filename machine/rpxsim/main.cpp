// rpxsim: the user's entry point to the simulated PC and players.
#include <iostream>

#include "machine/rpxsim/boot_command.h"
#include "machine/rpxsim/command_line.h"
#include "machine/rpxsim/config_command.h"
#include "machine/rpxsim/format_command.h"
#include "machine/rpxsim/lib_command.h"
#include "machine/rpxsim/player_command.h"
#include "machine/rpxsim/update_command.h"
#include "machine/rpxsim/versions_command.h"

namespace rpxsim {
namespace {

constexpr const char* kVersion = "rpxsim 0.1.0";

// The subcommands, in the order --help lists them. The first is the main job, run when the
// command line names none.
const Subcommand kSubcommands[] = {
    {"format",
     "format [PLAYER] [--full]\n"
     "                          format a player's medium as the formatter does (the default 64 MB player\n"
     "                          when none is named), with its progress, result and summary",
     RunFormat},
    {"boot",
     "boot [PLAYER]           boot a machine with a player (a new 64 MB one when none is named)\n"
     "                          and print its boot trace",
     RunBoot},
    {"player",
     "player new FILE --size MB [--variant 8200|8210] [--bad B1,B2,...] [--card CARDFILE --card-sectors N]\n"
     "                          create a factory-fresh player\n"
     "  player info FILE        the geometry, bad blocks and block states of a player's medium\n"
     "  player disk FILE OUT.img [--reserved-kb K]\n"
     "                          write the logical disk the miniport presents",
     RunPlayer},
    {"config",
     "config [--chip N]       the install folder, reserved kilobytes and firmware file set the tools read",
     RunConfig},
    {"lib",
     "lib PLAYER -- EXPORT ARGS... [\\; EXPORT ARGS...]\n"
     "                          call library exports in one process against the player, a line per call\n"
     "  lib --exports           the exports it can call and their arguments",
     RunLib},
    {"update",
     "update PLAYER [--full] [--install DIR]\n"
     "                          update a player's firmware as the updater does (a quick download, or the\n"
     "                          full update), with its progress, messages and the versions afterwards",
     RunUpdate},
    {"versions",
     "versions PLAYER [--install DIR]\n"
     "                          the firmware versions on the player and in the install folder's files",
     RunVersions},
};

void PrintHelp(std::ostream& out) {
    out << "usage: rpxsim [SUBCOMMAND] [ARGS...] [OPTIONS]\n\n"
           "Runs the RPX-7300 host software on a simulated PC with simulated players.\n\n"
           "subcommands:\n";
    for (const auto& subcommand : kSubcommands) {
        out << "  " << subcommand.usage << "\n";
    }
    out << "\noptions (before or after the subcommand):\n"
           "  --os 95|98|me|2000|xp   the machine's Windows flavour (default xp)\n"
           "  --registry FILE.reg     merge a REGEDIT4 file into the machine's registry\n"
           "  --user admin|user       whether the machine's user is an administrator (default admin)\n"
           "  --debug                 print the machine's trace (debugger output, kernel prints)\n"
           "  --help, --version\n";
}

// Takes the common options out of the words, wherever they stand before a "--" tail.
CommonOptions TakeCommonOptions(Arguments& args, bool* help, bool* version) {
    CommonOptions common;
    *help = args.Flag("help");
    *version = args.Flag("version");
    common.debug = args.Flag("debug");
    if (auto os = args.Option("os"))
        common.os = *os;
    if (auto file = args.Option("registry"))
        common.registryFile = *file;
    if (auto user = args.Option("user"))
        common.user = *user;
    return common;
}

int Run(int argc, char** argv) {
    Arguments args(std::vector<std::string>(argv + 1, argv + argc));
    try {
        bool help = false;
        bool version = false;
        CommonOptions common = TakeCommonOptions(args, &help, &version);
        if (help) {
            PrintHelp(std::cout);
            return 0;
        }
        if (version) {
            std::cout << kVersion << "\n";
            return 0;
        }
        const Subcommand* chosen = &kSubcommands[0];
        Arguments peek = args;
        if (auto first = peek.NextIfAny()) {
            chosen = nullptr;
            for (const auto& subcommand : kSubcommands) {
                if (*first == subcommand.name) {
                    chosen = &subcommand;
                }
            }
            if (chosen == nullptr) {
                throw UsageError("unknown subcommand '" + *first + "' (see rpxsim --help)");
            }
            args.Next("subcommand");
        }
        Invocation invocation{common, std::move(args), std::cout, std::cerr};
        return chosen->run(invocation);
    } catch (const UsageError& error) {
        std::cerr << "rpxsim: " << error.what() << "\n";
        return 2;
    }
}

}  // namespace
}  // namespace rpxsim

int main(int argc, char** argv) {
    return rpxsim::Run(argc, argv);
}
