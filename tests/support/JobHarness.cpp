#include "tests/support/JobHarness.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>

using namespace std::chrono_literals;

JobHarness::JobHarness() : previous_(std::filesystem::current_path())
{
    std::filesystem::current_path(dir_.Path());
}

JobHarness::~JobHarness()
{
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

JobSettings JobHarness::QuickSettings()
{
    JobSettings settings;
    settings.midiInPort = 0;
    settings.midiOutPort = 0;
    settings.deviceNumber = 1;
    settings.sysexDelay = 5;  // room for the driver to let go of a message before closing
    settings.midiDelay = 0;
    return settings;
}

void JobHarness::PrepareIdentify(EXParams& params) const
{
    params.PrepareIdentify(nullptr, QuickSettings(), "1.0.3");
    params.timeout = 30;
}

std::string JobHarness::Run(JobRunner::Job job, EXParams& params)
{
    params.identDoneWindow = done.Handle();
    params.sendDoneWindow = done.Handle();
    const std::size_t before = done.Text().size();
    JobRunner runner;
    EXPECT_TRUE(runner.Start(job, params, nullptr));
    for (int i = 0; i < 200 && done.Text().size() == before; ++i) {
        done.Pump(50ms);
    }
    EXPECT_TRUE(runner.Wait(10s)) << "the job's thread did not end";
    return done.Text().substr(before);
}

std::string JobHarness::Log() const
{
    std::ifstream file(dir_.File("Sonderik.log"), std::ios::binary);
    return MaskDates(std::string(std::istreambuf_iterator<char>(file), {}));
}

std::string MaskDates(const std::string& text)
{
    static const std::regex date("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}");
    return std::regex_replace(text, date, "<date>");
}
