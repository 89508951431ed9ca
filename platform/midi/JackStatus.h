#pragma once

#include <jack/jack.h>

#include <cstdio>
#include <string>

namespace platform {

// The status libjack leaves after a client could not be opened, in words:
// "JACK: no client (status 0x11: the operation failed; no server to
// connect to)". The code is shown too, for a bit this list does not know.
inline std::string JackStatusText(jack_status_t status)
{
    struct Bit {
        unsigned bit;
        const char* words;
    };
    static constexpr Bit kBits[] = {
        {JackFailure, "the operation failed"},
        {JackInvalidOption, "an option was refused"},
        {JackNameNotUnique, "the client name is taken"},
        {JackServerStarted, "a server was started"},
        {JackServerFailed, "no server to connect to"},
        {JackServerError, "the server could not be talked to"},
        {JackNoSuchClient, "no such client"},
        {JackLoadFailure, "an internal client could not be loaded"},
        {JackInitFailure, "an internal client could not be started"},
        {JackShmFailure, "the server's shared memory could not be reached"},
        {JackVersionError, "the server speaks another protocol version"},
        {JackBackendError, "the server's backend failed"},
        {JackClientZombie, "the client was made a zombie"},
    };
    char code[sizeof "0x" + 2 * sizeof(unsigned)];
    std::snprintf(code, sizeof code, "0x%X", static_cast<unsigned>(status));
    std::string words;
    for (const Bit& bit : kBits) {
        if ((static_cast<unsigned>(status) & bit.bit) != 0) {
            words += (words.empty() ? "" : "; ") + std::string(bit.words);
        }
    }
    return std::string("JACK: no client (status ") + code + (words.empty() ? "" : ": " + words) + ")";
}

}  // namespace platform
