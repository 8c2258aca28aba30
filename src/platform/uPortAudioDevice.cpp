#include "uPortAudioDevice.h"

#include <portaudio.h>

#include <utility>

#include "uPortAudioLibrary.h"

namespace tavrin {

namespace {

// How often the watcher looks at the stream when no buffer comes back.
constexpr std::chrono::milliseconds kWatchPeriod{100};

// PortAudio's real-time thread: hands samples to or from the queued buffers, nothing else.
int MoveSamples(const void* input, void* output, unsigned long frames,
                const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* user) {
    auto& target = *static_cast<TPortAudioStreamTarget*>(user);
    if (input != nullptr) {
        target.Queue.Capture(input, frames);
    }
    if (output != nullptr) {
        target.Queue.Play(output, frames);
    }
    return paContinue;
}

void MarkFinished(void* user) {
    static_cast<TPortAudioStreamTarget*>(user)->Finished.store(true, std::memory_order_release);
}

}  // namespace

TWaveResult TPortAudioDevice::Open(int index, bool capture, bool jack, uint32_t rate,
                                   double latency, TAutoEvent& notify,
                                   std::unique_ptr<TWaveDevice>& device) {
    TPortAudioLibrary& library = TPortAudioLibrary::Instance();
    if (jack && library.JackGone()) {
        return TWaveResult::Error;
    }
    // What the open makes is shared with the call, which may end after we have stopped waiting.
    struct TOpening {
        PaStream* Stream = nullptr;
        TWaveResult Result = TWaveResult::Error;
    };
    auto opening = std::make_shared<TOpening>();
    auto target = std::make_shared<TPortAudioStreamTarget>(capture);
    const PaStreamParameters parameters{index, 2, paInt16, latency, nullptr};
    const bool opened = library.Call(
        [opening, target, parameters, capture, rate] {
            const PaStreamParameters* input = capture ? &parameters : nullptr;
            const PaStreamParameters* output = capture ? nullptr : &parameters;
            if (Pa_IsFormatSupported(input, output, rate) != paFormatIsSupported) {
                opening->Result = TWaveResult::BadFormat;
                return;
            }
            // Without dither a host that works in a wider format (24-bit cards, JACK's floats)
            // hands over the plain 16-bit value; dither would add noise to every captured sample.
            PaStream* stream = nullptr;
            if (Pa_OpenStream(&stream, input, output, rate, paFramesPerBufferUnspecified,
                              paDitherOff, MoveSamples, target.get()) != paNoError) {
                return;
            }
            // PortAudio accepts a rate within 1 % of the one asked for; a measurement needs it
            // exact.
            const PaStreamInfo* info = Pa_GetStreamInfo(stream);
            if (info == nullptr || info->sampleRate != static_cast<double>(rate)) {
                Pa_CloseStream(stream);
                opening->Result = TWaveResult::BadFormat;
                return;
            }
            Pa_SetStreamFinishedCallback(stream, MarkFinished);
            opening->Stream = stream;
            opening->Result = TWaveResult::Ok;
        },
        TPortAudioLibrary::kCallLimit,
        // An open that answers after its caller gave up made a stream for nobody. A JACK server
        // that has just come back may have thrown our client out, and closing a stream then
        // aborts the process: that stream is left alone.
        [opening, target, jack, &library] {
            if (opening->Stream == nullptr) {
                return;
            }
            if (jack) {
                library.Abandon(target);
            } else {
                Pa_CloseStream(opening->Stream);
            }
        });
    if (!opened || opening->Result != TWaveResult::Ok) {
        return opened ? opening->Result : TWaveResult::Error;
    }
    device = std::make_unique<TPortAudioDevice>(opening->Stream, std::move(target), capture, jack,
                                                notify);
    notify.Signal();
    return TWaveResult::Ok;
}

TPortAudioDevice::TPortAudioDevice(void* stream, std::shared_ptr<TPortAudioStreamTarget> target,
                                   bool capture, bool jack, TAutoEvent& notify)
    : Stream(stream),
      Target(std::move(target)),
      Buffers(Target->Queue),
      IsCapture(capture),
      IsJack(jack),
      Notify(notify),
      Watcher([this] { Watch(); }) {}

TPortAudioDevice::~TPortAudioDevice() {
    if (!IsOpen) {
        return;
    }
    // Closed without Close: the owner's headers may be gone, so none is touched.
    StopWatching();
    Buffers.Detach();
    CloseStream();
}

TWaveResult TPortAudioDevice::PrepareHeader(TWaveHeader& header) {
    if (!IsOpen) {
        return TWaveResult::NotOpen;
    }
    header.Flags.fetch_or(kHeaderPrepared, std::memory_order_relaxed);
    return TWaveResult::Ok;
}

TWaveResult TPortAudioDevice::UnprepareHeader(TWaveHeader& header) {
    if (header.InQueue()) {
        return TWaveResult::StillQueued;
    }
    header.Flags.fetch_and(~kHeaderPrepared, std::memory_order_relaxed);
    return TWaveResult::Ok;
}

TWaveResult TPortAudioDevice::Queue(TWaveHeader& header) {
    if (!IsOpen) {
        return TWaveResult::NotOpen;
    }
    const uint32_t flags = header.Flags.load(std::memory_order_acquire);
    if ((flags & kHeaderPrepared) == 0) {
        return TWaveResult::Unprepared;
    }
    if ((flags & kHeaderInQueue) != 0 || !Buffers.Add(header)) {
        return TWaveResult::Error;
    }
    if (!IsCapture) {
        StartStream();  // the first write starts playback
    }
    return TWaveResult::Ok;
}

TWaveResult TPortAudioDevice::Start() {
    if (!IsOpen) {
        return TWaveResult::NotOpen;
    }
    if (IsCapture) {
        Buffers.SetCapturing(true);
        StartStream();
    }
    return TWaveResult::Ok;
}

TWaveResult TPortAudioDevice::Stop() {
    if (!IsOpen) {
        return TWaveResult::NotOpen;
    }
    if (IsCapture && Buffers.ReturnFilling() > 0) {
        Notify.Signal();
    }
    return TWaveResult::Ok;
}

TWaveResult TPortAudioDevice::Reset() {
    if (!IsOpen) {
        return TWaveResult::NotOpen;
    }
    Buffers.ReturnAll();
    // Also when nothing was queued: a device thread that asked for the reset while it held every
    // buffer itself still wakes up to close the device.
    Notify.Signal();
    return TWaveResult::Ok;
}

TWaveResult TPortAudioDevice::Close() {
    if (!IsOpen) {
        return TWaveResult::NotOpen;
    }
    if (!Buffers.Empty()) {
        return TWaveResult::StillQueued;
    }
    StopWatching();
    Buffers.Shut();
    CloseStream();
    IsOpen = false;
    Notify.Signal();
    return TWaveResult::Ok;
}

void TPortAudioDevice::StartStream() {
    if (Started.load(std::memory_order_relaxed) || Lost.load(std::memory_order_acquire)) {
        return;
    }
    TPortAudioLibrary& library = TPortAudioLibrary::Instance();
    auto started = std::make_shared<std::atomic<bool>>(false);
    if (!(IsJack && library.JackGone())) {
        // A start that does not answer in time counts as a failed one: the stream is lost.
        library.Call([started, stream = Stream] {
            started->store(Pa_StartStream(stream) == paNoError, std::memory_order_release);
        });
    }
    if (started->load(std::memory_order_acquire)) {
        Started.store(true, std::memory_order_release);
    } else {
        GiveUp();
    }
}

void TPortAudioDevice::GiveUp() {
    Lost.store(true, std::memory_order_release);
    Buffers.Shut();
    // Also when no buffer was queued: the device thread learns of the failure from this.
    Notify.Signal();
}

void TPortAudioDevice::Watch() {
    while (!Ending.load(std::memory_order_acquire)) {
        if (Buffers.WaitForReturns(kWatchPeriod) && !Ending.load(std::memory_order_acquire)) {
            Notify.Signal();
        }
        if (!Lost.load(std::memory_order_acquire) && StreamDead(std::chrono::steady_clock::now())) {
            GiveUp();
        }
    }
}

bool TPortAudioDevice::StreamDead(std::chrono::steady_clock::time_point now) {
    if (!Started.load(std::memory_order_acquire)) {
        return false;
    }
    const uint64_t calls = Buffers.StreamCalls();
    if (!SawStart || calls != LastCalls) {
        SawStart = true;
        LastCalls = calls;
        LastProgress = now;
    }
    return Target->Finished.load(std::memory_order_acquire) ||
           (IsJack && TPortAudioLibrary::Instance().JackGone()) || now - LastProgress > kStallLimit;
}

void TPortAudioDevice::StopWatching() {
    Ending.store(true, std::memory_order_release);
    Buffers.Wake();
    if (Watcher.joinable()) {
        Watcher.join();
    }
}

bool TPortAudioDevice::StreamAnswers() const {
    const uint64_t calls = Buffers.StreamCalls();
    const auto deadline = std::chrono::steady_clock::now() + kAnswerLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (Buffers.StreamCalls() != calls) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void TPortAudioDevice::CloseStream() {
    TPortAudioLibrary& library = TPortAudioLibrary::Instance();
    void* const stream = std::exchange(Stream, nullptr);
    // A JACK stream whose server has gone (or stopped answering) cannot be closed: PortAudio would
    // wait for the server and, once it is back, abort the process if the server has thrown our
    // client out meanwhile. Its callback must find its target for as long as the process runs.
    if (IsJack && (library.JackGone() || Lost.load(std::memory_order_acquire) ||
                   (Started.load(std::memory_order_acquire) && !StreamAnswers()))) {
        library.Abandon(Target);
        return;
    }
    const bool closed =
        library.Call([stream, target = Target, jack = IsJack, started = Started.load(), &library] {
            if (jack && started && Pa_IsStreamActive(stream) != 1) {
                library.Abandon(target);
            } else {
                Pa_CloseStream(stream);
            }
        });
    if (!closed) {
        // Not closed in time, or never: the stream is left as a dead one is.
        library.Abandon(Target);
    }
}

}  // namespace tavrin
