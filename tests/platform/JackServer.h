#pragma once

// A JACK server of the test's own, on JACK's dummy driver: real-time pacing with no sound card.

#include <sys/types.h>

#include <string>

namespace tavrin::test {

class TJackServer {
  public:
    static constexpr int kRate = 48000;

    // Starts `jackd` under a name no other test process uses and makes it this process's default
    // server (JACK_DEFAULT_SERVER), so that PortAudio, initialised afterwards, connects to it.
    // The server dies with the test process, even when the process crashes.
    TJackServer();
    ~TJackServer();
    TJackServer(const TJackServer&) = delete;
    TJackServer& operator=(const TJackServer&) = delete;

    bool Running() const { return Pid > 0; }
    // Why the server is not running.
    const std::string& Failure() const { return Why; }

    // Ends the server with `signal` and waits for it to be gone. The entry a killed server
    // leaves in JACK's table is freed only when this object is destroyed, so that what the
    // test does right after the kill happens while no server runs at all.
    void Kill(int signal);

    // Stops the server's process (SIGSTOP): it is there but answers nobody, as a server that
    // hangs. Thaw lets it go on; Kill and the destructor thaw it as well.
    void Freeze();
    void Thaw();

    // Feeds each output port of `client` to its input port of the same number, and nothing
    // else to those inputs. False with the reason in `why` when it could not.
    bool ConnectLoopback(const std::string& client, std::string& why) const;

  private:
    explicit TJackServer(std::string name);
    // Frees what the servers of crashed test processes hold; returns this process's name.
    static std::string ReclaimOrphans();
    bool WaitUntilReady();
    void Reclaim();
    void RemoveLeftovers() const;
    // What jackd printed; removed with the server.
    std::string LogPath() const;

    std::string Name;
    pid_t Pid = -1;
    bool Ready = false;         // it answered once
    bool NeedsReclaim = false;  // killed after it answered
    std::string Why;
};

}  // namespace tavrin::test
