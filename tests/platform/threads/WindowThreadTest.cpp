#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "platform/threads/Thread.h"
#include "platform/threads/Window.h"

using namespace std::chrono_literals;

TEST(TextFieldTest, SenderWaitsUntilTheOwnerHasHandledTheText)
{
    std::atomic<bool> handlerRan{false};
    std::atomic<bool> senderReturned{false};
    TextField field([&](const std::string& text) {
        EXPECT_EQ("Done", text);
        EXPECT_FALSE(senderReturned.load()) << "the sender must still be waiting";
        handlerRan = true;
    });
    std::thread sender([&] {
        SendMessageA(field.Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("Done"));
        EXPECT_TRUE(handlerRan.load());
        senderReturned = true;
    });
    int handled = 0;
    for (int i = 0; i < 100 && handled == 0; ++i) {
        handled = field.Pump(100ms);
    }
    sender.join();
    EXPECT_EQ(1, handled);
    EXPECT_EQ("Done", field.Text());
}

TEST(TextFieldTest, TheOwnersOwnTextIsHandledAtOnce)
{
    std::string seen;
    TextField field([&](const std::string& text) { seen += text; });
    SendMessageA(field.Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("Done"));
    EXPECT_EQ("Done", seen);
    EXPECT_EQ("Done", field.Text());
}

TEST(TextFieldTest, ClosingReleasesSendersAndNullWindowsAreSkipped)
{
    TextField field;
    std::thread sender([&] { SendMessageA(field.Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("late")); });
    // Whether the text arrives before or after Close, the sender is released.
    field.Close();
    sender.join();
    // Once closed, a job's texts are kept without anybody pumping for them.
    std::thread([&] { SendMessageA(field.Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("?")); }).join();
    SendMessageA(field.Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("!"));
    EXPECT_EQ("late?!", field.Text());
    EXPECT_EQ(0, SendMessageA(nullptr, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("x")));
    EXPECT_EQ(0, field.Pump(0ms));
}

// An owner that neither pumps nor closes holds a sender only for the bound;
// the text it never took is not handled later, when nobody waits for it.
TEST(TextFieldTest, ASenderWhoseOwnerNeverPumpsReturnsAfterTheBoundAndItsTextIsTakenBack)
{
    int handled = 0;
    TextField field([&](const std::string&) { ++handled; }, 20ms);
    std::thread sender([&] { SendMessageA(field.Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("Done")); });
    sender.join();
    EXPECT_EQ(0, field.Pump(0ms));
    EXPECT_EQ(0, handled);
    EXPECT_EQ("", field.Text());
}

// Nobody pumps for a LatestText: its senders, the owner's thread among
// them, return at once, and only the newest text is kept.
TEST(LatestTextTest, SendersNeverWaitAndOnlyTheNewestTextIsKept)
{
    LatestText latest;
    std::string text;
    EXPECT_FALSE(latest.Take(text));
    SendMessageA(latest.Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("first"));
    std::thread sender([&] { SendMessageA(latest.Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("second")); });
    sender.join();
    ASSERT_TRUE(latest.Take(text));
    EXPECT_EQ("second", text);
    EXPECT_FALSE(latest.Take(text)) << "taken once";
}

namespace {

struct Probe {
    std::atomic<bool> go{false};
    std::atomic<int> seen{0};
    std::atomic<bool> sawOther{false};
};

void WaitForCancel(void* arg)
{
    auto* probe = static_cast<Probe*>(arg);
    while (!probe->go.load()) {
        std::this_thread::yield();
    }
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0x8001, 0x8001, PM_REMOVE)) {
        probe->seen = static_cast<int>(msg.message);
    }
    // Removed once: a second look finds nothing, and other numbers stay.
    if (PeekMessageA(&msg, nullptr, 0x8001, 0x8001, PM_REMOVE)) {
        probe->seen = -1;
    }
    probe->sawOther = PeekMessageA(&msg, nullptr, 0x9000, 0x9000, PM_NOREMOVE) == TRUE;
}

}  // namespace

TEST(WorkerThreadTest, StartsOnlyWhenResumedAndReadsItsOwnQueue)
{
    Probe probe;
    WorkerThread worker(&WaitForCancel, &probe);
    EXPECT_FALSE(worker.Running());
    EXPECT_TRUE(worker.PostThreadMessageA(0x9000));
    EXPECT_TRUE(worker.PostThreadMessageA(0x8001));
    worker.Resume();
    probe.go = true;
    ASSERT_TRUE(worker.Join(10s));
    EXPECT_FALSE(worker.Running());
    EXPECT_EQ(0x8001, probe.seen.load());
    EXPECT_TRUE(probe.sawOther.load());
    EXPECT_FALSE(worker.PostThreadMessageA(0x8001)) << "a finished thread takes no messages";

    MSG msg;
    EXPECT_EQ(FALSE, PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "this thread has no queue";
}

TEST(WorkerThreadTest, JoinIsBounded)
{
    Probe probe;
    WorkerThread worker(&WaitForCancel, &probe);
    worker.Resume();
    EXPECT_FALSE(worker.Join(1ms));
    EXPECT_TRUE(worker.Running());
    probe.go = true;
    EXPECT_TRUE(worker.Join(10s));
}

namespace {

constexpr UINT kProbeMessage = 0x8002;
constexpr auto kProbeBound = 10s;

// Looks for the probe message until it comes or the bound passes.
void AwaitProbe(void* arg)
{
    auto* seen = static_cast<std::atomic<bool>*>(arg);
    const auto deadline = std::chrono::steady_clock::now() + kProbeBound;
    MSG msg;
    while (!seen->load() && std::chrono::steady_clock::now() < deadline) {
        if (PeekMessageA(&msg, nullptr, kProbeMessage, kProbeMessage, PM_REMOVE)) {
            *seen = true;
        } else {
            std::this_thread::yield();
        }
    }
}

}  // namespace

// A worker's queue may not exist yet when Resume returns; what is posted
// then must reach the worker all the same. Repeated, as the race is short.
TEST(WorkerThreadTest, AMessagePostedRightAfterResumeArrives)
{
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<bool> seen{false};
        WorkerThread worker(&AwaitProbe, &seen);
        worker.Resume();
        ASSERT_TRUE(worker.PostThreadMessageA(kProbeMessage));
        ASSERT_TRUE(worker.Join(kProbeBound + 10s));
        ASSERT_TRUE(seen.load()) << "round " << round;
    }
}

namespace {

void NeverEnds(void*)
{
    std::promise<void> never;
    never.get_future().wait();
}

// Its owner goes while it still runs.
void LeaveAStuckWorker()
{
    const auto report = [](const std::string& line) { std::fprintf(stderr, "reported: %s\n", line.c_str()); };
    WorkerThread thread(&NeverEnds, nullptr, WorkerThread::Ending{"stuck", 10ms, report});
    thread.Resume();
}

}  // namespace

// A worker that does not end within its bound when its owner goes is named
// on standard error and to the owner's report, and the program ends rather
// than hang or go on beside a thread that uses what the owner frees.
TEST(WorkerThreadDeathTest, AWorkerThatDoesNotEndIsNamedAndTheProgramEnds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(LeaveAStuckWorker(),
        ::testing::ExitedWithCode(kStuckThreadExit),
        "The stuck thread did not end within 0.01 s; the program ends now.\nreported: The stuck thread");
}
