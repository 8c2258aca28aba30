#pragma once

// tavrin-cli as a user runs it: a child process with its own environment, its output in files.

#include <sys/types.h>

#include <string>
#include <vector>

namespace tavrin::testing {

struct TCliOutcome {
    int Status = -1;  // exit status, or -1 when it did not exit normally
    std::string Out;
    std::string Err;
    std::vector<std::string> OutLines() const;
    std::vector<std::string> ErrLines() const;
};

class TCliProcess {
  public:
    // Starts the program with `arguments` in `folder`, TAVRIN_VIRTUAL_BOX set to `box`.
    TCliProcess(const std::string& folder, const std::vector<std::string>& arguments,
                const std::string& box);
    ~TCliProcess();

    // Waits at most `timeoutMs` for the program to end; kills it if it did not.
    TCliOutcome Wait(int timeoutMs);
    // Waits until stdout holds `lines` lines; false after `timeoutMs`.
    bool WaitForLines(size_t lines, int timeoutMs);
    void Signal(int signal);
    std::string Out() const;

  private:
    std::string OutPath;
    std::string ErrPath;
    pid_t Pid = -1;
};

// Runs the program to its end (at most a minute).
TCliOutcome RunCli(const std::string& folder, const std::vector<std::string>& arguments,
                   const std::string& box);

}  // namespace tavrin::testing
