#pragma once

// PortAudio itself, once per process: start-up, shut-down at exit, and the rules every call into
// it follows. Used by the PortAudio backend only.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace tavrin {

class TPortAudioLibrary {
  public:
    // Initialises PortAudio on the first call; it is terminated when the process exits.
    static TPortAudioLibrary& Instance();

    TPortAudioLibrary(const TPortAudioLibrary&) = delete;
    TPortAudioLibrary& operator=(const TPortAudioLibrary&) = delete;

    // False when PortAudio could not be initialised: the backend then offers no device.
    bool Ready() const { return Initialised; }

    // Held around every PortAudio call outside the stream callbacks. PortAudio keeps process-wide
    // lists of streams that concurrent calls (the capture and playback threads closing their
    // devices at once) would corrupt. While it is held, the library's own diagnostics on stderr
    // are discarded, so that a user who starts the program from a terminal sees only ours.
    class TCall {
      public:
        TCall();
        ~TCall();
        TCall(const TCall&) = delete;
        TCall& operator=(const TCall&) = delete;

      private:
        std::unique_lock<std::mutex> Lock;
        int SavedStderr = -1;
    };

    // True once the JACK server PortAudio connected to at start-up has gone. From then on no JACK
    // stream may be opened, started or closed, and PortAudio may not be terminated: its JACK code
    // aborts the process when it tears down what it had registered with a dead server.
    bool JackGone() const { return JackServerGone.load(std::memory_order_acquire); }

    // Keeps what a stream's callback points to alive for the rest of the process instead of
    // closing the stream (a JACK stream whose server died or froze), and keeps PortAudio from
    // being terminated at exit, which would try to close the stream.
    void Abandon(std::shared_ptr<void> callbackTarget);

  private:
    TPortAudioLibrary();
    ~TPortAudioLibrary();

    void WatchJackServer();

    static std::mutex CallMutex;
    bool Initialised = false;
    std::atomic<bool> JackServerGone{false};
    void* JackWatch = nullptr;  // a client of our own that hears of the server's end
    std::atomic<bool> Abandoned{false};
};

}  // namespace tavrin
