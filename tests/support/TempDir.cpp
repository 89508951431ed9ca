#include "tests/support/TempDir.h"

#include <cstdlib>
#include <random>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
namespace {

// Names tried before giving up: a clash with another test's folder is rare.
constexpr int kNameAttempts = 100;

}  // namespace

// Windows has no mkdtemp: a random name, made only if nobody has it yet.
TempDir::TempDir()
{
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::filesystem::path candidate = base / ("sonderik-test-" + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}
#else
TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "sonderik-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    path_ = pattern;
}
#endif

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}
