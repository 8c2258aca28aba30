#pragma once

// The waveform-audio service the device threads talk to. Devices are numbered per direction
// from 0; a backend serves its own devices, and TCombinedWaveService chains backends into the
// program's device lists. Every call returns TWaveResult::Ok or an error code, which the
// device threads ignore except for Open.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "uAutoEvent.h"

namespace tavrin {

enum class TWaveResult : uint32_t {
    Ok = 0,
    Error = 1,
    BadDeviceId = 2,
    NotOpen = 5,
    BadFormat = 32,
    StillQueued = 33,  // Close while buffers are still queued
    Unprepared = 34,   // Queue with a header that was not prepared
};

// Open flags, as the device threads pass them.
inline constexpr uint32_t kWaveCallbackEvent = 0x50000;  // notify through the given event
inline constexpr uint32_t kWaveFormatDirect = 0x0008;    // the device must take the format itself
inline constexpr uint32_t kWaveAllowSync = 0x0002;       // a synchronous playback device will do

// PCM format record, fields in the platform's order.
struct TWaveFormat {
    uint16_t FormatTag = 1;  // PCM
    uint16_t Channels = 2;
    uint32_t SamplesPerSec = 48000;
    uint32_t AvgBytesPerSec = 192000;
    uint16_t BlockAlign = 4;
    uint16_t BitsPerSample = 16;
    uint16_t ExtraSize = 0;
};

// Header flags.
inline constexpr uint32_t kHeaderDone = 1;
inline constexpr uint32_t kHeaderPrepared = 2;
inline constexpr uint32_t kHeaderInQueue = 16;

// One buffer as the device threads and the service share it. The device owns a queued buffer
// (Data, BytesRecorded) until it clears kHeaderInQueue; it publishes the flags with release
// order and the device thread reads them with acquire order, so the samples are visible.
struct TWaveHeader {
    char* Data = nullptr;
    uint32_t BufferLength = 0;               // bytes
    std::atomic<uint32_t> BytesRecorded{0};  // capture: bytes filled
    uintptr_t User = 0;
    std::atomic<uint32_t> Flags{0};
    uint32_t Loops = 0;
    TWaveHeader* Next = nullptr;
    uintptr_t Reserved = 0;

    bool InQueue() const { return (Flags.load(std::memory_order_acquire) & kHeaderInQueue) != 0; }
    void Clear() {
        Data = nullptr;
        BufferLength = 0;
        BytesRecorded.store(0, std::memory_order_relaxed);
        User = 0;
        Flags.store(0, std::memory_order_relaxed);
        Loops = 0;
        Next = nullptr;
        Reserved = 0;
    }
};

// One open device (capture or playback). Calls come from the device thread and the
// user-interface thread, never from two threads at once for one device.
class TWaveDevice {
  public:
    virtual ~TWaveDevice() = default;

    virtual TWaveResult PrepareHeader(TWaveHeader& header) = 0;
    virtual TWaveResult UnprepareHeader(TWaveHeader& header) = 0;
    // Capture: add to the input queue. Playback: write (playback starts with the first one).
    // Sets kHeaderInQueue; when the device is done with the buffer it clears it, sets
    // kHeaderDone, for capture fills BytesRecorded, and signals the event. Buffers come back
    // in queue order.
    virtual TWaveResult Queue(TWaveHeader& header) = 0;
    // Capture only: begin filling the queued buffers. Playback: does nothing.
    virtual TWaveResult Start() = 0;
    // Capture only: stop filling (the buffer being filled comes back with what it holds).
    virtual TWaveResult Stop() = 0;
    // Every queued buffer comes back before this returns, marked done and not queued, with
    // the usual notification; playback drops what it has not played.
    virtual TWaveResult Reset() = 0;
    // Fails with StillQueued while buffers are queued. Once it returns Ok the device touches no
    // header any more and has signalled the event once more (the close notification).
    virtual TWaveResult Close() = 0;
    // True once the device has stopped working (unplugged, its sound server gone): what is
    // queued may never come back but through Reset, and the run cannot go on. The device
    // signals the event when it fails.
    virtual bool Failed() const { return false; }
};

class TWaveService {
  public:
    virtual ~TWaveService() = default;

    virtual int32_t InputDeviceCount() const = 0;
    virtual std::string InputDeviceName(int32_t index) const = 0;
    virtual int32_t OutputDeviceCount() const = 0;
    virtual std::string OutputDeviceName(int32_t index) const = 0;

    // Open capture or playback device `deviceId` in `format` (16-bit stereo PCM), notifying
    // through `notify`, which must outlive the device. On Ok, `device` holds the open device
    // and `notify` is signalled once the device is open. On failure `device` stays empty and
    // nothing is signalled.
    virtual TWaveResult OpenInput(uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                                  uint32_t flags, std::unique_ptr<TWaveDevice>& device) = 0;
    virtual TWaveResult OpenOutput(uint32_t deviceId, const TWaveFormat& format, TAutoEvent& notify,
                                   uint32_t flags, std::unique_ptr<TWaveDevice>& device) = 0;

    // A capture and a playback device already wired as a calibration wants it, both inputs on
    // one signal, where the service has such a pair; -1 where it has none, as a real sound
    // card, whose box the user switches.
    virtual int32_t CalibrationInputDevice() const { return -1; }
    virtual int32_t CalibrationOutputDevice() const { return -1; }
};

}  // namespace tavrin
