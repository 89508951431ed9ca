#pragma once

// Marks the code a realtime thread runs for us (the JACK process cycle,
// winmm's callbacks), so that a test can count what that code allocates or
// locks: such a thread must take no lock and make no heap call, or an xrun
// (or a late note) follows. Costs one
// thread-local store on entry and one on exit.
namespace platform {

inline constinit thread_local bool inRealtimeSection = false;

class RealtimeSection {
public:
    RealtimeSection() { inRealtimeSection = true; }
    ~RealtimeSection() { inRealtimeSection = false; }
    RealtimeSection(const RealtimeSection&) = delete;
    RealtimeSection& operator=(const RealtimeSection&) = delete;
};

}  // namespace platform
