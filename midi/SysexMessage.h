#pragma once

#include <cstdint>

#include "platform/midi/WinMidi.h"

// One buffer for one SysEx message between the program and the MIDI driver:
// the driver's header and the data area it points to.
class SysexMessage {
public:
    static constexpr int kDefaultCapacity = 1024;

    // Capacity 1024, cleared. Raises "Out of memory" when the data area
    // cannot be had.
    SysexMessage();
    virtual ~SysexMessage();
    SysexMessage(const SysexMessage&) = delete;
    SysexMessage& operator=(const SysexMessage&) = delete;

    // Grows the data area to `size` bytes (cleared); a size not above the
    // capacity changes nothing, not even the contents. Returns the capacity.
    // Raises "Out of memory" and keeps the old area when the new one cannot
    // be had.
    int Reserve(int size);
    // Zeroes data and header, then points the header at the whole data area.
    void Clear();
    MIDIHDR* GetHeader() { return &header_; }
    const MIDIHDR* GetHeader() const { return &header_; }
    int GetCapacity() const { return capacity_; }
    const std::uint8_t* GetData() const { return data_; }

    // -1 and nothing changed when `length` does not fit; else the data area
    // holds the bytes (zeros after them), dwBufferLength is `length`, and 0.
    int SetData(const std::uint8_t* data, int length);
    // When the header is marked done: copies what the driver recorded (at
    // most `destSize` bytes) and returns the count; otherwise 0.
    int CopyData(std::uint8_t* dest, int destSize) const;

private:
    MIDIHDR header_{};
    std::uint8_t* data_ = nullptr;
    int capacity_ = 0;
};
