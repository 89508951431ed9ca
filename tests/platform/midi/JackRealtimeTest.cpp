// What the JACK driver's process cycle does on the realtime thread, counted
// while voices go out and replies come back through a real server. This
// program replaces the global allocation functions and interposes the
// pthread lock and signal calls, counting those made inside a realtime
// section; it is a program of its own so that no other test pays for that.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <semaphore.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/midi/JackMidiDriver.h"
#include "platform/midi/RealtimeSection.h"
#include "platform/midi/WinMidi.h"
#include "simulator/VirtualEX5.h"
#include "tests/support/JackPeer.h"
#include "tests/support/JackServer.h"
#include "tests/support/PortIndex.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/SysexCalls.h"
#include "tests/support/Within.h"

using namespace std::chrono_literals;

namespace {

// Calls made inside a realtime section, by kind.
std::atomic<long> heapCalls{0};
std::atomic<long> lockCalls{0};
std::atomic<long> semaphorePosts{0};

void Count(std::atomic<long>& counter)
{
    if (platform::inRealtimeSection) {
        ++counter;
    }
}

// The next definition of `name` after this program's own: libc's, or a
// sanitizer's interceptor in front of it. Looked up at the first call, as
// some come before any constructor of this program has run.
template <typename Function>
Function Next(std::atomic<Function>& cache, const char* name)
{
    Function found = cache.load();
    if (found == nullptr) {
        found = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
        cache.store(found);
    }
    return found;
}

using MutexCall = int (*)(pthread_mutex_t*);
using CondCall = int (*)(pthread_cond_t*);
using SemCall = int (*)(sem_t*);
std::atomic<MutexCall> nextLock{nullptr};
std::atomic<MutexCall> nextTryLock{nullptr};
std::atomic<CondCall> nextSignal{nullptr};
std::atomic<CondCall> nextBroadcast{nullptr};
std::atomic<SemCall> nextPost{nullptr};

void* Allocate(std::size_t size)
{
    Count(heapCalls);
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment)
{
    Count(heapCalls);
    const auto align = static_cast<std::size_t>(alignment);
    if (void* block = std::aligned_alloc(align, (size + align - 1) / align * align)) {
        return block;
    }
    throw std::bad_alloc();
}

void Free(void* block) noexcept
{
    Count(heapCalls);
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) { return AllocateAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return AllocateAligned(size, alignment); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }
void operator delete(void* block, std::align_val_t) noexcept { Free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { Free(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { Free(block); }

extern "C" {
int pthread_mutex_lock(pthread_mutex_t* mutex)
{
    Count(lockCalls);
    return Next(nextLock, "pthread_mutex_lock")(mutex);
}
int pthread_mutex_trylock(pthread_mutex_t* mutex)
{
    Count(lockCalls);
    return Next(nextTryLock, "pthread_mutex_trylock")(mutex);
}
int pthread_cond_signal(pthread_cond_t* condition)
{
    Count(lockCalls);
    return Next(nextSignal, "pthread_cond_signal")(condition);
}
int pthread_cond_broadcast(pthread_cond_t* condition)
{
    Count(lockCalls);
    return Next(nextBroadcast, "pthread_cond_broadcast")(condition);
}
int sem_post(sem_t* semaphore)
{
    Count(semaphorePosts);
    return Next(nextPost, "sem_post")(semaphore);
}
}

namespace {

// Heap and lock calls a section makes are counted, and only those: the
// counters would otherwise pass a driver that broke the rule unseen.
TEST(JackRealtimeTest, TheCountersSeeWhatARealtimeSectionCallsAndNothingElse)
{
    static void* volatile block = nullptr;
    std::mutex mutex;
    const long heap = heapCalls;
    const long locks = lockCalls;
    block = ::operator new(16);
    ::operator delete(block);
    mutex.lock();
    mutex.unlock();
    EXPECT_EQ(heap, heapCalls.load());
    EXPECT_EQ(locks, lockCalls.load());
    {
        const platform::RealtimeSection section;
        block = ::operator new(16);
        ::operator delete(block);
        mutex.lock();
        mutex.unlock();
    }
    EXPECT_EQ(heap + 2, heapCalls.load());
    EXPECT_EQ(locks + 1, lockCalls.load());
    heapCalls = heap;
    lockCalls = locks;
}

// The outside client answers each Identity Request in the cycle it arrives.
// A dummy server without realtime can miss a cycle and lose a message then:
// only such a miss allows a round to be tried again.
TEST(JackRealtimeTest, TheProcessCycleNeitherAllocatesNorLocksWhileVoicesGoAndRepliesComeBack)
{
    if (!JackServerRunning()) {
        GTEST_SKIP() << "skipped: no JACK server is running";
    }
    JackPeer peer("sonderik-rt-peer");
    ASSERT_TRUE(peer.Ready());
    const ScopedMidiDrivers drivers({std::make_shared<JackMidiDriver>()});
    HMIDIIN in = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiInOpen(&in, InPortIndex(peer.OutName()), 0, 0, CALLBACK_NULL));
    HMIDIOUT out = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&out, OutPortIndex(peer.InName()), 0, 0, CALLBACK_NULL));

    // A voice's bulk message as long as the longest the program sends.
    std::vector<std::uint8_t> voice = {0xF0, 0x43, 0x00, 0x5B};
    for (std::uint8_t i = 0; voice.size() < 890; ++i) {
        voice.push_back(i & 0x7F);
    }
    voice.push_back(0xF7);
    const std::vector<std::uint8_t> request = {0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7};
    const auto answer = virtual_ex5::IdentityReply(virtual_ex5::Model::EX5, 1);
    const long heapBefore = heapCalls;
    const long locksBefore = lockCalls;
    const long postsBefore = semaphorePosts;

    constexpr int kRounds = 100;
    int replies = 0;
    for (int round = 0; replies < kRounds && round < 2 * kRounds; ++round) {
        const int xruns = peer.Xruns();
        std::array<char, 64> data{};
        MIDIHDR reply{};
        ASSERT_EQ(MMSYSERR_NOERROR, CaptureInto(in, reply, data));
        ASSERT_EQ(MMSYSERR_NOERROR, SendSysex(out, voice, 2s)) << "voice " << replies;
        ASSERT_EQ(MMSYSERR_NOERROR, SendSysex(out, request, 2s)) << "request " << replies;
        if (Within(2s, [&] { return (reply.dwFlags & MHDR_DONE) != 0; })) {
            ASSERT_EQ(answer.size(), reply.dwBytesRecorded);
            EXPECT_TRUE(std::equal(answer.begin(), answer.end(), reinterpret_cast<const std::uint8_t*>(data.data())));
            ++replies;
        } else {
            ASSERT_NE(xruns, peer.Xruns()) << "reply " << replies << " was lost without a missed cycle";
        }
        ASSERT_EQ(MMSYSERR_NOERROR, midiInReset(in));
        ASSERT_EQ(MMSYSERR_NOERROR, midiInUnprepareHeader(in, &reply, sizeof reply));
    }
    EXPECT_EQ(kRounds, replies);
    EXPECT_EQ(0, heapCalls - heapBefore) << "heap calls on the process thread";
    EXPECT_EQ(0, lockCalls - locksBefore) << "locks taken or signalled on the process thread";
    EXPECT_GE(semaphorePosts - postsBefore, kRounds) << "each finished send woke the relay";

    EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(out));
    EXPECT_EQ(MMSYSERR_NOERROR, midiInClose(in));
}

// A message more than a port's ring holds is refused at once, one more than
// a cycle carries (a server's MIDI buffer holds 32 KiB) by the cycle; the
// port carries on with the next.
TEST(JackRealtimeTest, MessagesLargerThanThePortCarriesAreRefusedAndThePortGoesOn)
{
    if (!JackServerRunning()) {
        GTEST_SKIP() << "skipped: no JACK server is running";
    }
    JackPeer peer("sonderik-rt-large");
    ASSERT_TRUE(peer.Ready());
    const ScopedMidiDrivers drivers({std::make_shared<JackMidiDriver>()});
    HMIDIOUT out = nullptr;
    ASSERT_EQ(MMSYSERR_NOERROR, midiOutOpen(&out, OutPortIndex(peer.InName()), 0, 0, CALLBACK_NULL));
    for (const std::size_t size : {std::size_t{40 * 1024}, std::size_t{256 * 1024}}) {
        std::vector<std::uint8_t> huge(size, 0x01);
        huge.front() = 0xF0;
        huge.back() = 0xF7;
        EXPECT_EQ(MMSYSERR_ERROR, SendSysex(out, huge, 2s)) << size << " bytes";
        // Said by the last call, the unprepare that gave the refusal back.
        const std::string why = platform::MidiFailureReason();
        EXPECT_EQ(0u, why.find("a message of " + std::to_string(size) + " bytes is more than ")) << why;
    }

    const std::vector<std::uint8_t> request = {0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7};
    for (int attempt = 0; attempt < 3 && peer.Received().empty(); ++attempt) {
        const int xruns = peer.Xruns();
        ASSERT_EQ(MMSYSERR_NOERROR, SendSysex(out, request, 2s));
        if (!peer.Await(1, 2s)) {
            ASSERT_NE(xruns, peer.Xruns()) << "the request was lost without a missed cycle";
        }
    }
    ASSERT_EQ(1u, peer.Received().size()) << "nothing of the refused message went out";
    EXPECT_EQ(request, peer.Received().front());
    EXPECT_EQ(MMSYSERR_NOERROR, midiOutClose(out));
}

}  // namespace
