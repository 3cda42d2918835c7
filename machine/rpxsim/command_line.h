// The rpxsim command line: options common to every subcommand, and the arguments a subcommand parses.
#pragma once

#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace rpxsim {

// A mistake in the command line: rpxsim prints it as one line and exits with status 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Options accepted before or after any subcommand.
struct CommonOptions {
    std::string os = "xp";     // --os 95|98|me|2000|xp
    std::string registryFile;  // --registry FILE.reg, merged into the new machine's registry
    std::string user;          // --user admin|user
    bool debug = false;        // --debug: print the machine's trace
};

// What is left of the command line after the common options: positional words and the
// subcommand's own options, taken in order by the subcommand.
class Arguments {
  public:
    explicit Arguments(std::vector<std::string> words) : words_(std::move(words)) {}

    // The next positional word; a UsageError naming `what` when there is none.
    std::string Next(const char* what);
    std::optional<std::string> NextIfAny();
    // Takes "--name" wherever it stands; true when it was present.
    bool Flag(const char* name);
    // Takes "--name VALUE" (or --name=VALUE) wherever it stands.
    std::optional<std::string> Option(const char* name);
    std::optional<unsigned long> NumberOption(const char* name);
    // Fails with a UsageError when any word has not been taken.
    void ExpectEnd() const;
    // The words not yet taken, in order (for subcommands that pass a tail through).
    std::vector<std::string> Rest();

  private:
    std::vector<std::string> words_;
};

unsigned long ParseNumber(const std::string& text, const char* what);

struct Invocation {
    CommonOptions common;
    Arguments args;
    std::ostream& out;
    std::ostream& err;
};

using SubcommandRunner = int (*)(Invocation&);

struct Subcommand {
    const char* name;   // first word, e.g. "player"
    const char* usage;  // one line for --help
    SubcommandRunner run;
};

}  // namespace rpxsim
