#include "instrument/Jobs.h"

#include <cstdio>
#include <exception>
#include <memory>

#include "instrument/JobSites.h"
#include "instrument/LogFolder.h"
#include "instrument/Midi.h"
#include "midi/MidiParams.h"
#include "platform/NoCase.h"
#include "platform/system/System.h"
#include "voice/EXException.h"
#include "voice/Family.h"
#include "voice/Patch.h"

namespace {

constexpr UINT kCancelMessage = 0x8001;

void Done(HWND window)
{
    SendMessageA(window, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("Done"));
}

void Report(EXParams& params, const char* text)
{
    std::snprintf(params.errorText, sizeof params.errorText, "%s", text);
    SendMessageA(params.reportWindow, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(params.errorText));
}

// Writes a caught record where the job reports it, then deletes it. The
// error line is also left in errorText so that the job's starter learns of it.
void ReportError(EXParams& params, EXException* raised)
{
    const std::unique_ptr<EXException> e(raised);
    char line[EXParams::kTextSize];
    if (!e) {
        std::snprintf(line, sizeof line, "Unidentified error\r\n");
    } else {
        std::snprintf(line, sizeof line, "%s:%d %s\r\n", e->sourceFile, e->line, e->message);
    }
    const bool logIt = params.log != nullptr && (!e || !platform::EqualNoCase(e->message, worker_site::kCannotOpenLog));
    if (logIt) {
        LogF(params, "%s", line);
        std::snprintf(params.errorText, sizeof params.errorText, "%s", line);
        if (e && e->reason[0] != '\0') {
            LogF(params, "%s\r\n", e->reason);
            params.errorReason = e->reason;
        }
    } else {
        Report(params, line);
    }
}

// Runs `body`, catching whatever it throws: a record, or any other
// exception, which would otherwise end the program from a worker thread;
// that is reported at `site` with its own text.
template <typename Body>
void Guarded(EXParams& params, const ErrorSite& site, Body&& body)
{
    try {
        body();
    } catch (EXException* e) {
        ReportError(params, e);
    } catch (const std::exception& e) {
        ReportError(params, new (std::nothrow) EXException(e.what(), site.unit, site.line));
    } catch (...) {
        ReportError(params, nullptr);
    }
}

void OpenLog(EXParams& params, const char* mode, char (&buffer)[4], const ErrorSite& site)
{
    params.log = OpenLogIn(params.logFolder, mode);
    if (params.log == nullptr) {
        RaiseEX(site);
    }
    std::setvbuf(params.log, buffer, _IOFBF, sizeof buffer);
}

void CloseLog(EXParams& params)
{
    if (params.log != nullptr) {
        std::fclose(params.log);
        params.log = nullptr;
    }
}

// Closing can raise too (a voice still on its way); that is reported, and
// the port's destruction then finishes the close.
void ClosePorts(EXParams& params, MidiParams* pair, const ErrorSite& site)
{
    if (pair == nullptr) {
        return;
    }
    Guarded(params, site, [&] { pair->midiIn.Close(params); });
    Guarded(params, site, [&] { pair->midiOut.Close(params); });
}

}  // namespace

void SendVoiceJob(void* arg)
{
    EXParams& params = *static_cast<EXParams*>(arg);
    params.errorText[0] = '\0';
    params.errorReason.clear();
    char logBuffer[4];
    std::unique_ptr<MidiParams> pair;

    Guarded(params, worker_site::kSendVoice, [&] {
        pair = std::make_unique<MidiParams>();
        OpenLog(params, "ab", logBuffer, worker_site::kSendVoice);
        LogF(params, "Sonderik %s sent voice patch at %s", params.version, platform::LocalDateText().c_str());
        pair->midiIn.Open(params);
        pair->midiOut.Open(params);
        Midi midi;
        midi.SendVoice(params, *pair);
    });
    // A job that failed before sending still owns the patch.
    delete params.patch;
    params.patch = nullptr;

    Sleep(params.midiDelay);
    ClosePorts(params, pair.get(), worker_site::kSendVoice);
    Done(params.sendDoneWindow);
    CloseLog(params);
    pair.reset();
}

void IdentifyJob(void* arg)
{
    EXParams& params = *static_cast<EXParams*>(arg);
    params.errorText[0] = '\0';
    params.errorReason.clear();
    char logBuffer[4];
    std::unique_ptr<MidiParams> pair;
    std::unique_ptr<Midi> conversation;

    Guarded(params, worker_site::kIdentify, [&] {
        pair = std::make_unique<MidiParams>();
        OpenLog(params, "wb", logBuffer, worker_site::kIdentify);
        LogF(params, "Sonderik %s started at %s", params.version, platform::LocalDateText().c_str());
        pair->midiIn.Open(params);
        pair->midiOut.Open(params);

        // The family description cannot build our conversation object by
        // itself; hand it the factory (an atomic store, the same every time).
        InstallEX5Conversation();
        DriverInfo* family = GetFamily(params.familyIndex);
        if (family == nullptr) {
            return;
        }
        LogF(params, "Parameters: MIDI OUT=%s", OutputPortName(params).c_str());
        LogF(params, ", MIDI IN=%s", InputPortName(params).c_str());
        LogF(params, "\r\n");
        LogF(params, "Instrument=%s", family->GetDisplayName());
        LogF(params, ", Device number=%u", params.deviceNumber);
        LogF(params, ", Delay=%u", params.sysexDelay);
        LogF(params, ", Timeout=%u", params.timeout);
        LogF(params, ", Retries=%u", params.attempts - 1);
        LogF(params, "\r\n");

        Midi midi;
        if (IdentifyInstrument(midi, params, *pair)) {
            conversation.reset(family->CreateMidi());
        }
    });
    conversation.reset();

    ClosePorts(params, pair.get(), worker_site::kIdentify);
    Done(params.identDoneWindow);

    const std::string date = platform::LocalDateText();
    if (params.log != nullptr) {
        LogF(params, "Finished instrument ident %s", date.c_str());
        CloseLog(params);
    } else {
        char text[EXParams::kTextSize];
        std::snprintf(text, sizeof text, "Finished instrument ident on %s", date.c_str());
        Report(params, text);
    }
    pair.reset();
}

JobRunner::~JobRunner() = default;

bool JobRunner::Busy() const { return thread_ && thread_->Running(); }

bool JobRunner::Start(Job job, EXParams& params, const std::function<void()>& fill)
{
    if (Busy()) {
        return false;
    }
    thread_.reset();  // joins the finished thread of the previous job
    if (fill) {
        fill();
    }
    thread_ = std::make_unique<WorkerThread>(
        job, &params,
        WorkerThread::Ending{"job", kEndBound, [folder = params.logFolder](const std::string& line) {
                                 AppendToLog(folder, line);
                             }});
    thread_->Resume();
    return true;
}

bool JobRunner::Wait(std::chrono::milliseconds timeout) { return !thread_ || thread_->Join(timeout); }

bool JobRunner::Cancel() { return thread_ && thread_->PostThreadMessageA(kCancelMessage); }
