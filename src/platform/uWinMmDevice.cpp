#include "uWinMmDevice.h"

// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <atomic>

namespace tavrin {

struct TWinMmDevice::TSystemHeader {
    WAVEHDR Header{};
    bool SystemPrepared = false;  // known to the system until Close or UnprepareHeader
};

namespace {

TWaveResult FromSystem(MMRESULT result) {
    switch (result) {
        case MMSYSERR_NOERROR:
            return TWaveResult::Ok;
        case MMSYSERR_BADDEVICEID:
            return TWaveResult::BadDeviceId;
        case WAVERR_BADFORMAT:
            return TWaveResult::BadFormat;
        case WAVERR_STILLPLAYING:
            return TWaveResult::StillQueued;
        case WAVERR_UNPREPARED:
            return TWaveResult::Unprepared;
        default:
            return TWaveResult::Error;
    }
}

HWAVEIN In(void* handle) {
    return static_cast<HWAVEIN>(handle);
}

HWAVEOUT Out(void* handle) {
    return static_cast<HWAVEOUT>(handle);
}

// The system writes the flags from its own thread.
DWORD SystemFlags(WAVEHDR& header) {
    return std::atomic_ref<DWORD>(header.dwFlags).load(std::memory_order_acquire);
}

}  // namespace

TWaveResult TWinMmDevice::Open(bool capture, uint32_t deviceId, const TWaveFormat& format,
                               uint32_t flags, TAutoEvent& notify,
                               std::unique_ptr<TWaveDevice>& device) {
    WAVEFORMATEX system{};
    system.wFormatTag = format.FormatTag;
    system.nChannels = format.Channels;
    system.nSamplesPerSec = format.SamplesPerSec;
    system.nAvgBytesPerSec = format.AvgBytesPerSec;
    system.nBlockAlign = format.BlockAlign;
    system.wBitsPerSample = format.BitsPerSample;
    system.cbSize = 0;
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) {
        return TWaveResult::Error;
    }
    // The caller's flags keep their meaning; the notification is always through our event.
    const DWORD openFlags = CALLBACK_EVENT | (flags & (WAVE_FORMAT_DIRECT | WAVE_ALLOWSYNC));
    MMRESULT result;
    void* handle = nullptr;
    if (capture) {
        HWAVEIN in = nullptr;
        result =
            waveInOpen(&in, deviceId, &system, reinterpret_cast<DWORD_PTR>(event), 0, openFlags);
        handle = in;
    } else {
        HWAVEOUT out = nullptr;
        result =
            waveOutOpen(&out, deviceId, &system, reinterpret_cast<DWORD_PTR>(event), 0, openFlags);
        handle = out;
    }
    if (result != MMSYSERR_NOERROR) {
        CloseHandle(event);
        return FromSystem(result);
    }
    device = std::make_unique<TWinMmDevice>(capture, handle, event, notify);
    return TWaveResult::Ok;
}

TWinMmDevice::TWinMmDevice(bool capture, void* handle, void* systemEvent, TAutoEvent& notify)
    : IsCapture(capture), Handle(handle), SystemEvent(systemEvent), Notify(notify) {
    Watcher = std::thread([this] { Watch(); });
    // The system signals its event once the device is open; the owner hears of it here rather
    // than whenever the watcher gets to run.
    Notify.Signal();
}

TWinMmDevice::~TWinMmDevice() {
    StopWatching();
    if (IsOpen) {
        // Closed without Close: the owner's headers may be gone, so none is touched.
        ResetSystem(true);
        CloseSystem();
    }
    CloseHandle(SystemEvent);
}

TWaveResult TWinMmDevice::PrepareHeader(TWaveHeader& header) {
    if (!IsOpen) {
        return TWaveResult::NotOpen;
    }
    std::lock_guard<std::mutex> lock(Mutex);
    auto& system = Prepared[&header];
    if (!system) {
        system = std::make_unique<TSystemHeader>();
    }
    if (!system->SystemPrepared) {
        system->Header = WAVEHDR{};
        system->Header.lpData = header.Data;
        system->Header.dwBufferLength = header.BufferLength;
        const MMRESULT result =
            IsCapture ? waveInPrepareHeader(In(Handle), &system->Header, sizeof(WAVEHDR))
                      : waveOutPrepareHeader(Out(Handle), &system->Header, sizeof(WAVEHDR));
        if (result != MMSYSERR_NOERROR) {
            Prepared.erase(&header);
            return FromSystem(result);
        }
        system->SystemPrepared = true;
    }
    header.Flags.fetch_or(kHeaderPrepared, std::memory_order_relaxed);
    return TWaveResult::Ok;
}

TWaveResult TWinMmDevice::UnprepareHeader(TWaveHeader& header) {
    if (header.InQueue()) {
        return TWaveResult::StillQueued;
    }
    std::lock_guard<std::mutex> lock(Mutex);
    const auto found = Prepared.find(&header);
    if (found != Prepared.end()) {
        TSystemHeader& system = *found->second;
        if (system.SystemPrepared && IsOpen) {
            const MMRESULT result =
                IsCapture ? waveInUnprepareHeader(In(Handle), &system.Header, sizeof(WAVEHDR))
                          : waveOutUnprepareHeader(Out(Handle), &system.Header, sizeof(WAVEHDR));
            if (result != MMSYSERR_NOERROR) {
                return FromSystem(result);
            }
        }
        Prepared.erase(found);
    }
    header.Flags.fetch_and(~kHeaderPrepared, std::memory_order_relaxed);
    return TWaveResult::Ok;
}

