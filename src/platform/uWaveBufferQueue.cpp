#include "uWaveBufferQueue.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace tavrin {

namespace {

uint32_t WholeFrameBytes(const TWaveHeader& header) {
    return header.BufferLength - header.BufferLength % kWaveFrameBytes;
}

}  // namespace

TWaveBufferQueue::TWaveBufferQueue(bool capture) : IsCapture(capture) {}

bool TWaveBufferQueue::Add(TWaveHeader& header) {
    const size_t tail = Tail.load(std::memory_order_relaxed);
    if (tail - Head.load(std::memory_order_acquire) >= kCapacity) {
        return false;
    }
    const uint32_t flags = header.Flags.load(std::memory_order_relaxed);
    header.Flags.store((flags | kHeaderInQueue) & ~kHeaderDone, std::memory_order_relaxed);
    Ring[tail % kCapacity] = &header;
    Tail.store(tail + 1, std::memory_order_release);
    return true;
}

bool TWaveBufferQueue::Empty() const {
    return Head.load(std::memory_order_acquire) == Tail.load(std::memory_order_acquire);
}

void TWaveBufferQueue::SetCapturing(bool capturing) {
    Capturing.store(capturing, std::memory_order_relaxed);
}

size_t TWaveBufferQueue::ReturnFilling() {
    const bool release = Hold();
    Capturing.store(false, std::memory_order_relaxed);
    size_t returned = 0;
    if (IsCapture && Done > 0 && Front() != nullptr) {
        Complete(Done);
        returned = 1;
    }
    if (release) {
        Release();
    }
    return returned;
}

size_t TWaveBufferQueue::ReturnAll() {
    const bool release = Hold();
    const size_t returned = CompleteAll();
    if (release) {
        Release();
    }
    return returned;
}

size_t TWaveBufferQueue::Shut() {
    Hold();
    const size_t returned = CompleteAll();
    Gate.store(kShut, std::memory_order_release);
    return returned;
}

void TWaveBufferQueue::Detach() {
    Hold();
    Gate.store(kShut, std::memory_order_release);
}

size_t TWaveBufferQueue::CompleteAll() {
    Capturing.store(false, std::memory_order_relaxed);
    size_t returned = 0;
    while (Front() != nullptr) {
        Complete(IsCapture ? Done : 0);
        ++returned;
    }
    return returned;
}

bool TWaveBufferQueue::Hold() {
    for (;;) {
        uint32_t expected = kOpen;
        if (Gate.compare_exchange_weak(expected, kHeld, std::memory_order_acquire,
                                       std::memory_order_relaxed)) {
            return true;
        }
        if (expected == kShut) {
            // Pairs with the release store of whoever shut the queue.
            (void)Gate.load(std::memory_order_acquire);
            return false;
        }
        // The stream side holds the queue for one period's copy at most.
        std::this_thread::yield();
    }
}

bool TWaveBufferQueue::EnterStream() {
    uint32_t expected = kOpen;
    return Gate.compare_exchange_strong(expected, kStreaming, std::memory_order_acquire,
                                        std::memory_order_relaxed);
}

void TWaveBufferQueue::LeaveStream() {
    Gate.store(kOpen, std::memory_order_release);
}

TWaveHeader* TWaveBufferQueue::Front() const {
    const size_t head = Head.load(std::memory_order_relaxed);
    if (head == Tail.load(std::memory_order_acquire)) {
        return nullptr;
    }
    return Ring[head % kCapacity];
}

void TWaveBufferQueue::Complete(uint32_t bytes) {
    const size_t head = Head.load(std::memory_order_relaxed);
    TWaveHeader& header = *Ring[head % kCapacity];
    Done = 0;
    // The slot is free before the header is: a caller that re-adds the header at once must find
    // room.
    Head.store(head + 1, std::memory_order_release);
    if (IsCapture) {
        header.BytesRecorded.store(bytes, std::memory_order_relaxed);
    }
    const uint32_t flags = header.Flags.load(std::memory_order_relaxed);
    header.Flags.store((flags & ~kHeaderInQueue) | kHeaderDone, std::memory_order_release);
}

void TWaveBufferQueue::Capture(const void* frames, size_t count) {
    Calls.fetch_add(1, std::memory_order_relaxed);
    if (!EnterStream()) {
        return;
    }
    size_t returned = 0;
    if (Capturing.load(std::memory_order_relaxed)) {
        const char* source = static_cast<const char*>(frames);
        size_t bytes = count * kWaveFrameBytes;
        while (bytes > 0) {
            TWaveHeader* header = Front();
            if (header == nullptr) {
                break;  // nobody left a buffer: these frames are lost
            }
            const uint32_t capacity = WholeFrameBytes(*header);
            const uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(capacity - Done, bytes));
            if (chunk > 0) {  // a buffer without a whole frame may have no memory at all
                std::memcpy(header->Data + Done, source, chunk);
            }
            source += chunk;
            bytes -= chunk;
            Done += chunk;
            if (Done == capacity) {
                Complete(Done);
                ++returned;
            }
        }
    }
    LeaveStream();
    if (returned > 0) {
        Returns.release();
    }
}

void TWaveBufferQueue::Play(void* frames, size_t count) {
    Calls.fetch_add(1, std::memory_order_relaxed);
    char* target = static_cast<char*>(frames);
    size_t bytes = count * kWaveFrameBytes;
    size_t returned = 0;
    if (EnterStream()) {
        while (bytes > 0) {
            TWaveHeader* header = Front();
            if (header == nullptr) {
                break;
            }
            const uint32_t capacity = WholeFrameBytes(*header);
            const uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(capacity - Done, bytes));
            if (chunk > 0) {
                std::memcpy(target, header->Data + Done, chunk);
            }
            target += chunk;
            bytes -= chunk;
            Done += chunk;
            if (Done == capacity) {
                Complete(0);
                ++returned;
            }
        }
        LeaveStream();
    }
    std::memset(target, 0, bytes);  // nothing queued for the rest of the period
    if (returned > 0) {
        Returns.release();
    }
}

bool TWaveBufferQueue::WaitForReturns(std::chrono::milliseconds timeout) {
    if (!Returns.try_acquire_for(timeout)) {
        return false;
    }
    while (Returns.try_acquire()) {
    }
    return true;
}

void TWaveBufferQueue::Wake() {
    Returns.release();
}

}  // namespace tavrin
