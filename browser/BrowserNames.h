#pragma once

#include <string>
#include <string_view>

// How the browser shows and orders names. Names are bytes; these rules look
// only at ASCII letters, so a Latin-1 or UTF-8 name keeps every other byte.
namespace browser {

// Folds A-Z to a-z, then compares bytes as unsigned: below zero, zero or
// above zero. The tree's levels and the file list are in this order.
int CompareIgnoringCase(std::string_view a, std::string_view b);

// The order of the tree and the file list: ignoring letter case, and names
// that differ only in case by their bytes, so the order never depends on
// the order in which a folder gave its entries.
bool ShownBefore(std::string_view a, std::string_view b);

// A name without a lower-case ASCII letter is shown lower-cased with its
// first byte upper-cased (WINDOWS as Windows, EX5 DATA as Ex5 data); any
// other name is shown as it is (My Voices, "Network", C:).
std::string GetDisplayName(std::string_view name);

}  // namespace browser
