// Time texts of the framework's time classes: strftime into a string.
#pragma once

#include <ctime>
#include <string>

namespace kst::detail {

std::string FormatTm(const char* format, const struct tm& fields);

}  // namespace kst::detail
