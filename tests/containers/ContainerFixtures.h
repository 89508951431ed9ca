#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tests/support/VoiceFileBuilder.h"

// The images and archives make-fixtures.sh made at build time, and the
// voice files it put into them as the builder makes them.
namespace fixtures {

inline std::string Path(const std::string& name)
{
    return std::string(SONDERIK_CONTAINER_FIXTURES) + "/" + name;
}

inline std::string Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("missing fixture " + path);
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string Fixture(const std::string& name)
{
    return Bytes(Path(name));
}

inline std::string BankAs(VoiceFileBuilder::Kind kind)
{
    const auto bytes = DemoBank().FileBytes(kind);
    return {bytes.begin(), bytes.end()};
}

// 2001-02-03 04:05:06, the stamp every fixture file has.
inline constexpr std::int64_t kStamp = 981173106;

}  // namespace fixtures
