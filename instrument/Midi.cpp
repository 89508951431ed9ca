#include "instrument/Midi.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "instrument/Identity.h"
#include "instrument/JobSites.h"
#include "midi/Pacing.h"
#include "midi/MidiParams.h"
#include "platform/threads/Thread.h"
#include "platform/threads/Window.h"
#include "voice/EXException.h"
#include "voice/Patch.h"

namespace {

constexpr UINT kCancelMessage = 0x8001;
constexpr int kReplyBufferSize = 4096;
constexpr std::size_t kNameSize = 260;

void LogBytes(const EXParams& params, const std::uint8_t* bytes, int count)
{
    for (int i = 0; i < count; ++i) {
        LogF(params, " %02X", bytes[i]);
    }
}

// The name a port was chosen under, else what the listing calls `port`.
template <typename Port>
std::string PortName(const std::string& chosen, UINT port)
{
    if (!chosen.empty()) {
        return chosen;
    }
    char name[kNameSize] = {};
    Port::GetDeviceName(port, name, static_cast<int>(kNameSize));
    return name;
}

}  // namespace

std::string InputPortName(const EXParams& params) { return PortName<MidiInWin>(params.midiInName, params.midiInPort); }

std::string OutputPortName(const EXParams& params)
{
    return PortName<MidiOutWin>(params.midiOutName, params.midiOutPort);
}

void LogF(const EXParams& params, const char* format, ...)
{
    if (params.log == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(params.log, format, args);
    va_end(args);
}

Midi::~Midi() = default;

int Midi::SendShort(EXParams& params, MidiParams& pair, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    if (params.verbose != 0) {
        LogF(params, " Sent 3 bytes: %02X %02X %02X\r\n", status, data1, data2);
    }
    Sleep(params.sysexDelay);
    return pair.midiOut.SendShortMessage(params, status, data1, data2);
}

int Midi::ExchangeSysex(EXParams& params, MidiParams& pair, const char* label, int attempt, std::uint8_t* reply,
                        int replySize, const std::uint8_t* message, int length, int expected)
{
    std::memset(reply, 0, static_cast<std::size_t>(replySize));
    HANDLE event = pair.midiIn.StartCapture(params, replySize, expected);

    MSG cancel;
    if (PeekMessageA(&cancel, nullptr, kCancelMessage, kCancelMessage, PM_REMOVE)) {
        RaiseEX(midi_site::kCancelled);
    }
    if (attempt == 0) {
        LogF(params, "%s.", label);
    } else {
        LogF(params, ".");
    }
    if (params.progressWindow != nullptr) {
        char progress[EXParams::kTextSize];
        std::snprintf(progress, sizeof progress, "%s from device number %u (%d of %u)", label,
                      static_cast<unsigned>(params.deviceNumber), attempt + 1, static_cast<unsigned>(params.attempts));
        SendMessageA(params.progressWindow, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(progress));
    }
    Sleep(params.sysexDelay);
    pair.midiOut.SendLongMessage(params, message, length);

    const bool verbose = params.verbose != 0;
    if (verbose) {
        LogF(params, " Message %d Sent %d bytes:", pair.midiOut.GetMessageCount(), length);
        LogBytes(params, message, length);
        LogF(params, "\r\n");
        if (expected > 1) {
            LogF(params, "Expecting %d messages\r\n", expected);
        }
    }

    const DWORD waited = WaitForSingleObject(event, params.timeout);
    if (verbose) {
        LogF(params, " Status=%d", static_cast<int>(pair.midiIn.GetStatus()));
    }
    int result = 0;
    if (waited == WAIT_OBJECT_0) {
        pair.midiIn.Stop();
        if (verbose) {
            LogF(params, " Received %d messages\r\n", pair.midiIn.GetMessageCount());
        }
        result = pair.midiIn.ReadMessage(reply, replySize, 0);
    }

    if (verbose) {
        const int count = pair.midiIn.GetMessageCount();
        LogF(params, count == 1 ? " Received %d message\r\n" : " Received %d messages\r\n", count);
        std::unique_ptr<std::uint8_t[]> scratch(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(replySize)]);
        if (scratch) {
            const int outCount = pair.midiOut.GetMessageCount();
            if (count > 1) {
                for (int j = 0; j < count; ++j) {
                    const int got = pair.midiIn.ReadMessage(scratch.get(), replySize, j);
                    LogF(params, " Message %d Part %d Received %d bytes:", outCount, j + 1, got);
                    LogBytes(params, scratch.get(), got);
                    LogF(params, "\r\n");
                }
            } else {
                const int got = pair.midiIn.ReadMessage(scratch.get(), replySize, 0);
                LogF(params, " Message %d Received %d bytes:", outCount, got);
                LogBytes(params, scratch.get(), got);
                LogF(params, "\r\n");
            }
        }
    }
    return result;
}

