#include "platform/midi/StreamDevices.h"

#include <algorithm>

namespace platform {

SendPacer::~SendPacer() = default;
OutputLine::~OutputLine() = default;
MessageReceiver::~MessageReceiver() = default;
InputLine::~InputLine() = default;

void ReceiverSlot::Deliver(std::span<const std::uint8_t> message) const
{
    if (receiver != nullptr) {
        receiver->Receive(message);
    }
}

void SlotInputLine::Connect(MessageReceiver& receiver)
{
    const std::lock_guard lock(guard_);
    slot_.receiver = &receiver;
}

void SlotInputLine::Disconnect()
{
    const std::lock_guard lock(guard_);
    slot_.receiver = nullptr;
}

namespace {

void MarkDone(MIDIHDR& header)
{
    header.dwFlags = (header.dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
}

// The header bookkeeping both directions share, made under the device's lock.
MMRESULT MarkPrepared(MIDIHDR& header)
{
    if (header.lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    header.dwFlags |= MHDR_PREPARED;
    header.dwReserved[0] = 0;
    return MMSYSERR_NOERROR;
}

// A header's first reserved word is the driver's: an output header's
// refusal is kept there until it is unprepared.
MMRESULT MarkUnprepared(MIDIHDR& header)
{
    if ((header.dwFlags & MHDR_INQUEUE) != 0) {
        return MIDIERR_STILLPLAYING;
    }
    header.dwFlags &= ~MHDR_PREPARED;
    const auto refused = static_cast<MMRESULT>(header.dwReserved[0]);
    header.dwReserved[0] = 0;
    return refused == MMSYSERR_NOERROR ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

// A prepared header, not queued yet, with data: now queued and not done.
MMRESULT MarkQueued(MIDIHDR& header)
{
    if ((header.dwFlags & MHDR_PREPARED) == 0) {
        return MIDIERR_UNPREPARED;
    }
    if ((header.dwFlags & MHDR_INQUEUE) != 0) {
        return MIDIERR_STILLPLAYING;
    }
    if (header.lpData == nullptr || header.dwBufferLength == 0) {
        return MMSYSERR_INVALPARAM;
    }
    header.dwFlags = (header.dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    return MMSYSERR_NOERROR;
}

DWORD_PTR PackShort(std::span<const std::uint8_t> message)
{
    DWORD_PTR packed = 0;
    for (std::size_t i = 0; i < std::min<std::size_t>(message.size(), 3); ++i) {
        packed |= static_cast<DWORD_PTR>(message[i]) << (8 * i);
    }
    return packed;
}

}  // namespace

std::size_t ShortMessageLength(std::uint8_t status)
{
    if (status < 0x80) {
        return 0;
    }
    if (status < 0xC0 || (status >= 0xE0 && status < 0xF0)) {
        return 3;
    }
    if (status < 0xE0) {
        return 2;
    }
    switch (status) {
    case 0xF1:
    case 0xF3: return 2;
    case 0xF2: return 3;
    case 0xF6:
    case 0xF8:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFE:
    case 0xFF: return 1;
    default: return 0;
    }
}

// ---- output ---------------------------------------------------------------

StreamOutDevice::StreamOutDevice(std::unique_ptr<OutputLine> line, const MidiOutCallback& callback)
    : line_(std::move(line)), callback_(callback), sender_([this] { Run(); })
{
    std::unique_lock lock(mutex_);
    Post(MOM_OPEN, 0);
    Deliver(lock);
}

// Only reached without Close when the process ends with the port open:
// whatever is still queued is dropped rather than played out.
StreamOutDevice::~StreamOutDevice()
{
    {
        const std::lock_guard lock(mutex_);
        abandon_ = true;
    }
    Quit();
}

MMRESULT StreamOutDevice::ShortMsg(DWORD message)
{
    Job job;
    for (std::size_t i = 0; i < 3; ++i) {
        job.bytes[i] = static_cast<std::uint8_t>(message >> (8 * i));
    }
    job.size = ShortMessageLength(job.bytes[0]);
    if (job.size == 0) {
        return MMSYSERR_INVALPARAM;
    }
    if (std::this_thread::get_id() == sender_.get_id()) {
        return MIDIERR_NOTREADY;  // from a callback on the sender: it would wait for itself
    }
    std::unique_lock lock(mutex_);
    job.number = ++queued_;
    jobs_.push_back(job);
    wake_.notify_one();
    const bool finished =
        finished_.wait_for(lock, kVerdictBound, [&] { return finishedCount_ >= job.number || quit_; });
    if (!finished) {
        return MIDIERR_NOTREADY;  // still queued: the transport has not taken it in time
    }
    if (lastShortNumber_ != job.number) {
        return MMSYSERR_NOERROR;
    }
    if (lastShortVerdict_ != MMSYSERR_NOERROR) {
        ExplainMidiFailure(lastShortReason_);
    }
    return lastShortVerdict_;
}

MMRESULT StreamOutDevice::PrepareHeader(MIDIHDR& header)
{
    const std::lock_guard lock(mutex_);
    return MarkPrepared(header);
}

MMRESULT StreamOutDevice::UnprepareHeader(MIDIHDR& header)
{
    const std::lock_guard lock(mutex_);
    const MMRESULT result = MarkUnprepared(header);
    if (result == MMSYSERR_ERROR) {
        ExplainMidiFailure(lastLongReason_);  // the line refused the message
    }
    return result;
}

MMRESULT StreamOutDevice::LongMsg(MIDIHDR& header)
{
    {
        const std::lock_guard lock(mutex_);
        if (const MMRESULT queued = MarkQueued(header); queued != MMSYSERR_NOERROR) {
            return queued;
        }
        Job job;
        job.header = &header;
        job.number = ++queued_;
        jobs_.push_back(job);
    }
    wake_.notify_one();
    return MMSYSERR_NOERROR;
}

// The header playing finishes first: it was queued before the others.
MMRESULT StreamOutDevice::Reset()
{
    std::unique_lock lock(mutex_);
    if (playing_ != nullptr) {
        Done(*playing_, MMSYSERR_NOERROR);
        playing_ = nullptr;
        cancel_ = true;
    }
    for (const Job& job : jobs_) {
        if (job.header != nullptr) {
            Done(*job.header, MMSYSERR_NOERROR);
        }
    }
    finishedCount_ = queued_;
    jobs_.clear();
    wake_.notify_all();
    finished_.notify_all();
    return AwaitDelivery(lock) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

MMRESULT StreamOutDevice::Close()
{
    {
        const std::lock_guard lock(mutex_);
        if (InCallback()) {
            // Closing waits for the callbacks, this one too; and the layer
            // would drop the device under the thread that runs it.
            return MMSYSERR_ERROR;
        }
        const bool queued = std::any_of(jobs_.begin(), jobs_.end(),
                                        [](const Job& job) { return job.header != nullptr; });
        if (queued || playing_ != nullptr) {
            return MIDIERR_STILLPLAYING;
        }
    }
    Quit();
    std::unique_lock lock(mutex_);
    Post(MOM_CLOSE, 0);
    Deliver(lock);  // the sender has ended: no other thread delivers now
    return MMSYSERR_NOERROR;
}

bool StreamOutDevice::Pause(std::chrono::microseconds duration)
{
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, duration, [this] { return cancel_ || abandon_; });
}

void StreamOutDevice::Sent()
{
    std::unique_lock lock(mutex_);
    if (playing_ != nullptr) {
        Done(*playing_, MMSYSERR_NOERROR);
        playing_ = nullptr;
        Deliver(lock);
    }
}

void StreamOutDevice::Done(MIDIHDR& header, MMRESULT verdict)
{
    header.dwReserved[0] = verdict;
    MarkDone(header);
    Post(MOM_DONE, reinterpret_cast<DWORD_PTR>(&header));
}

void StreamOutDevice::Post(UINT message, DWORD_PTR param1)
{
    if (callback_.proc != nullptr) {
        notices_.push_back(Notice{message, param1});
        ++posted_;
    }
}

// Runs the callbacks posted so far, and those posted meanwhile, in order.
// A thread that finds another delivering leaves them to it, which keeps
// the order; that one may be inside a callback that calls Reset.
void StreamOutDevice::Deliver(std::unique_lock<std::mutex>& lock)
{
    if (deliverer_ != std::thread::id()) {
        return;
    }
    deliverer_ = std::this_thread::get_id();
    while (!notices_.empty()) {
        const Notice notice = notices_.front();
        notices_.pop_front();
        lock.unlock();
        callback_.proc(this, notice.message, callback_.instance, notice.param1, 0);
        lock.lock();
        ++deliveredCount_;
        delivered_.notify_all();
    }
    deliverer_ = std::thread::id();
}

// Returns once the callbacks posted so far have run, or the bound passed;
// from inside a callback at once, as those follow the one running.
bool StreamOutDevice::AwaitDelivery(std::unique_lock<std::mutex>& lock)
{
    Deliver(lock);
    if (InCallback()) {
        return true;
    }
    const std::uint64_t target = posted_;
    return delivered_.wait_for(lock, kDeliveryBound, [&] { return deliveredCount_ >= target; });
}

bool StreamOutDevice::InCallback() const { return deliverer_ == std::this_thread::get_id(); }

void StreamOutDevice::Quit()
{
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    finished_.notify_all();
    if (sender_.joinable()) {
        sender_.join();
    }
}

// The sender thread: the only caller of line_->Send. It touches a header
// only under mutex_ and only while the header is queued or playing, so a
// header given back by Reset is never touched again.
void StreamOutDevice::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
        if (jobs_.empty() || abandon_) {
            return;
        }
        const Job job = jobs_.front();
        jobs_.pop_front();
        if (job.header != nullptr) {
            const auto* data = reinterpret_cast<const std::uint8_t*>(job.header->lpData);
            scratch_.assign(data, data + job.header->dwBufferLength);
            playing_ = job.header;
        } else {
            scratch_.assign(job.bytes, job.bytes + job.size);
        }
        cancel_ = false;
        lock.unlock();
        const MMRESULT verdict = line_->Send(scratch_, *this);
        std::string reason = TakeMidiFailureReason();
        lock.lock();
        if (job.header == nullptr) {
            lastShortNumber_ = job.number;
            lastShortVerdict_ = verdict;
            lastShortReason_ = std::move(reason);
        } else if (playing_ == job.header) {
            if (verdict != MMSYSERR_NOERROR) {
                lastLongReason_ = std::move(reason);
            }
            Done(*playing_, verdict);
            playing_ = nullptr;
        }
        finishedCount_ = std::max(finishedCount_, job.number);
        finished_.notify_all();
        Deliver(lock);
    }
}

// ---- input ----------------------------------------------------------------

StreamInDevice::StreamInDevice(std::unique_ptr<InputLine> line, const MidiInCallback& callback)
    : line_(std::move(line)), callback_(callback)
{
    {
        const std::lock_guard lock(mutex_);
        Post(MIM_OPEN, 0, 0);
    }
    dispatcher_ = std::thread([this] { Run(); });
    {
        // As on Windows, the open is announced before the open returns, so
        // that a capture started next never sees the announcement late.
        std::unique_lock lock(mutex_);
        AwaitDelivery(lock);
    }
    line_->Connect(*this);
    connected_ = true;
}

StreamInDevice::~StreamInDevice()
{
    if (connected_) {
        line_->Disconnect();
    }
    Quit();
}

MMRESULT StreamInDevice::PrepareHeader(MIDIHDR& header)
{
    const std::lock_guard lock(mutex_);
    return MarkPrepared(header);
}

MMRESULT StreamInDevice::UnprepareHeader(MIDIHDR& header)
{
    const std::lock_guard lock(mutex_);
    return MarkUnprepared(header);
}

MMRESULT StreamInDevice::AddBuffer(MIDIHDR& header)
{
    const std::lock_guard lock(mutex_);
    if (const MMRESULT queued = MarkQueued(header); queued != MMSYSERR_NOERROR) {
        return queued;
    }
    header.dwBytesRecorded = 0;
    buffers_.push_back(&header);
    return MMSYSERR_NOERROR;
}

MMRESULT StreamInDevice::Start()
{
    const std::lock_guard lock(mutex_);
    if (!started_) {
        started_ = true;
        startTime_ = std::chrono::steady_clock::now();
    }
    return MMSYSERR_NOERROR;
}

MMRESULT StreamInDevice::Stop()
{
    std::unique_lock lock(mutex_);
    started_ = false;
    inSysex_ = false;
    lossReported_ = false;
    if (!buffers_.empty() && buffers_.front()->dwBytesRecorded > 0) {
        HandBack(buffers_.front());
    }
    return AwaitDelivery(lock) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

MMRESULT StreamInDevice::Reset()
{
    std::unique_lock lock(mutex_);
    started_ = false;
    inSysex_ = false;
    lossReported_ = false;
    while (!buffers_.empty()) {
        HandBack(buffers_.front());
    }
    return AwaitDelivery(lock) ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

MMRESULT StreamInDevice::Close()
{
    if (std::this_thread::get_id() == dispatcher_.get_id()) {
        return MMSYSERR_ERROR;  // from inside the callback: it would wait for itself
    }
    {
        const std::lock_guard lock(mutex_);
        if (!buffers_.empty()) {
            return MIDIERR_STILLPLAYING;
        }
    }
    if (connected_) {
        line_->Disconnect();
        connected_ = false;
    }
    {
        const std::lock_guard lock(mutex_);
        started_ = false;
        Post(MIM_CLOSE, 0, 0);
    }
    Quit();
    return MMSYSERR_NOERROR;
}

void StreamInDevice::Receive(std::span<const std::uint8_t> message)
{
    const std::lock_guard lock(mutex_);
    if (!started_ || message.empty()) {
        return;
    }
    const std::uint8_t first = message[0];
    // A backend that hands SysEx on in pieces may start one with the F7
    // that ends the message.
    if (first == 0xF0 || (inSysex_ && (first < 0x80 || first == 0xF7))) {
        for (const std::uint8_t byte : message) {
            StoreSysexByte(byte);
        }
    } else if (first >= 0x80) {
        Post(MIM_DATA, PackShort(message), Timestamp());
    } else {
        Post(MIM_ERROR, PackShort(message), Timestamp());
    }
}

void StreamInDevice::StoreSysexByte(std::uint8_t byte)
{
    if (byte == 0xF0 && inSysex_ && !buffers_.empty() && buffers_.front()->dwBytesRecorded > 0) {
        HandBack(buffers_.front());  // a new message before the last one ended
    }
    if (buffers_.empty()) {
        if (!lossReported_) {
            Post(MIM_LONGERROR, 0, Timestamp());
            lossReported_ = true;
        }
    } else {
        MIDIHDR* header = buffers_.front();
        header->lpData[header->dwBytesRecorded++] = static_cast<char>(byte);
        if (byte == 0xF7 || header->dwBytesRecorded >= header->dwBufferLength) {
            HandBack(header);
        }
    }
    inSysex_ = byte != 0xF7;
    if (!inSysex_) {
        lossReported_ = false;
    }
}

void StreamInDevice::HandBack(MIDIHDR* header)
{
    buffers_.erase(std::find(buffers_.begin(), buffers_.end(), header));
    MarkDone(*header);
    Post(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header), Timestamp());
}

void StreamInDevice::Post(UINT message, DWORD_PTR p1, DWORD_PTR p2)
{
    notices_.push_back(Notice{message, p1, p2});
    ++posted_;
    wake_.notify_one();
}

bool StreamInDevice::AwaitDelivery(std::unique_lock<std::mutex>& lock)
{
    if (std::this_thread::get_id() == dispatcher_.get_id()) {
        return true;  // called from the callback: what it handed back follows it
    }
    const std::uint64_t target = posted_;
    return delivered_.wait_for(lock, kDeliveryBound, [&] { return deliveredCount_ >= target; });
}

DWORD StreamInDevice::Timestamp() const
{
    if (!started_) {
        return 0;
    }
    const auto elapsed = std::chrono::steady_clock::now() - startTime_;
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

// The dispatcher thread: the only thread that runs the port's callback, one
// notice at a time, in the order they were posted, never holding mutex_.
void StreamInDevice::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || !notices_.empty(); });
        if (notices_.empty()) {
            return;
        }
        const Notice notice = notices_.front();
        notices_.pop_front();
        lock.unlock();
        if (callback_.proc != nullptr) {
            callback_.proc(this, notice.message, callback_.instance, notice.param1, notice.param2);
        }
        lock.lock();
        ++deliveredCount_;
        delivered_.notify_all();
    }
}

void StreamInDevice::Quit()
{
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (dispatcher_.joinable() && std::this_thread::get_id() != dispatcher_.get_id()) {
        dispatcher_.join();
    }
}

}  // namespace platform
