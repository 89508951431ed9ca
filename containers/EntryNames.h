#pragma once

// The one rule both readers apply to the names they find: a name that could
// lead a caller out of the folder it was found in, or that holds what no
// file name should, is listed with the reason and never opened.

#include <string>
#include <string_view>
#include <vector>

namespace containers::names {

// Why one component of a name is refused; empty when it is fine.
std::string RefusalOf(std::string_view component);

// '/'-separated parts, with empty and "." parts left out.
std::vector<std::string> SplitPath(std::string_view path);

}  // namespace containers::names