int Midi::RequestIdentity(EXParams& params, MidiParams& pair, int learn)
{
    const std::string portName = InputPortName(params);
    const auto request = IdentityRequest(params.deviceNumber);
    std::vector<std::uint8_t> reply(kReplyBufferSize);

    for (int attempt = 0;; ++attempt) {
        const int n = ExchangeSysex(params, pair, "Requesting Id", attempt, reply.data(), kReplyBufferSize,
                                    request.data(), static_cast<int>(request.size()), 1);
        if (n > 0) {
            IdentityFields fields{pair.manufacturerId, pair.familyCode, pair.memberCode, pair.revision1,
                                  pair.revision2};
            if (DecodeIdentityReply(reply.data(), static_cast<std::size_t>(n), fields)) {
                pair.manufacturerId = fields.manufacturerId;
                pair.familyCode = fields.familyCode;
                pair.memberCode = fields.memberCode;
                pair.revision1 = fields.revision1;
                pair.revision2 = fields.revision2;
                if (learn != 0) {
                    params.deviceNumber = reply[2] & 0x7Fu;
                }
                return 0;
            }
            LogF(params, " Received %d bytes from device number %d at %s\r\n", n,
                 static_cast<int>(params.deviceNumber), portName.c_str());
            LogF(params, "[");
            LogBytes(params, reply.data(), n);
            LogF(params, " ]\r\n");
            RaiseEX(midi_site::kUntranslatableReply);
        }
        if (static_cast<std::uint32_t>(attempt) + 1 >= params.attempts) {
            return -1;
        }
    }
}

bool Midi::InterpretIdentity(EXParams& params, MidiParams& pair, int firstPass)
{
    const std::string portName = InputPortName(params);
    if (pair.manufacturerId == kYamaha) {
        const InstrumentModel model = ModelOfMember(pair.memberCode);
        LogF(params, " Found a Yamaha");
        LogF(params, "%s", model.logText);
        std::snprintf(params.identResult, sizeof params.identResult, "%s", model.result);
        LogF(params, " with device number [%d] at port [%s]\r\n", static_cast<int>(params.deviceNumber),
             portName.c_str());
        if (firstPass != 0) {
            return true;
        }
        LogF(params, "Please check the MIDI Parameters\r\n");
        return false;
    }
    if (pair.manufacturerId == -1) {
        LogF(params, " No reply to ID request\r\n");
        std::snprintf(params.identResult, sizeof params.identResult, "No reply to ID request.");
        return false;
    }
    LogF(params, " No recognized instruments found\r\n");
    std::snprintf(params.identResult, sizeof params.identResult, "Nothing known found.");
    return false;
}

int Midi::Unsupported(int, int) { return -1; }

int Midi::LoadSysexFile(std::uint8_t* buffer, const char* path, int capacity)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return 0;
    }
    int count = 0;
    for (int c; count < capacity && (c = std::fgetc(file)) != EOF;) {
        buffer[count++] = static_cast<std::uint8_t>(c);
    }
    std::fclose(file);
    return count;
}

