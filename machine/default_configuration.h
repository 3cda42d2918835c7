// The configuration a new machine starts with, as the product's setup program would leave it:
// machine/default_configuration.reg, built into the machine.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace machine {

// The REGEDIT4 text of machine/default_configuration.reg.
std::string_view DefaultConfiguration();

// Merges the default configuration into the machine's registry; false with a one-line reason
// when the built-in text does not load.
bool LoadDefaultConfiguration(platform::Platform& pc, std::string* error);

// Creates the folder that "Install Folder" names, when it names one on the C: drive, so that the
// firmware files have their place. Returns the folder, or an empty text when there is none.
std::string CreateInstallFolder(platform::Platform& pc);

}  // namespace machine
