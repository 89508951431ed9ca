// A second program that saves settings, for the tests that need several
// processes at once: "settings_writer ROUNDS ID [STOP]" saves
// WriterValues(ID, r) for r = 0 .. ROUNDS-1 and exits 0 when every save
// stored every value. STOP ("partial", "synced" or "renamed") makes every
// write stop this process (SIGSTOP) half-way through the temporary file,
// once the temporary file is on disk, or right after the rename, so that a
// test can kill it there.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry/RegistryFile.h"
#include "tests/app/WriterValues.h"

namespace {

std::optional<WriteStage> stop;

std::optional<WriteStage> StageNamed(std::string_view name)
{
    if (name == "partial") {
        return WriteStage::HalfWritten;
    }
    if (name == "synced") {
        return WriteStage::Synced;
    }
    if (name == "renamed") {
        return WriteStage::Renamed;
    }
    return std::nullopt;
}

void StopThere(WriteStage stage, std::string_view)
{
    if (stop == stage) {
        std::raise(SIGSTOP);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: settings_writer ROUNDS ID [partial|synced|renamed]\n");
        return 2;
    }
    if (argc == 4) {
        stop = StageNamed(argv[3]);
        if (!stop) {
            std::fprintf(stderr, "settings_writer: no such stop: %s\n", argv[3]);
            return 2;
        }
        WatchRegistryWrites(&StopThere);
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
