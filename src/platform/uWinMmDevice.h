#pragma once

// One open waveIn or waveOut device of the Windows multimedia API as a device of the
// waveform-audio service. Created by TWinMmService; nothing else uses this unit.

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "uWaveService.h"

struct wavehdr_tag;

namespace tavrin {

class TWinMmDevice : public TWaveDevice {
  public:
    // Opens system device `deviceId` of the direction; on failure `device` stays empty, nothing
    // is signalled and the result tells why (BadDeviceId, BadFormat, Error).
    static TWaveResult Open(bool capture, uint32_t deviceId, const TWaveFormat& format,
                            uint32_t flags, TAutoEvent& notify,
                            std::unique_ptr<TWaveDevice>& device);

    // Takes over the open `handle`, which signals `systemEvent` (a Win32 auto-reset event).
    TWinMmDevice(bool capture, void* handle, void* systemEvent, TAutoEvent& notify);
    ~TWinMmDevice() override;

    TWaveResult PrepareHeader(TWaveHeader& header) override;
    TWaveResult UnprepareHeader(TWaveHeader& header) override;
    TWaveResult Queue(TWaveHeader& header) override;
    TWaveResult Start() override;
    TWaveResult Stop() override;
    TWaveResult Reset() override;
    TWaveResult Close() override;

  private:
    // The system's header for each of the owner's, at a fixed address while it is prepared.
    struct TSystemHeader;

    // Watcher thread: wakes on the system's event, hands back what the system has finished and
    // passes the wake-up on to the owner's event.
    void Watch();
    // Mirrors the system's done flag into the owner's headers, front of the queue first, so that
    // they come back in queue order. Any thread; takes Mutex.
    void HandBackFinished();
    void StopWatching();
    // Every buffer comes back from the system; the owner's headers are left alone when `detach`.
    void ResetSystem(bool detach);
    void CloseSystem();

    const bool IsCapture;
    void* Handle;
    void* SystemEvent;
    TAutoEvent& Notify;
    bool IsOpen = true;
    std::mutex Mutex;  // guards Prepared, Queued and the system calls that touch them
    std::map<TWaveHeader*, std::unique_ptr<TSystemHeader>> Prepared;
    std::deque<TWaveHeader*> Queued;
    std::atomic<bool> Ending{false};
    std::thread Watcher;
};

}  // namespace tavrin
