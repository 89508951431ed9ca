#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "voice/EXException.h"
#include "voice/EXParams.h"
#include "voice/Family.h"

TEST(EXExceptionTest, TextsAreCutAt79CharactersAndAlwaysTerminated)
{
    const std::string exact(79, 'a');
    const std::string over(80, 'b');
    EXException fits(exact.c_str(), over.c_str(), 7);
    EXException null(nullptr, nullptr, 0);

    EXPECT_EQ(exact, fits.message);
    EXPECT_EQ(std::string(79, 'b'), fits.sourceFile);
    EXPECT_EQ(7, fits.line);
    EXPECT_STREQ("", null.message);
}

TEST(EXExceptionTest, RaiseThrowsAnOwnedRecordAndFormatReadsNullAsUnidentified)
{
    char text[100];
    try {
        RaiseEX("Cannot read voice file #1", "SonderikDlg", 1178);
        FAIL() << "nothing raised";
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        FormatEX(e.get(), text, sizeof text);
        EXPECT_STREQ("SonderikDlg:1178 Cannot read voice file #1", text);
    }
    FormatEX(nullptr, text, sizeof text);
    EXPECT_STREQ("Unidentified error", text);
}

TEST(EXParamsTest, RefillingForAJobResetsWhatTheLastJobLeft)
{
    EXParams params;
    EXPECT_EQ(0xFFFFFFFFu, params.familyIndex);
    int window = 0;
    params.verbose = 1;
    params.reportWindow = reinterpret_cast<HWND>(&window);
    params.midiDelay = 99;
    params.sendDoneWindow = reinterpret_cast<HWND>(&window);

    JobSettings settings;
    settings.midiInPort = 2;
    settings.midiOutPort = 3;
    settings.sysexDelay = 10;
    settings.midiDelay = 700;
    params.PrepareIdentify(nullptr, settings, "1.0.3");
    EXPECT_EQ(0u, params.verbose);
    EXPECT_EQ(nullptr, params.reportWindow);
    EXPECT_EQ(0u, params.familyIndex);
    EXPECT_EQ(4u, params.attempts);
    EXPECT_EQ(2000u, params.timeout);
    EXPECT_EQ(99u, params.midiDelay) << "an identification leaves the MIDI delay alone";
    EXPECT_EQ(reinterpret_cast<HWND>(&window), params.sendDoneWindow);

    params.PrepareSendVoice(nullptr, nullptr, nullptr, settings, "1.0.3");
    EXPECT_EQ(700u, params.midiDelay);
    EXPECT_EQ(2u, params.midiInPort);
    EXPECT_EQ(3u, params.midiOutPort);
    EXPECT_STREQ("1.0.3", params.version);
}

TEST(FamilyTest, BanksAndCategoriesAnswerInRangeAndFallBackOutside)
{
    const EX5Info info;
    EXPECT_STREQ("Performance", info.GetBankName(4));
    EXPECT_EQ(nullptr, info.GetBankName(5));
    EXPECT_STREQ("Sq", info.GetCategoryCode(22));
    EXPECT_STREQ("--", info.GetCategoryCode(23));
    EXPECT_STREQ("--", info.GetCategoryCode(255));
    EXPECT_STREQ("Drums", info.GetCategoryName(EX5Info::kDrumCategory));
    EXPECT_STREQ("No Assign", info.GetCategoryName(200));
    for (unsigned i = 0; i < EX5Info::kCategoryCount; ++i) {
        EXPECT_EQ(2u, std::strlen(info.GetCategoryCode(i))) << i;
    }
    EXPECT_EQ(256u, info.GetVoiceCount());
}

TEST(FamilyTest, RegistryHoldsTheEX5FamilyOnly)
{
    ASSERT_NE(nullptr, GetFamily(0));
    EXPECT_STREQ("Yamaha EX5/5R/7", GetFamily(0)->GetDisplayName());
    EXPECT_EQ(nullptr, GetFamily(1));
    const DriverInfo base;
    EXPECT_EQ(nullptr, base.GetDisplayName());
    EXPECT_EQ(nullptr, base.CreateMidi());
    EXPECT_EQ(nullptr, EX5Info().CreateMidi()) << "no conversation without a factory";
}
