#include "instrument/Audition.h"

#include <exception>

#include "midi/MidiParams.h"
#include "platform/threads/WinSync.h"
#include "voice/DialogSites.h"

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
    static constexpr Note kOff[] = {{kRoot, 0}, {kRoot + 3, 0}, {kRoot + 4, 0}, {kRoot + 7, 0}, {kRoot + 12, 0}};
    Play(kOff, dialog_site::kNoteOff, std::chrono::milliseconds(0));
    return 1;
}

void Audition::PlayNote()
{
    static constexpr Note kNotes[] = {{kRoot, kVelocity}};
    Play(kNotes, dialog_site::kNote, std::chrono::milliseconds(0));
}

void Audition::PlayMajorChord()
{
    static constexpr Note kNotes[] = {{kRoot, kVelocity}, {kRoot + 4, kVelocity}, {kRoot + 7, kVelocity}};
    Play(kNotes, dialog_site::kMajorChord, std::chrono::milliseconds(0));
}

void Audition::PlayMinorChord()
{
    static constexpr Note kNotes[] = {{kRoot, kVelocity}, {kRoot + 3, kVelocity}, {kRoot + 7, kVelocity}};
    Play(kNotes, dialog_site::kMinorChord, std::chrono::milliseconds(0));
}

void Audition::PlayTrill()
{
    static constexpr Note kNotes[] = {
        {kRoot, kVelocity}, {kRoot + 4, kVelocity}, {kRoot + 7, kVelocity}, {kRoot + 12, kVelocity},
    };
    Play(kNotes, dialog_site::kTrill, runPause_);
}

template <std::size_t N>
void Audition::Play(const Note (&notes)[N], const ErrorSite (&sites)[N], std::chrono::milliseconds pause)
{
    // The fields of the last job an audition needs, in a record of its own:
    // the port it opens leaves its handle here, not in the job's record, and
    // with no log and no detail it writes nothing to the job's log.
    EXParams own;
    own.midiInPort = params_.midiInPort;
    own.midiOutPort = params_.midiOutPort;
    own.midiInName = params_.midiInName;
    own.midiOutName = params_.midiOutName;
    own.sysexDelay = params_.sysexDelay;
    own.attempts = params_.attempts;

    std::unique_ptr<Midi> midi = factory_ ? factory_() : nullptr;
    if (!midi) {
        midi = std::make_unique<Midi>();
    }
    // Destroying the pair closes whatever a raise leaves open.
    MidiParams pair;
    pair.midiIn.Open(own);
    if (const MMRESULT opened = pair.midiOut.Open(own); opened != MMSYSERR_NOERROR) {
        // Sending on the handle a failed open leaves behind would only say
        // that the handle is invalid; say why instead.
        RaiseEXCode(dialog_site::kOpenOut, opened, pair.midiOut.OpenFailure().c_str());
    }
    for (std::size_t i = 0; i < N; ++i) {
        if (midi->SendShort(own, pair, kNoteOn, notes[i].key, notes[i].velocity) != 0) {
            RaiseEX(sites[i]);
        }
        if (i + 1 < N && pause.count() > 0) {
            Sleep(static_cast<DWORD>(pause.count()));
        }
    }
    pair.midiIn.Close(own);
    pair.midiOut.Close(own);
}

std::string ReportAudition(const std::function<void()>& action, std::string* why)
{
    try {
        action();
    } catch (EXException* raised) {
        const std::unique_ptr<EXException> e(raised);
        char text[EXException::kTextSize * 2 + 16];
        FormatEX(e.get(), text, sizeof text);
        if (why != nullptr && e) {
            *why = e->reason;
        }
        return text;
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}
