#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "instrument/Midi.h"
#include "voice/EXException.h"
#include "voice/EXParams.h"

// Sounding the instrument while an audition button is held: a press plays a
// note, a chord or a rising run of held notes, the release sends the
// note-offs of every note a press can start. Each action runs synchronously
// on the caller's thread (the dialog's) with a port pair and a conversation
// of its own, opened for the action and closed again before it returns.
//
// The actions take the ports and the SysEx delay from the job parameters the
// dialog filled for its last job, so a port chosen in the dialog since then
// is used only from the next job on. They work on a copy of those fields:
// the output handle of the record stays the job's own, even should an
// audition ever overlap a job.
//
// Failures are raised as EXException pointers, as everywhere; the caller
// catches them at its handler's edge (see ReportAudition).
class Audition {
public:
    // The control ids of the dialog's audition buttons.
    static constexpr int kMinorControl = 3;
    static constexpr int kMajorControl = 4;
    static constexpr int kTrillControl = 5;
    static constexpr int kNoteControl = 7;

    static constexpr std::uint8_t kNoteOn = 0x90;  // channel 1
    static constexpr std::uint8_t kRoot = 60;
    static constexpr std::uint8_t kVelocity = 64;
    static constexpr auto kRunPause = std::chrono::milliseconds(400);

    // Makes the conversation of one action; a test may hand in its own.
    using MidiFactory = std::function<std::unique_ptr<Midi>()>;

    explicit Audition(const EXParams& params, std::chrono::milliseconds runPause = kRunPause,
                      MidiFactory factory = {});

    // The press of button `controlId`: 3 minor, 4 major, 7 note, any other
    // the run. The pointer position is not used. Returns 1.
    int OnAuditionPress(int controlId, std::uint32_t position);
    // The release of any audition button. Returns 1.
    int StopAudition(int controlId, std::uint32_t position);

    void SetRunPause(std::chrono::milliseconds pause) { runPause_ = pause; }

    void PlayNote();
    void PlayMajorChord();
    void PlayMinorChord();
    void PlayTrill();

private:
    struct Note {
        std::uint8_t key;
        std::uint8_t velocity;
    };
    // Sends `notes` in turn; the note that cannot be sent raises its site.
    template <std::size_t N>
    void Play(const Note (&notes)[N], const ErrorSite (&sites)[N], std::chrono::milliseconds pause);

    const EXParams& params_;
    std::chrono::milliseconds runPause_;
    MidiFactory factory_;
};

// Runs one audition action and returns "" or, for what it raised, the line
// "unit:line message" that the window's status line and the tool show;
// `why` gets the reason that came with it, if any.
std::string ReportAudition(const std::function<void()>& action, std::string* why = nullptr);
