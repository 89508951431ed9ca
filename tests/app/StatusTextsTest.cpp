#include <gtest/gtest.h>

#include <string>

#include "app/StatusTexts.h"
#include "instrument/JobFailure.h"
#include "tests/support/TempDir.h"

// A job's error line is read for what it concerns, whatever its unit's line
// number; the window's words name the port or the file and what to do.

TEST(StatusTextsTest, AJobsErrorLineIsReadForWhatItConcerns)
{
    const struct {
        const char* line;
        JobFailureKind kind;
        const char* message;
    } cases[] = {
        {"", JobFailureKind::None, ""},
        {"\r\n", JobFailureKind::None, ""},
        {"MidiOutWin:186 Error 0x5 unpreparing MIDI out header\r\n", JobFailureKind::OutputPort,
         "Error 0x5 unpreparing MIDI out header"},
        {"MidiOutWin:186 Error 0x41 unpreparing MIDI out header", JobFailureKind::StillSending,
         "Error 0x41 unpreparing MIDI out header"},
        {"MidiInWin:121 Cannot open MIDI device for input\r\n", JobFailureKind::InputPort,
         "Cannot open MIDI device for input"},
        {"Midi:160 Job Cancelled\r\n", JobFailureKind::Cancelled, "Job Cancelled"},
        {"EXWorker:60 CANNOT OPEN LOG FILE\r\n", JobFailureKind::LogFile, "CANNOT OPEN LOG FILE"},
        {"Midi:116 Cannot translate the reply.\r\n", JobFailureKind::Other, "Cannot translate the reply."},
        {"Unidentified error\r\n", JobFailureKind::Other, "error"},
    };
    for (const auto& c : cases) {
        const JobFailure failure = ClassifyJobFailure(c.line);
        EXPECT_EQ(c.kind, failure.kind) << c.line;
        EXPECT_EQ(c.message, failure.message) << c.line;
    }
}

TEST(StatusTextsTest, TheWordsNameThePortOrTheFileAndWhatToDo)
{
    const status::JobPorts ports{"Synth out", "Synth in", "", ""};
    EXPECT_EQ("The voice was not sent: MIDI Out \"Synth out\" failed (Error 0x5 unpreparing MIDI out header). Is it "
              "still there, and not in use by another program? Open the MIDI Out list to choose it again.",
              status::SendFailed(ClassifyJobFailure("MidiOutWin:186 Error 0x5 unpreparing MIDI out header"), "",
                                 ports, ""));
    EXPECT_EQ("Not identified: no MIDI Out port is selected; choose one in the MIDI Out list.",
              status::IdentifyFailed(ClassifyJobFailure("MidiOutWin:40 Invalid MIDI out device number"),
                                     status::JobPorts{}, ""));
    EXPECT_EQ("", status::IdentifyFailed(ClassifyJobFailure("Midi:160 Job Cancelled"), ports, ""));
    EXPECT_EQ("Sent I1-002 Glass Grand to MIDI Out \"Synth out\".",
              status::Sent("Pf\tI1-002\tGlass Grand  ", "Synth out"));

    const TempDir dir;
    const EXException folder("Is a folder, not a voice file", "SonderikDlg", 1146);
    EXPECT_EQ(dir.Path().string() + " is a folder, not a voice file.", status::FileFailed(dir.Path().string(), &folder));
    const EXException missing("Cannot open input file #1", "SonderikDlg", 1146);
    EXPECT_EQ("Cannot open " + dir.Path().string() + "/none.s1v: No such file or directory.",
              status::FileFailed(dir.Path().string() + "/none.s1v", &missing));
}
