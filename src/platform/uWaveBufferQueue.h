#pragma once

// The queue of buffers of one open device, shared by the threads that call the device and the
// real-time thread that moves its samples. Written for the PortAudio backend, but free of any
// audio library so that it can be tested on its own.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <semaphore>

#include "uWaveService.h"

namespace tavrin {

// Stereo 16-bit frames: a buffer only ever holds whole ones.
inline constexpr uint32_t kWaveFrameBytes = 4;

// Two sides take part:
// - the caller side: the device's callers (Add, SetCapturing, the Return... and Shut calls),
//   one thread at a time for adding, and whichever thread returns buffers (the device thread,
//   or the watchdog that finds the stream dead);
// - the stream side: Capture or Play, called by the audio library's real-time thread. It never
//   blocks, never allocates and never waits for the caller side: while a caller holds the
//   queue, a stream call skips its period (capture drops it, playback plays silence).
// Buffers come back in the order they were added: cleared in-queue flag, set done flag, for
// capture the byte count, and a count for WaitForReturns.
class TWaveBufferQueue {
  public:
    // Buffers that can wait at once; the device threads keep ten queued.
    static constexpr size_t kCapacity = 64;

    explicit TWaveBufferQueue(bool capture);
    TWaveBufferQueue(const TWaveBufferQueue&) = delete;
    TWaveBufferQueue& operator=(const TWaveBufferQueue&) = delete;

    // Marks the header queued and appends it; false (header untouched) when the queue is full.
    bool Add(TWaveHeader& header);
    bool Empty() const;
    // Capture only: whether the stream side stores what it captures.
    void SetCapturing(bool capturing);

    // Capture: the buffer being filled comes back with what it holds (nothing happens when it
    // holds nothing); storing stops. Returns the number of buffers that came back.
    size_t ReturnFilling();
    // Every queued buffer comes back before this returns, the one being filled with what it
    // holds, the others empty; playback drops what it has not played, capture stops storing.
    size_t ReturnAll();
    // As ReturnAll, and the stream side leaves the queue alone from now on: buffers added later
    // wait until the next ReturnAll. For a stream that has died, and before a stream is closed.
    size_t Shut();
    // As Shut without touching any header: for a device destroyed with buffers still queued,
    // whose headers may already be gone.
    void Detach();

    // Stream side. `frames` holds `count` interleaved stereo 16-bit frames.
    void Capture(const void* frames, size_t count);
    void Play(void* frames, size_t count);

    // Stream calls so far, shut or not: tells a watchdog whether the stream still runs.
    uint64_t StreamCalls() const { return Calls.load(std::memory_order_relaxed); }
    // Waits until the stream side has given buffers back or Wake was called; false on time-out.
    bool WaitForReturns(std::chrono::milliseconds timeout);
    void Wake();

  private:
    enum : uint32_t { kOpen, kStreaming, kHeld, kShut };

    bool EnterStream();
    void LeaveStream();
    // Makes the calling thread the only one that takes buffers out; true when it must give the
    // queue back (Release), false when the queue was shut and stays so.
    bool Hold();
    void Release() { Gate.store(kOpen, std::memory_order_release); }
    TWaveHeader* Front() const;
    // Hands the front buffer back; the owner of the queue's front only.
    void Complete(uint32_t bytes);
    size_t CompleteAll();

    const bool IsCapture;
    std::array<TWaveHeader*, kCapacity> Ring{};
    // Head: the front, advanced by whoever holds the front. Tail: advanced by Add.
    std::atomic<size_t> Head{0};
    std::atomic<size_t> Tail{0};
    // Bytes of the front buffer already captured or played; belongs to whoever holds the front.
    uint32_t Done = 0;
    std::atomic<uint32_t> Gate{kOpen};
    std::atomic<bool> Capturing{false};
    std::atomic<uint64_t> Calls{0};
    std::counting_semaphore<> Returns{0};
};

}  // namespace tavrin
