#pragma once

#include <cstdint>
#include <string>

#include "voice/EXParams.h"
#include "voice/Family.h"
#include "voice/VoiceFile.h"

class MidiParams;

// The conversation with the instrument. It keeps no state: each operation
// works on the job parameters and the port pair of the action that calls it,
// on that action's thread, and writes what it did into the job's log.
class Midi {
public:
    Midi() = default;
    virtual ~Midi();
    Midi(const Midi&) = delete;
    Midi& operator=(const Midi&) = delete;

    virtual int SendShort(EXParams& params, MidiParams& pair, std::uint8_t status, std::uint8_t data1,
                          std::uint8_t data2);
    // 0 when a reply was decoded, -1 when none came.
    virtual int RequestIdentity(EXParams& params, MidiParams& pair, int learn);
    // Sends one SysEx message and waits for the reply; the first reply's length, or 0.
    virtual int ExchangeSysex(EXParams& params, MidiParams& pair, const char* label, int attempt,
                              std::uint8_t* reply, int replySize, const std::uint8_t* message, int length,
                              int expected);
    virtual int Unsupported(int, int);
    virtual int LoadSysexFile(std::uint8_t* buffer, const char* path, int capacity);
    virtual int SendVoice(EXParams& params, MidiParams& pair);
    virtual int SendSysexVoice(EXParams& params, MidiParams& pair, const char* confirmation, int attempt,
                               const std::uint8_t* message, int length);
    virtual int SendSysexDirect(EXParams& params, int, int, const char* confirmation, const std::uint8_t* message,
                                int length);

    // Names the instrument from the identity fields; true when it is one of
    // ours and answered at the configured device number.
    bool InterpretIdentity(EXParams& params, MidiParams& pair, int firstPass);
};

// The EX5 family's conversation: the same as Midi, with the family's banks.
class EX5Midi : public Midi {
public:
    EX5Midi();
    ~EX5Midi() override;

private:
    PatchBank* banks;
    int bankSize = 128;
    EX5Info family;
};

// The family's factory; installs itself into the family registry.
Midi* NewEX5Midi();
void InstallEX5Conversation();

// Identity Request at the configured device number, then, when nothing
// answers, once more to every device (learning the number), then the
// interpretation. True when the instrument was named on the first pass.
bool IdentifyInstrument(Midi& midi, EXParams& params, MidiParams& pair);

// The name of the job's input or output port: the one it was chosen
// under, else what the listing calls its index now.
std::string InputPortName(const EXParams& params);
std::string OutputPortName(const EXParams& params);

// printf into the job's log, when one is open.
void LogF(const EXParams& params, const char* format, ...) __attribute__((format(printf, 2, 3)));
