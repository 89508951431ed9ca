#include "voice/EXParams.h"

#include <cstring>

EXParams::EXParams() = default;
EXParams::~EXParams() = default;

void EXParams::PrepareCommon(HWND identDone, const JobSettings& settings, const char* versionText)
{
    verbose = 0;
    reportWindow = nullptr;
    identDoneWindow = identDone;
    familyIndex = 0;
    midiInPort = settings.midiInPort;
    midiOutPort = settings.midiOutPort;
    midiInName = settings.midiInName;
    midiOutName = settings.midiOutName;
    deviceNumber = settings.deviceNumber;
    sysexDelay = settings.sysexDelay;
    timeout = kTimeout;
    attempts = kRetries + 1;
    answeredPass = 0;
    std::memset(version, 0, sizeof version);
    if (versionText != nullptr) {
        std::strncpy(version, versionText, sizeof version - 1);
    }
}

void EXParams::PrepareSendVoice(EX5Patch* newPatch, HWND identDone, HWND sendDone,
                                const JobSettings& settings, const char* versionText)
{
    PrepareCommon(identDone, settings, versionText);
    sendDoneWindow = sendDone;
    midiDelay = settings.midiDelay;
    patch = newPatch;
}

void EXParams::PrepareIdentify(HWND identDone, const JobSettings& settings, const char* versionText)
{
    PrepareCommon(identDone, settings, versionText);
}
