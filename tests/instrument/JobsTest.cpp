#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "instrument/Jobs.h"
#include "platform/midi/MidiDriver.h"
#include "platform/threads/Thread.h"
#include "simulator/VirtualEX5Driver.h"
#include "tests/support/JobHarness.h"
#include "tests/support/ScopedMidiDrivers.h"
#include "tests/support/VoiceFileBuilder.h"
#include "voice/Patch.h"
#include "voice/VoiceList.h"

using namespace std::chrono_literals;

namespace {

class JobsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        driver = std::make_shared<VirtualEX5Driver>(virtual_ex5::Config{});
        drivers.Install({driver});
        bank.Voice(9, "Two Parts", 12).CommonPattern(9, 3);
        bank.Element(9, 0, 21);
        bank.Element(9, 2, 22);
    }

    EX5Patch* Patch(int voice) const
    {
        auto patch = std::make_unique<EX5Patch>("AssemblPatch", 0);
        EXPECT_TRUE(LoadVoice(*patch, VoiceListLine(bank.Image(), voice), bank.Image()));
        return patch.release();
    }

    void PrepareSend(EXParams& params, int voice) const
    {
        JobSettings settings = JobHarness::QuickSettings();
        settings.midiDelay = 100;  // the voice is on its way until the port's thread has handed it over
        params.PrepareSendVoice(Patch(voice), nullptr, nullptr, settings, "1.0.3");
    }

    std::shared_ptr<VirtualEX5Driver> driver;
    VoiceFileBuilder bank;
    JobHarness harness;
    ScopedMidiDrivers drivers;
};

constexpr const char* kSendBlock = "Sonderik 1.0.3 sent voice patch at <date>\nSendSysexVoice confirms: Voice sent\n";

}  // namespace

TEST_F(JobsTest, ASentVoiceArrivesIntact)
{
    auto params = std::make_unique<EXParams>();
    PrepareSend(*params, 9);
    EXPECT_EQ("Done", harness.Run(&SendVoiceJob, *params));
    EXPECT_EQ(kSendBlock, harness.Log());
    EXPECT_EQ(nullptr, params->patch);
    EXPECT_STREQ("", params->errorText);

    const auto received = driver->Instrument().GetReceived();
    ASSERT_EQ(1u, received.voices.size()) << (received.refused.empty() ? "" : received.refused[0]);
    const auto& voice = received.voices[0];
    const std::uint8_t* common = bank.Image().data() + bank::kCommonOffset + 9 * bank::kCommonSize;
    EXPECT_TRUE(std::equal(voice.common.begin(), voice.common.end(), common));
    ASSERT_EQ(2u, voice.elements.size());
    EXPECT_EQ(VoiceFileBuilder::ElementPattern(21), std::vector<std::uint8_t>(voice.elements[0].begin(), voice.elements[0].end()));
    EXPECT_EQ(VoiceFileBuilder::ElementPattern(22), std::vector<std::uint8_t>(voice.elements[1].begin(), voice.elements[1].end()));
}

TEST_F(JobsTest, VoicesAppendToTheLogAndTheNextIdentificationStartsItAfresh)
{
    auto params = std::make_unique<EXParams>();
    harness.PrepareIdentify(*params);
    harness.Run(&IdentifyJob, *params);
    const std::string identification = harness.Log();
    for (int i = 0; i < 2; ++i) {
        PrepareSend(*params, 9);
        harness.Run(&SendVoiceJob, *params);
    }
    EXPECT_EQ(identification + kSendBlock + kSendBlock, harness.Log());
    harness.PrepareIdentify(*params);
    harness.Run(&IdentifyJob, *params);
    EXPECT_EQ(identification, harness.Log());
}

TEST_F(JobsTest, ACancelledIdentificationStopsBeforeSendingAndStillEnds)
{
    auto params = std::make_unique<EXParams>();
    harness.PrepareIdentify(*params);
    params->identDoneWindow = harness.done.Handle();
    WorkerThread thread(&IdentifyJob, params.get());
    ASSERT_TRUE(thread.PostThreadMessageA(0x8001));
    thread.Resume();
    while (harness.done.Text().empty()) {
        harness.done.Pump(50ms);
    }
    ASSERT_TRUE(thread.Join(10s));
    const std::string log = harness.Log();
    EXPECT_NE(std::string::npos, log.find("Retries=3\r\nMidi:160 Job Cancelled\r\nFinished instrument ident <date>\n"))
        << log;
    EXPECT_EQ(0u, driver->Instrument().GetReceived().identityRequests);
}

TEST_F(JobsTest, AJobThatCannotOpenItsLogTellsItsStarter)
{
    std::filesystem::create_directory(harness.Dir().File("Sonderik.log"));
    TextField report;
    report.Close();

    auto params = std::make_unique<EXParams>();
    harness.PrepareIdentify(*params);
    params->reportWindow = report.Handle();
    std::snprintf(params->identResult, sizeof params->identResult, "kept");
    EXPECT_EQ("Done", harness.Run(&IdentifyJob, *params));
    EXPECT_EQ("EXWorker:146 Cannot open log file\r\nFinished instrument ident on <date>\n", MaskDates(report.Text()));
    EXPECT_STREQ("kept", params->identResult);

    PrepareSend(*params, 9);
    params->reportWindow = report.Handle();
    EXPECT_EQ("Done", harness.Run(&SendVoiceJob, *params));
    EXPECT_STREQ("EXWorker:60 Cannot open log file\r\n", params->errorText);
    EXPECT_EQ(nullptr, params->patch) << "the unsent patch is freed";
    EXPECT_TRUE(driver->Instrument().GetReceived().voices.empty());
}

TEST_F(JobsTest, ASendWithoutAPatchIsRefusedNotDereferenced)
{
    auto params = std::make_unique<EXParams>();
    params->PrepareSendVoice(nullptr, nullptr, nullptr, JobHarness::QuickSettings(), "1.0.3");
    EXPECT_EQ("Done", harness.Run(&SendVoiceJob, *params));
    EXPECT_EQ("Sonderik 1.0.3 sent voice patch at <date>\nMidi:1306 Problem assembling patch.\r\n", harness.Log());
}

namespace {

std::atomic<bool> release{false};
std::atomic<int> runs{0};

void HeldJob(void*)
{
    ++runs;
    while (!release.load()) {
        std::this_thread::sleep_for(1ms);
    }
}

}  // namespace

TEST(JobRunnerTest, RefusesASecondJobWhileTheFirstThreadRuns)
{
    EXParams params;
    JobRunner runner;
    bool filled = false;
    ASSERT_TRUE(runner.Start(&HeldJob, params, nullptr));
    EXPECT_TRUE(runner.Busy());
    EXPECT_FALSE(runner.Start(&HeldJob, params, [&] { filled = true; }));
    EXPECT_FALSE(filled) << "the parameters of a running job must not be refilled";
    release = true;
    ASSERT_TRUE(runner.Wait(10s));
    EXPECT_FALSE(runner.Busy());
    EXPECT_TRUE(runner.Start(&HeldJob, params, [&] { filled = true; }));
    EXPECT_TRUE(filled);
    EXPECT_TRUE(runner.Wait(10s));
    EXPECT_EQ(2, runs.load());
}
