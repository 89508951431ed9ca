// Any bytes as a disk image: list the root and every folder found below it
// (to a depth), and read every file. Whatever the bytes, a listing is
// either entries or a problem, and a file read is bounded by its limit.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "containers/FatImage.h"

namespace {

constexpr std::size_t kDepth = 6;
constexpr std::size_t kLimit = 64 * 1024;

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

void Walk(const containers::ImageBytes& image, std::vector<std::string>& path)
{
    const containers::Listing listing = containers::ListFatFolder(image, path);
    Check(listing.problem.empty() || listing.entries.empty(), "a folder that could not be read lists nothing");
    for (const containers::Entry& entry : listing.entries) {
        // A damaged folder may hold two entries of one name; a path names
        // the first, so what is read is not always this entry's.
        Check(!entry.name.empty() || !entry.refused.empty(), "an entry without a name is refused");
        path.push_back(entry.name);
        if (entry.folder) {
            if (path.size() < kDepth) {
                Walk(image, path);
            }
        } else {
            const containers::Contents contents = containers::ReadFatFile(image, path, kLimit);
            Check(contents.problem.empty() || contents.bytes.empty(), "a failed read gives no bytes");
            Check(contents.bytes.size() <= kLimit, "a read keeps to its limit");
        }
        path.pop_back();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const containers::ImageBytes image = containers::BytesOf(bytes);
    if (!containers::LooksLikeFatImage(image)) {
        Check(!containers::ListFatFolder(image, {}).problem.empty(), "what is no image lists nothing");
        return 0;
    }
    std::vector<std::string> path;
    Walk(image, path);
    return 0;
}
