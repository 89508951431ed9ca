// A second program that saves settings, for the tests that need several
// processes at once: "settings_writer ROUNDS ID" saves WriterValues(ID, r)
// for r = 0 .. ROUNDS-1 and exits 0 when every save stored every value.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/app/WriterValues.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: settings_writer ROUNDS ID\n");
        return 2;
    }
    const auto rounds = static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10));
    const auto id = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    for (std::uint32_t r = 0; r < rounds; ++r) {
        if (!SaveSettings(MemorySettings(WriterValues(id, r)))) {
            std::printf("save %u of writer %u failed\n", r, id);
            return 1;
        }
    }
    return 0;
}
