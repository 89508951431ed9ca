#pragma once

// The single calls of each system that the descriptor functions shared by
// every system (Descriptor.cpp) are made of; each system defines them in its
// own file.

#include <cstddef>
#include <string>

namespace platform::files::detail {

// Up to `size` bytes, in one call of the system: how many it took (0 at the
// end of a file), or -1 with errno set. A signal's interruption is no result:
// the call is made again.
long long ReadSome(int fd, void* data, std::size_t size);
long long WriteSome(int fd, const void* data, std::size_t size);

void Close(int fd);

// An error code that Descriptor::Error gives, in the system's words.
std::string ErrorText(int error);

}  // namespace platform::files::detail
