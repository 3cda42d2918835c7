// The library exports that `rpxsim lib` can call: each parses its arguments from the command line
// and, when run, prints its result and outputs as one line.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace rpxsim {

struct LibCall {
    std::string name;
    // Calls the export on the current machine thread; returns "NAME -> RESULT name=value ...".
    std::function<std::string()> run;
};

// One call from its words (the export's name, then its arguments); a UsageError for an unknown
// export or a bad argument.
LibCall ParseLibCall(const std::vector<std::string>& words);

// "NAME ARGS" of every callable export, one per line, for the usage text.
std::string LibExportList();

}  // namespace rpxsim
