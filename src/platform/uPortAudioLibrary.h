#pragma once

// PortAudio itself, once per process: start-up, shut-down at exit, and the rules every call into
// it follows. Used by the PortAudio backend only.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "uBoundedCaller.h"

namespace tavrin {

class TPortAudioLibrary {
  public:
    // Initialises PortAudio on the first call; it is terminated when the process exits.
    static TPortAudioLibrary& Instance();

    TPortAudioLibrary(const TPortAudioLibrary&) = delete;
    TPortAudioLibrary& operator=(const TPortAudioLibrary&) = delete;

    // False when PortAudio could not be initialised: the backend then offers no device.
    bool Ready() const { return Initialised; }

    // How long a device call may keep its caller (the user-interface thread opening a device,
    // a device thread closing one) before it counts as hung.
    static constexpr std::chrono::milliseconds kCallLimit{3000};

    // Every PortAudio call outside the stream callbacks runs through here: one at a time on the
    // library's own thread, because PortAudio keeps process-wide lists of streams that concurrent
    // calls (the capture and playback threads closing their devices at once) would corrupt, and
    // bounded in time, because a sound server that has stopped answering (a JACK server that is
    // frozen) blocks the call inside the library. False when `call` did not run, or did not
    // finish within `limit`; see TBoundedCaller for `late` and for what a hung call does to
    // the calls after it. While a call runs, the library's own diagnostics on stderr are
    // discarded, so that a user who starts the program from a terminal sees only ours (a hung
    // call gives stderr back when its caller stops waiting).
    bool Call(const std::function<void()>& call, std::chrono::milliseconds limit = kCallLimit,
              std::function<void()> late = {});

    // True once the JACK server PortAudio connected to at start-up has gone. From then on no JACK
    // stream may be opened, started or closed, and PortAudio may not be terminated: its JACK code
    // aborts the process when it tears down what it had registered with a dead server.
    bool JackGone() const { return JackServerGone.load(std::memory_order_acquire); }

    // Keeps what a stream's callback points to alive for the rest of the process instead of
    // closing the stream (a JACK stream whose server died or froze), and keeps PortAudio from
    // being terminated at exit, which would try to close the stream. Any thread.
    void Abandon(std::shared_ptr<void> callbackTarget);

  private:
    TPortAudioLibrary();
    ~TPortAudioLibrary();

    void WatchJackServer();

    TBoundedCaller Caller;
    std::mutex AbandonMutex;
    bool Initialised = false;
    std::atomic<bool> JackServerGone{false};
    void* JackWatch = nullptr;  // a client of our own that hears of the server's end
    std::atomic<bool> Abandoned{false};
};

}  // namespace tavrin
