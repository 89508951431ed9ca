#include "app/PortChoice.h"

#include <cctype>
#include <optional>

namespace {

bool AllDigits(const std::string& text, std::size_t from, std::size_t to)
{
    if (from >= to) {
        return false;
    }
    for (std::size_t i = from; i < to; ++i) {
        if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) {
            return false;
        }
    }
    return true;
}

// The stored line if it is among the lines that `matches`, else the first
// such line, else nothing.
template <typename Matches>
std::optional<std::int32_t> Find(const std::vector<std::string>& lines, std::int32_t preferred, Matches matches)
{
    if (preferred >= 0 && static_cast<std::size_t>(preferred) < lines.size() &&
        matches(lines[static_cast<std::size_t>(preferred)])) {
        return preferred;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (matches(lines[i])) {
            return static_cast<std::int32_t>(i);
        }
    }
    return std::nullopt;
}

}  // namespace

std::string WithoutAlsaAddress(const std::string& name)
{
    const std::size_t space = name.rfind(' ');
    if (space == std::string::npos) {
        return name;
    }
    const std::size_t colon = name.find(':', space);
    if (colon == std::string::npos || !AllDigits(name, space + 1, colon) ||
        !AllDigits(name, colon + 1, name.size())) {
        return name;
    }
    return name.substr(0, space);
}

std::int32_t ChoosePort(const std::vector<std::string>& lines, const StoredPort& stored)
{
    if (stored.name.empty()) {
        return stored.line >= 0 && static_cast<std::size_t>(stored.line) < lines.size() ? stored.line : -1;
    }
    if (const auto exact = Find(lines, stored.line, [&](const std::string& line) { return line == stored.name; })) {
        return *exact;
    }
    const std::string wanted = WithoutAlsaAddress(stored.name);
    const auto loose =
        Find(lines, stored.line, [&](const std::string& line) { return WithoutAlsaAddress(line) == wanted; });
    return loose.value_or(-1);
}