int Midi::SendVoice(EXParams& params, MidiParams& pair)
{
    // The job owns the patch from here on, whatever happens while sending.
    std::unique_ptr<EX5Patch> patch(params.patch);
    params.patch = nullptr;
    if (!patch) {
        RaiseEX(midi_site::kNoPatch);
    }
    const std::uint8_t* message = patch->Assemble();
    // Never past the closing F7: a voice without elements is shorter than
    // the shortest voice message.
    std::size_t length = VoiceMessageLength(patch->GetElementCount());
    if (length == 0 || length > patch->GetMessageLength()) {
        length = patch->GetMessageLength();
    }
    int result = 0;
    for (int attempt = 0;; ++attempt) {
        result = SendSysexVoice(params, pair, "Voice sent", attempt, message, static_cast<int>(length));
        if (result == 0 || static_cast<std::uint32_t>(attempt) + 1 >= params.attempts) {
            break;
        }
    }
    return result;
}

int Midi::SendSysexVoice(EXParams& params, MidiParams& pair, const char* confirmation, int attempt,
                         const std::uint8_t* message, int length)
{
    const int result = pair.midiOut.SendLongMessage(params, message, length);
    if (attempt == 0) {
        LogF(params, "SendSysexVoice confirms: %s\n", confirmation);
    } else {
        LogF(params, ".\n");
    }
    if (params.verbose != 0) {
        LogF(params, " Message %d Sent %d bytes:", pair.midiOut.GetMessageCount(), length);
        LogBytes(params, message, length);
        LogF(params, "\r\n");
    }
    return result;
}

int Midi::SendSysexDirect(EXParams& params, int, int, const char*, const std::uint8_t* message, int length)
{
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HMIDIOUT handle = nullptr;
    if (midiOutOpen(&handle, params.midiOutPort, reinterpret_cast<DWORD_PTR>(&SetEventWhenDone),
                    reinterpret_cast<DWORD_PTR>(done), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        CloseHandle(done);
        return 1;
    }
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(const_cast<std::uint8_t*>(message));
    header.dwBufferLength = static_cast<DWORD>(length);
    if (midiOutPrepareHeader(handle, &header, sizeof header) == MMSYSERR_NOERROR) {
        midiOutLongMsg(handle, &header, sizeof header);
        // The wait a port's own send makes, sized by the message's time on
        // the wire; a header still out after it is taken back, as it lives
        // on this stack.
        const Pacing pacing{nullptr, params.sysexDelay, params.attempts};
        const MMRESULT released = ReleaseHeader(pacing, "", DrainInterval(pacing, header.dwBufferLength), done,
                                                [&] { return midiOutUnprepareHeader(handle, &header, sizeof header); });
        if (released == MIDIERR_STILLPLAYING) {
            midiOutReset(handle);
            midiOutUnprepareHeader(handle, &header, sizeof header);
        }
    }
    midiOutClose(handle);
    CloseHandle(done);
    return 1;
}

EX5Midi::EX5Midi() : banks(new PatchBank[5]) {}

EX5Midi::~EX5Midi() { delete[] banks; }

Midi* NewEX5Midi() { return new (std::nothrow) EX5Midi; }

void InstallEX5Conversation()
{
    if (auto* family = dynamic_cast<EX5Info*>(GetFamily(0))) {
        family->SetMidiFactory(&NewEX5Midi);
    }
}

bool IdentifyInstrument(Midi& midi, EXParams& params, MidiParams& pair)
{
    pair.manufacturerId = -1;
    int firstPass = 1;
    params.answeredPass = 0;
    if (midi.RequestIdentity(params, pair, 0) == -1) {
        params.deviceNumber = 127;
        if (midi.RequestIdentity(params, pair, 1) == 0) {
            params.answeredPass = 2;
        }
        firstPass = 0;
    } else {
        params.answeredPass = 1;
    }
    return midi.InterpretIdentity(params, pair, firstPass);
}
