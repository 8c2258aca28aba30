#include "uPortAudioLibrary.h"

#include <portaudio.h>

#include <cstdio>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <unistd.h>
#define TAVRIN_MUTE_STDERR 1
#endif
#ifdef TAVRIN_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif
#ifdef TAVRIN_HAVE_JACK
#include <jack/jack.h>
#include <pa_jack.h>
#endif

namespace tavrin {

namespace {

#ifdef TAVRIN_HAVE_ALSA
void DiscardAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
#endif
#ifdef TAVRIN_HAVE_JACK
void DiscardJackMessage(const char*) {}

void OnJackShutdown(void* gone) {
    static_cast<std::atomic<bool>*>(gone)->store(true, std::memory_order_release);
}
#endif

// What abandoned streams' callbacks point to. Reachable from a global for the whole run, so that
// leak checkers do not count it: it is kept on purpose.
std::vector<std::shared_ptr<void>>* AbandonedTargets = nullptr;

// Points stderr at /dev/null while PortAudio works; a caller that stops waiting for a hung call
// gives it back at once, and the call's own end then finds nothing left to do.
class TStderrSilence {
  public:
    void Begin() {
#ifdef TAVRIN_MUTE_STDERR
        std::lock_guard<std::mutex> lock(Mutex);
        std::fflush(stderr);
        Saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (Saved >= 0 && null >= 0) {
            dup2(null, STDERR_FILENO);
        }
        if (null >= 0) {
            close(null);
        }
#endif
    }
    void End() {
#ifdef TAVRIN_MUTE_STDERR
        std::lock_guard<std::mutex> lock(Mutex);
        if (Saved >= 0) {
            std::fflush(stderr);
            dup2(Saved, STDERR_FILENO);
            close(Saved);
            Saved = -1;
        }
#endif
    }

  private:
    std::mutex Mutex;
    int Saved = -1;
};

// Never destroyed: a hung call may end after the program's static objects are gone.
TStderrSilence& Silence() {
    static TStderrSilence* silence = new TStderrSilence();
    return *silence;
}

}  // namespace

TPortAudioLibrary& TPortAudioLibrary::Instance() {
    static TPortAudioLibrary library;
    return library;
}

TPortAudioLibrary::TPortAudioLibrary() {
    // The audio libraries report what they probe and fail to find (cards, servers) on stderr;
    // the program has its own way of telling the user that a device cannot be opened.
#ifdef TAVRIN_HAVE_ALSA
    snd_lib_error_set_handler(DiscardAlsaMessage);
#endif
#ifdef TAVRIN_HAVE_JACK
    jack_set_error_function(DiscardJackMessage);
    jack_set_info_function(DiscardJackMessage);
    PaJack_SetClientName("Tavrin");
#endif
    Call(
        [this] {
            Initialised = Pa_Initialize() == paNoError;
            if (Initialised) {
                WatchJackServer();
            }
        },
        std::chrono::milliseconds::max());
}

TPortAudioLibrary::~TPortAudioLibrary() {
    if (!Initialised || Abandoned.load(std::memory_order_acquire) || JackGone() ||
        Caller.Jammed()) {
        return;
    }
    Call([watch = JackWatch] {
        Pa_Terminate();
#ifdef TAVRIN_HAVE_JACK
        if (watch != nullptr) {
            jack_client_close(static_cast<jack_client_t*>(watch));
        }
#else
        (void)watch;
#endif
    });
}

bool TPortAudioLibrary::Call(const std::function<void()>& call, std::chrono::milliseconds limit,
                             std::function<void()> late) {
    const bool done = Caller.Run(
        [call] {
            Silence().Begin();
            call();
            Silence().End();
        },
        limit, std::move(late));
    if (!done) {
        Silence().End();
    }
    return done;
}

void TPortAudioLibrary::WatchJackServer() {
#ifdef TAVRIN_HAVE_JACK
    if (Pa_HostApiTypeIdToHostApiIndex(paJACK) < 0) {
        return;  // PortAudio found no server: nothing of JACK's to look after
    }
    jack_status_t status{};
    auto* client = jack_client_open("Tavrin watch", JackNoStartServer, &status);
    if (client == nullptr) {
        JackServerGone.store(true, std::memory_order_release);
        return;
    }
    jack_on_shutdown(client, OnJackShutdown, &JackServerGone);
    JackWatch = client;
#endif
}

void TPortAudioLibrary::Abandon(std::shared_ptr<void> callbackTarget) {
    std::lock_guard<std::mutex> lock(AbandonMutex);
    if (AbandonedTargets == nullptr) {
        AbandonedTargets = new std::vector<std::shared_ptr<void>>();
    }
    AbandonedTargets->push_back(std::move(callbackTarget));
    Abandoned.store(true, std::memory_order_release);
}

}  // namespace tavrin
