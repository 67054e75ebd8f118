// This computer's name and the platform family, as GetComputerNameA and GetVersion report them.
#pragma once

#include <string>

#include "KstPlatform.h"

namespace kst::detail {

std::string ComputerName();
PlatformFamily CurrentPlatformFamily();

}  // namespace kst::detail
