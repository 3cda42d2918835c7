#pragma once

#include <ostream>

#include "library/binary_files_information.h"
#include "machine/rpxsim/command_line.h"

namespace rpxsim {

// `rpxsim versions PLAYER [--install DIR]`: the firmware versions on the player and in the
// install folder's files, as the updater shows them.
int RunVersions(Invocation& invocation);

// A version entry as the updater's version fields show it: "No version available" for 0.0,
// "Invalid version" when a word is 1000 or more, else "%3d.%3.3d" of words 0 and 1.
std::string VersionFieldText(win::ULONG entry);

// Every file's device and file versions: words 0 and 1 as the version fields show them, words 2
// and 3 as the details dialog does ("%3d.%3.3d" always).
void PrintVersions(std::ostream& out, const _BinaryFilesInformation& set);

}  // namespace rpxsim
