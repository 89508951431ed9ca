#include "containers/EntryNames.h"

namespace containers::names {

std::string RefusalOf(std::string_view component)
{
    for (const char c : component) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return "its name holds a control character";
        }
    }
    if (component.find('/') != std::string_view::npos || component.find('\\') != std::string_view::npos) {
        return "its name holds a slash or backslash";
    }
    if (component == "..") {
        return "its name is \"..\"";
    }
    return {};
}

std::vector<std::string> SplitPath(std::string_view path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view part = path.substr(start, end - start);
        if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        start = end + 1;
    }
    return parts;
}

}  // namespace containers::names
