#include "uCliRun.h"

#include <iostream>

#include "uCliEnvironment.h"
#include "uCliError.h"
#include "uMeasurementSession.h"
#include "uStopSignal.h"

namespace tavrin::cli {
namespace {

// What a busy machine may add to a step, on the wall clock.
constexpr double kGraceMs = 20000;

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

}  // namespace

void TellOpenOnStderr(TMeasurementSession& session) {
    const auto tell = [](const std::string& text) {
        std::cerr << "tavrin-cli: " << OneLine(text) << std::endl;
    };
    session.OnError = tell;
    session.OnNotice = tell;
}

TCliRun::TCliRun(TCliEnvironment& environment, TMeasurementSession& session,
                 const TStopSignal& stop)
    : Environment(environment), Session(session), StopSignal(stop) {
    Session.OnError = [this](const std::string& text) {
        if (Error.empty()) {
            Error = OneLine(text);
        }
    };
}

void TCliRun::Start() {
    if (!Session.Start()) {
        Fail(Error.empty() ? "the devices cannot be started" : Error);
    }
}

bool TCliRun::ServeUntil(const std::function<bool()>& done, double audioSeconds) {
    const double limitMs = audioSeconds * 1000.0 / Environment.SpeedUp() + kGraceMs;
    bool finished = false;
    const bool inTime = Environment.Ui().WaitUntil(
        [&] {
            finished = done();
            return finished || StopSignal.Raised() || !Error.empty();
        },
        static_cast<int>(limitMs));
    if (!Error.empty()) {
        Fail(Error);
    }
    if (!inTime) {
        Fail("no result from the input device within " +
             std::to_string(static_cast<int>(limitMs / 1000)) + " s");
    }
    return finished;
}

void TCliRun::Stop() {
    Session.Stop();
    Session.Shutdown();
    if (!Error.empty()) {
        throw ECliError(Error);
    }
}

void TCliRun::Fail(const std::string& text) {
    Session.Stop();
    Session.Shutdown();
    throw ECliError(text);
}

}  // namespace tavrin::cli
