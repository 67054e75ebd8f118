// The platform's attributes and times of a host file.
#pragma once

#include <sys/stat.h>

#include <ctime>

#include "KstWin32Time.h"
#include "KstWinTypes.h"

namespace kst::detail {

// A folder, read-only when no one may write it, archive for every other file.
DWORD AttributesOf(const struct stat& st);
FILETIME FileTimeOf(const struct timespec& time);

}  // namespace kst::detail
