#pragma once

// Serves a running session on the main thread: deliveries, device errors and the user's stop
// request, with a limit on the wait for each step so that a silent device cannot hang a script.

#include <functional>
#include <string>

namespace tavrin {
class TMeasurementSession;
class TStopSignal;
}  // namespace tavrin

namespace tavrin::cli {

class TCliEnvironment;

// Before the session's Open: what Open has to say (files it cannot use, files another program
// holds) goes to stderr, one line each; the command goes on.
void TellOpenOnStderr(TMeasurementSession& session);

class TCliRun {
  public:
    // Takes over the session's OnError. All three outlive the run.
    TCliRun(TCliEnvironment& environment, TMeasurementSession& session, const TStopSignal& stop);

    // Serves the session until `done` holds (true) or the user asks to stop (false). A device
    // error, or nothing done within `audioSeconds` of the audio's time plus a grace for a slow
    // machine, stops the session and throws ECliError.
    bool ServeUntil(const std::function<bool()>& done, double audioSeconds);
    // Starts the session's run; throws ECliError with the device's message when it cannot.
    void Start();
    // Stops the run as the window's Stop does and waits for both threads to be idle; throws
    // ECliError when one did not stop.
    void Stop();

  private:
    [[noreturn]] void Fail(const std::string& text);

    TCliEnvironment& Environment;
    TMeasurementSession& Session;
    const TStopSignal& StopSignal;
    std::string Error;
};

}  // namespace tavrin::cli
