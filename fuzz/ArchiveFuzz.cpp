// Any bytes as an archive: index it, list every folder the index implies,
// and read every entry from memory. A read keeps to its limit, a refused
// entry is never read, and a broken archive is a problem, never a crash.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "containers/Archive.h"

namespace {

constexpr std::size_t kLimit = 64 * 1024;
constexpr std::size_t kMostReads = 64;

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const containers::ArchiveIndex index = containers::IndexArchive(bytes);
    Check(index.problem.empty() || index.entries.empty(), "a broken archive lists nothing");
    const containers::Listing root = containers::ListArchiveFolder(index, {});
    Check(root.problem == index.problem, "the root lists as the index reads");
    std::size_t reads = 0;
    for (const containers::ArchiveEntry& entry : index.entries) {
        Check(entry.path.empty() || (entry.path.front() != '/' && entry.path.rfind("./", 0) != 0),
              "paths start inside the archive");
        if (entry.folder && entry.refused.empty()) {
            std::vector<std::string> folder;
            std::size_t start = 0;
            while (start <= entry.path.size()) {
                const std::size_t end = std::min(entry.path.find('/', start), entry.path.size());
                folder.push_back(entry.path.substr(start, end - start));
                start = end + 1;
            }
            const containers::Listing listing = containers::ListArchiveFolder(index, folder);
            Check(listing.problem.empty(), "a folder of the index can be listed");
            continue;
        }
        if (entry.folder || ++reads > kMostReads) {
            continue;
        }
        const containers::Contents contents = containers::ReadArchiveEntry(bytes, entry.path, kLimit);
        Check(contents.problem.empty() || contents.bytes.empty(), "a failed read gives no bytes");
        Check(contents.bytes.size() <= kLimit, "a read keeps to its limit");
        // Two entries may share a path; a read takes the first.
        const auto first = std::find_if(index.entries.begin(), index.entries.end(),
                                        [&entry](const containers::ArchiveEntry& e) { return e.path == entry.path; });
        if (!first->refused.empty() || first->folder) {
            Check(!contents.problem.empty(), "a refused entry is never read");
        }
    }
    return 0;
}
