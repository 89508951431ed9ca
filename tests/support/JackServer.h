#pragma once

#include <jack/jack.h>

// Whether a JACK server answers, asked without starting one and with
// libjack's messages kept quiet (a missing server is no error for a test).
inline bool JackServerRunning()
{
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    jack_status_t status{};
    jack_client_t* client = jack_client_open("sonderik-test-probe", JackNoStartServer, &status);
    if (client == nullptr) {
        return false;
    }
    jack_client_close(client);
    return true;
}