TWaveResult TWinMmDevice::Queue(TWaveHeader& header) {
    if (!IsOpen) {
        return TWaveResult::NotOpen;
    }
    const uint32_t flags = header.Flags.load(std::memory_order_acquire);
    if ((flags & kHeaderPrepared) == 0) {
        return TWaveResult::Unprepared;
    }
    if ((flags & kHeaderInQueue) != 0) {
        return TWaveResult::StillQueued;
    }
    std::lock_guard<std::mutex> lock(Mutex);
    const auto found = Prepared.find(&header);
    if (found == Prepared.end() || !found->second->SystemPrepared) {
        return TWaveResult::Unprepared;
    }
    WAVEHDR& system = found->second->Header;
    // The owner may have refilled or resized the buffer since it was prepared.
    system.lpData = header.Data;
    system.dwBufferLength = header.BufferLength;
    system.dwBytesRecorded = 0;
    header.BytesRecorded.store(0, std::memory_order_relaxed);
    header.Flags.store((flags | kHeaderInQueue) & ~kHeaderDone, std::memory_order_release);
    Queued.push_back(&header);
    const MMRESULT result = IsCapture ? waveInAddBuffer(In(Handle), &system, sizeof(WAVEHDR))
                                      : waveOutWrite(Out(Handle), &system, sizeof(WAVEHDR));
    if (result != MMSYSERR_NOERROR) {
        Queued.pop_back();
        header.Flags.store(flags, std::memory_order_release);
        return FromSystem(result);
    }
    return TWaveResult::Ok;
}

TWaveResult TWinMmDevice::Start() {
    if (!IsOpen) {
        return TWaveResult::NotOpen;
    }
    return IsCapture ? FromSystem(waveInStart(In(Handle))) : TWaveResult::Ok;
}

TWaveResult TWinMmDevice::Stop() {
    if (!IsOpen) {
        return TWaveResult::NotOpen;
    }
    if (!IsCapture) {
        return TWaveResult::Ok;
    }
    const TWaveResult result = FromSystem(waveInStop(In(Handle)));
    // The buffer being filled is marked done by the call itself; it comes back now rather than
    // whenever the watcher runs.
    HandBackFinished();
    Notify.Signal();
    return result;
}

TWaveResult TWinMmDevice::Reset() {
    if (!IsOpen) {
        return TWaveResult::NotOpen;
    }
    ResetSystem(false);
    // Also when nothing was queued: a device thread that asked for the reset while it held every
    // buffer itself still wakes up to close the device.
    Notify.Signal();
    return TWaveResult::Ok;
}

TWaveResult TWinMmDevice::Close() {
    if (!IsOpen) {
        return TWaveResult::NotOpen;
    }
    HandBackFinished();
    {
        std::lock_guard<std::mutex> lock(Mutex);
        if (!Queued.empty()) {
            return TWaveResult::StillQueued;
        }
    }
    StopWatching();
    CloseSystem();
    Notify.Signal();
    return TWaveResult::Ok;
}

void TWinMmDevice::Watch() {
    for (;;) {
        WaitForSingleObject(SystemEvent, INFINITE);
        if (Ending.load(std::memory_order_acquire)) {
            return;
        }
        HandBackFinished();
        Notify.Signal();
    }
}

void TWinMmDevice::HandBackFinished() {
    std::lock_guard<std::mutex> lock(Mutex);
    while (!Queued.empty()) {
        TWaveHeader& header = *Queued.front();
        const auto found = Prepared.find(&header);
        if (found == Prepared.end()) {
            Queued.pop_front();  // cannot happen: a queued header stays prepared
            continue;
        }
        WAVEHDR& system = found->second->Header;
        if ((SystemFlags(system) & WHDR_DONE) == 0) {
            return;
        }
        header.BytesRecorded.store(IsCapture ? system.dwBytesRecorded : 0,
                                   std::memory_order_relaxed);
        const uint32_t flags = header.Flags.load(std::memory_order_relaxed);
        header.Flags.store((flags & ~kHeaderInQueue) | kHeaderDone, std::memory_order_release);
        Queued.pop_front();
    }
}

void TWinMmDevice::StopWatching() {
    if (!Watcher.joinable()) {
        return;
    }
    Ending.store(true, std::memory_order_release);
    SetEvent(SystemEvent);
    Watcher.join();
}

void TWinMmDevice::ResetSystem(bool detach) {
    // The system marks every queued buffer done before the call returns.
    if (IsCapture) {
        waveInReset(In(Handle));
    } else {
        waveOutReset(Out(Handle));
    }
    if (detach) {
        std::lock_guard<std::mutex> lock(Mutex);
        Queued.clear();
    } else {
        HandBackFinished();
    }
}

void TWinMmDevice::CloseSystem() {
    std::lock_guard<std::mutex> lock(Mutex);
    // The system forgets its headers with the device; the owner's unprepare calls after the
    // close then only clear their flags.
    for (auto& [owner, system] : Prepared) {
        if (system->SystemPrepared) {
            if (IsCapture) {
                waveInUnprepareHeader(In(Handle), &system->Header, sizeof(WAVEHDR));
            } else {
                waveOutUnprepareHeader(Out(Handle), &system->Header, sizeof(WAVEHDR));
            }
            system->SystemPrepared = false;
        }
    }
    if (IsCapture) {
        waveInClose(In(Handle));
    } else {
        waveOutClose(Out(Handle));
    }
    IsOpen = false;
}

}  // namespace tavrin
