// Any text as a registry file: it parses or it is refused, and what parses
// writes back into a text that parses into the same keys and values.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry/RegistryHive.h"

namespace {

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

bool SameHive(const RegistryHive& a, const RegistryHive& b)
{
    if (a.Keys().size() != b.Keys().size()) {
        return false;
    }
    for (std::size_t k = 0; k < a.Keys().size(); ++k) {
        const RegistryKeyNode& x = a.Keys()[k];
        const RegistryKeyNode& y = b.Keys()[k];
        if (x.path != y.path || x.values.size() != y.values.size()) {
            return false;
        }
        for (std::size_t v = 0; v < x.values.size(); ++v) {
            if (x.values[v].name != y.values[v].name || x.values[v].type != y.values[v].type ||
                x.values[v].data != y.values[v].data) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact copy, so that reading past the text is caught.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<RegistryHive> hive = RegistryHive::Parse(text, kRoot);
    if (!hive) {
        return 0;
    }
    const std::string again = hive->Format(kRoot);
    const std::optional<RegistryHive> reread = RegistryHive::Parse(again, kRoot);
    Check(reread.has_value(), "what was read is written readably");
    Check(SameHive(*hive, *reread), "what was read is written back unchanged");
    Check(reread->Format(kRoot) == again, "writing is stable");
    return 0;
}
