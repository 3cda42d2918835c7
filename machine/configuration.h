// Where the machine finds the product's configuration in its registry.
#pragma once

#include <string>

#include "tools/common/configuration_store.h"

namespace machine {

// The Params key as a full registry path.
inline std::string ParamsKeyFullPath() { return std::string("HKEY_LOCAL_MACHINE\\") + tools::kParamsKeyPath; }

}  // namespace machine
