#include "instrument/Audition.h"

#include <cstdio>
#include <exception>

#include "midi/MidiParams.h"
#include "platform/threads/WinSync.h"
#include "voice/EXException.h"

namespace {

// The dialog raises these; the lines are the dialog's own.
constexpr const char* kUnit = "SonderikDlg";
constexpr int kLineOpenOut = 1470;

}  // namespace

Audition::Audition(const EXParams& params, std::chrono::milliseconds runPause, MidiFactory factory)
    : params_(params), runPause_(runPause), factory_(std::move(factory))
{
}

int Audition::OnAuditionPress(int controlId, std::uint32_t)
{
    switch (controlId) {
    case kMinorControl: PlayMinorChord(); break;
    case kMajorControl: PlayMajorChord(); break;
    case kNoteControl: PlayNote(); break;
    default: PlayTrill(); break;
    }
    return 1;
}

int Audition::StopAudition(int, std::uint32_t)
{
    // Every note any press can start, whichever button was held.
    static constexpr Note kOff[] = {
        {kRoot, 0, 1491}, {kRoot + 3, 0, 1495}, {kRoot + 4, 0, 1499}, {kRoot + 7, 0, 1503}, {kRoot + 12, 0, 1507},
    };
    Play(kOff, "Error sending note off", std::chrono::milliseconds(0));
    return 1;
}

void Audition::PlayNote()
{
    static constexpr Note kNotes[] = {{kRoot, kVelocity, 1595}};
    Play(kNotes, "Error sending note", std::chrono::milliseconds(0));
}

void Audition::PlayMajorChord()
{
    static constexpr Note kNotes[] = {{kRoot, kVelocity, 1617}, {kRoot + 4, kVelocity, 1621}, {kRoot + 7, kVelocity, 1625}};
    Play(kNotes, "Error sending chord #1", std::chrono::milliseconds(0));
}

void Audition::PlayMinorChord()
{
    static constexpr Note kNotes[] = {{kRoot, kVelocity, 1648}, {kRoot + 3, kVelocity, 1652}, {kRoot + 7, kVelocity, 1656}};
    Play(kNotes, "Error sending chord #1", std::chrono::milliseconds(0));
}

void Audition::PlayTrill()
{
    static constexpr Note kNotes[] = {
        {kRoot, kVelocity, 1549}, {kRoot + 4, kVelocity, 1556}, {kRoot + 7, kVelocity, 1562}, {kRoot + 12, kVelocity, 1568},
    };
    Play(kNotes, "Error sending trill #1", runPause_);
}

template <std::size_t N>
void Audition::Play(const Note (&notes)[N], const char* error, std::chrono::milliseconds pause)
{
    // The fields of the last job an audition needs, in a record of its own:
    // the port it opens leaves its handle here, not in the job's record, and
    // with no log and no detail it writes nothing to the job's log.
    EXParams own;
    own.midiInPort = params_.midiInPort;
    own.midiOutPort = params_.midiOutPort;
    own.sysexDelay = params_.sysexDelay;
    own.attempts = params_.attempts;

    std::unique_ptr<Midi> midi = factory_ ? factory_() : nullptr;
    if (!midi) {
        midi = std::make_unique<Midi>();
    }
    // Destroying the pair closes whatever a raise leaves open.
    MidiParams pair;
    pair.midiIn.Open(own.midiInPort);
    if (const MMRESULT opened = pair.midiOut.Open(own); opened != MMSYSERR_NOERROR) {
        // Sending on the handle a failed open leaves behind would only say
        // that the handle is invalid; say why instead.
        char text[EXException::kTextSize];
        std::snprintf(text, sizeof text, "Error 0x%X opening MIDI device for output", opened);
        RaiseEX(text, kUnit, kLineOpenOut);
    }
    for (std::size_t i = 0; i < N; ++i) {
        if (midi->SendShort(own, pair, kNoteOn, notes[i].key, notes[i].velocity) != 0) {
            RaiseEX(error, kUnit, notes[i].line);
        }
        if (i + 1 < N && pause.count() > 0) {
            Sleep(static_cast<DWORD>(pause.count()));
        }
    }
    pair.midiIn.Close(own);
    pair.midiOut.Close(own);
}

std::string ReportAudition(const std::function<void()>& action)
{
    try {
        action();
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        char text[EXException::kTextSize * 2 + 16];
        FormatEX(e.get(), text, sizeof text);
        return text;
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}
