#pragma once

#ifdef _WIN32
#include <initializer_list>
#include <utility>
#include <vector>

#include "platform/registry/Registry.h"

// Keys of the system's registry that a test makes: none of them is there
// when the test starts, and none is left when it ends.
class ScopedRegistryKeys {
public:
    using Key = std::pair<HKEY, const char*>;

    ScopedRegistryKeys(std::initializer_list<Key> keys) : keys_(keys) { Remove(); }
    ~ScopedRegistryKeys() { Remove(); }
    ScopedRegistryKeys(const ScopedRegistryKeys&) = delete;
    ScopedRegistryKeys& operator=(const ScopedRegistryKeys&) = delete;

private:
    void Remove() const
    {
        for (const auto& [root, path] : keys_) {
            RegDeleteTreeA(root, path);  // ERROR_FILE_NOT_FOUND when it is not there: as wanted
        }
    }

    std::vector<Key> keys_;
};
#endif
