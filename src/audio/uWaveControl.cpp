#include "uWaveControl.h"

#include <algorithm>
#include <cmath>

#include "uPageMemory.h"
#include "uStimulus.h"

namespace tavrin {

void ResizeWaveData(TWaveData& data, int32_t length) {
    const size_t size = static_cast<size_t>(std::max(length, 0));
    if (data[0].size() != size) {
        data[0].resize(size);
        data[1].resize(size);
    }
}

void CopyWaveData(const TWaveData& source, TWaveData& destination) {
    for (size_t channel = 0; channel < 2; ++channel) {
        const size_t count = std::min(source[channel].size(), destination[channel].size());
        std::copy_n(source[channel].begin(), count, destination[channel].begin());
    }
}

uint32_t DeviceBufferBytes(uint32_t sampleRate, uint32_t blockAlign, size_t pageSize) {
    const uint64_t frames = static_cast<uint64_t>(std::llround(sampleRate * 0.1));
    const uint64_t bytes = frames * blockAlign;
    const uint64_t size = bytes / pageSize * pageSize;
    return static_cast<uint32_t>(std::max<uint64_t>(size, pageSize));
}

TWaveControl::TWaveControl(TWaveService& service, TUiDispatcher& ui)
    : TWorkerThread(ui, [this] { ThreadLoop(); }), Service(service) {}

TWaveControl::~TWaveControl() {
    EndStreaming();
}

int32_t TWaveControl::FrequencyToBin(int32_t length, float frequency) const {
    return tavrin::FrequencyToBin(length, frequency, SampleRate());
}

std::optional<bool> TWaveControl::BeginStart(std::string_view failureText) {
    if (!Parked()) {
        // A Start right after a Stop finds the thread still closing the device; waiting for it
        // is short and keeps the Start from being lost. A close that takes longer than that
        // (a device that does not answer) makes the Start fail: it is no run.
        const TDeviceState state = State();
        if (state != TDeviceState::Stopping && state != TDeviceState::Closed) {
            return true;
        }
        Ui.WaitUntil([this] { return Parked(); }, kCloseWaitMs);
        if (!Parked()) {
            ReportOpenFailure(failureText);
            return false;
        }
    }
    AllocateBuffers();
    BufferIndex = 0;
    RunState.store(TDeviceState::Opening, std::memory_order_release);
    Wake();
    return std::nullopt;
}

void TWaveControl::Stop() {
    if (Parked()) {
        RunState.store(TDeviceState::Stopping, std::memory_order_release);
        return;
    }
    // Stopping and the reset form one step under the device lock: a worker woken in between
    // by an earlier notification would otherwise close the device while buffers are still
    // queued. Only a run that is opening or streaming is stopped; a Closed state written
    // meanwhile by the worker must survive, or it would wait for a close that never comes.
    std::lock_guard<std::mutex> lock(DeviceMutex);
    TDeviceState state = State();
    while (state == TDeviceState::Opening || state == TDeviceState::Running) {
        if (RunState.compare_exchange_weak(state, TDeviceState::Stopping,
                                           std::memory_order_acq_rel)) {
            if (Device) {
                Device->Reset();
            }
            return;
        }
    }
}

bool TWaveControl::OpenDevice(bool input, uint32_t flags, std::string_view failureText) {
    std::unique_ptr<TWaveDevice> device;
    TWaveResult result = TWaveResult::Error;
    if (BuffersReady) {
        result = input ? Service.OpenInput(DeviceID(), Format, DeviceEvent, flags, device)
                       : Service.OpenOutput(DeviceID(), Format, DeviceEvent, flags, device);
    }
    if (result == TWaveResult::Ok && device) {
        std::lock_guard<std::mutex> lock(DeviceMutex);
        Device = std::move(device);
        InputDevice = input;
        return true;
    }
    device.reset();
    Park();
    ReleaseMemory();
    ReportOpenFailure(failureText);
    return false;
}

void TWaveControl::ReportOpenFailure(std::string_view failureText) {
    if (OnError) {
        OnError(std::string(failureText) + std::to_string(DeviceID()));
    }
}

void TWaveControl::EndStreaming() {
    Stop();
    RequestEnd();
    DeviceEvent.Signal();
    JoinThread();
    // The thread leaves at its first wake-up once Ending is set, possibly before it has closed
    // the device; what it left undone is done here.
    if (State() != TDeviceState::Closed) {
        CloseDevice();
    }
    FreeBuffers();
    ReleaseDevice();
}

void TWaveControl::ThreadLoop() {
    for (;;) {
        DeviceEvent.Wait();
        if (Parked()) {
            // Nothing to do for a parked thread but to notice that it is to end.
            if (Ending()) {
                return;
            }
            continue;
        }
        switch (State()) {
            case TDeviceState::Opening: {
                TDeviceState expected = TDeviceState::Opening;
                RunState.compare_exchange_strong(expected, TDeviceState::Running,
                                                 std::memory_order_acq_rel);
                // The open notification may have merged with the first returns.
                ProcessReturnedBuffers();
                CheckDevice();
                break;
            }
            case TDeviceState::Running:
                ProcessReturnedBuffers();
                CheckDevice();
                break;
            case TDeviceState::Stopping:
                CloseDevice();
                break;
            case TDeviceState::Closed:
                FreeBuffers();
                ReleaseDevice();
                if (!Ending()) {
                    Park();
                }
                break;
        }
        if (Ending()) {
            return;
        }
    }
}

void TWaveControl::ProcessReturnedBuffers() {
    // Several returns may have merged into one wake-up: every returned buffer is handled, in
    // ring order, up to the first one still queued. A header the owner has not queued yet
    // carries no done flag and is left alone.
    while (State() == TDeviceState::Running) {
        TWaveHeader& header = Headers[static_cast<size_t>(BufferIndex)];
        const uint32_t flags = header.Flags.load(std::memory_order_acquire);
        if ((flags & kHeaderInQueue) != 0 || (flags & kHeaderDone) == 0) {
            return;
        }
        ProcessBuffer(header);
        BufferIndex = (BufferIndex + 1) % kDeviceBufferCount;
    }
}

void TWaveControl::CheckDevice() {
    bool failed = false;
    {
        std::lock_guard<std::mutex> lock(DeviceMutex);
        failed = Device && Device->Failed();
    }
    if (!failed || State() != TDeviceState::Running || Ending()) {
        return;
    }
    // Once, and only while the run is still on: when one device's report has stopped the whole
    // measurement, the other's would tell nothing new.
    Ui.Call([this] {
        if (!OnDeviceLost || Ending() || State() != TDeviceState::Running) {
            return;
        }
        const uint32_t id = DeviceID();
        const int32_t index = static_cast<int32_t>(id);
        const std::string name =
            InputDevice ? Service.InputDeviceName(index) : Service.OutputDeviceName(index);
        OnDeviceLost(std::string(InputDevice ? "Input" : "Output") + " device " +
                     std::to_string(id) + (name.empty() ? "" : " (" + name + ")") +
                     " stopped responding.");
    });
    Stop();
}

void TWaveControl::CloseDevice() {
    {
        std::lock_guard<std::mutex> lock(DeviceMutex);
        // A device that still holds a buffer refuses to close and would never notify again;
        // taking the buffers back first keeps the thread from freeing memory the device uses.
        if (Device && Device->Close() == TWaveResult::StillQueued) {
            Device->Reset();
            Device->Close();
        }
    }
    RunState.store(TDeviceState::Closed, std::memory_order_release);
}

void TWaveControl::PrepareHeader(TWaveHeader& header) {
    std::lock_guard<std::mutex> lock(DeviceMutex);
    if (Device) {
        Device->PrepareHeader(header);
    }
}

void TWaveControl::QueueHeader(TWaveHeader& header) {
    std::lock_guard<std::mutex> lock(DeviceMutex);
    if (Device) {
        Device->Queue(header);
    }
}

bool TWaveControl::QueueAgain(TWaveHeader& header) {
    // Checked under the device lock, which Stop holds while it sets Stopping and resets: the
    // buffer is either queued before the reset (and returned by it) or not at all, and the
    // close finds no buffer left in the device.
    std::lock_guard<std::mutex> lock(DeviceMutex);
    if (!Device || State() != TDeviceState::Running) {
        return false;
    }
    Device->Queue(header);
    return true;
}

void TWaveControl::StartDevice() {
    std::lock_guard<std::mutex> lock(DeviceMutex);
    if (Device) {
        Device->Start();
    }
}

void TWaveControl::StopDevice() {
    std::lock_guard<std::mutex> lock(DeviceMutex);
    if (Device) {
        Device->Stop();
    }
}

void TWaveControl::ResetDevice() {
    std::lock_guard<std::mutex> lock(DeviceMutex);
    if (Device) {
        Device->Reset();
    }
}

bool TWaveControl::AllocateBuffers() {
    Format.SamplesPerSec = SampleRate();
    Format.BlockAlign = static_cast<uint16_t>(Format.BitsPerSample / 8 * Format.Channels);
    Format.AvgBytesPerSec = Format.BlockAlign * Format.SamplesPerSec;
    Format.ExtraSize = 0;
    BufferBytes = DeviceBufferBytes(Format.SamplesPerSec, Format.BlockAlign, PageSize());
    BuffersReady = true;
    for (TWaveHeader& header : Headers) {
        header.Clear();
        header.BufferLength = BufferBytes;
        header.Data = AllocatePages(BufferBytes);
        BuffersReady = BuffersReady && header.Data != nullptr;
    }
    return BuffersReady;
}

void TWaveControl::FreeBuffers() {
    {
        // After the close: the unprepare calls may fail, the memory goes regardless.
        std::lock_guard<std::mutex> lock(DeviceMutex);
        if (Device) {
            for (TWaveHeader& header : Headers) {
                if (header.Data != nullptr) {
                    Device->UnprepareHeader(header);
                }
            }
        }
    }
    ReleaseMemory();
}

void TWaveControl::ReleaseMemory() {
    for (TWaveHeader& header : Headers) {
        FreePages(header.Data, header.BufferLength);
        header.Clear();
    }
    BuffersReady = false;
}

void TWaveControl::ReleaseDevice() {
    std::lock_guard<std::mutex> lock(DeviceMutex);
    Device.reset();
}

}  // namespace tavrin
