#include "midi/SysexMessage.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "voice/EXException.h"

namespace {
constexpr const char* kUnit = "MidiOutWin";
constexpr int kLineOutOfMemory = 30;
}  // namespace

SysexMessage::SysexMessage()
{
    Reserve(kDefaultCapacity);
    Clear();
}

SysexMessage::~SysexMessage()
{
    delete[] data_;
}

int SysexMessage::Reserve(int size)
{
    if (size > capacity_) {
        auto* area = new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)];
        if (area == nullptr) {
            RaiseEX("Out of memory", kUnit, kLineOutOfMemory);
        }
        delete[] data_;
        data_ = area;
        capacity_ = size;
        Clear();
    }
    return capacity_;
}

void SysexMessage::Clear()
{
    if (data_ != nullptr) {
        std::memset(data_, 0, static_cast<std::size_t>(capacity_));
    }
    header_ = MIDIHDR{};
    header_.lpData = reinterpret_cast<LPSTR>(data_);
    header_.dwBufferLength = static_cast<DWORD>(capacity_);
}

int SysexMessage::SetData(const std::uint8_t* data, int length)
{
    if (length > capacity_ || length < 0 || (data == nullptr && length > 0)) {
        return -1;
    }
    std::memset(data_, 0, static_cast<std::size_t>(capacity_));
    if (length > 0) {
        std::memcpy(data_, data, static_cast<std::size_t>(length));
    }
    header_.dwBufferLength = static_cast<DWORD>(length);
    return 0;
}

int SysexMessage::CopyData(std::uint8_t* dest, int destSize) const
{
    if ((header_.dwFlags & MHDR_DONE) == 0 || dest == nullptr || destSize <= 0) {
        return 0;
    }
    // A driver never records more than the area holds; should one claim to,
    // copy no more than is there.
    const auto recorded = std::min<DWORD>(header_.dwBytesRecorded, static_cast<DWORD>(capacity_));
    const int count = std::min(static_cast<int>(recorded), destSize);
    std::memcpy(dest, data_, static_cast<std::size_t>(count));
    return count;
}
