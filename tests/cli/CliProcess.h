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
    // SIGINT is sent as Ctrl-Break on Windows, which has no signals between processes.
    void Signal(int signal);
    std::string Out() const;

  private:
    std::string OutPath;
    std::string ErrPath;
    pid_t Pid = -1;
#ifdef _WIN32
    void* Process = nullptr;  // the child's handle
#endif
};

// Whether Signal(SIGINT) can reach a child here.
bool InterruptsReachChildren();

// The whole content of a file; empty when it cannot be read.
std::string FileContents(const std::string& path);

// Runs the program to its end (at most a minute).
TCliOutcome RunCli(const std::string& folder, const std::vector<std::string>& arguments,
                   const std::string& box);

}  // namespace tavrin::testing
