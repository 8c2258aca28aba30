#include "CliProcess.h"

#ifndef _WIN32
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#endif

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef _WIN32
extern char** environ;
#endif

namespace tavrin::testing {
namespace {

// Windows programs end their text lines with CR LF.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

std::string FileContents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> TCliOutcome::OutLines() const {
    return SplitLines(Out);
}

std::vector<std::string> TCliOutcome::ErrLines() const {
    return SplitLines(Err);
}

#ifndef _WIN32
// The Windows side is in CliProcessWindows.cpp.
TCliProcess::TCliProcess(const std::string& folder, const std::vector<std::string>& arguments,
                         const std::string& box) {
    static int serial = 0;
    const std::string stem = folder + "/cli-" + std::to_string(serial++);
    OutPath = stem + ".out";
    ErrPath = stem + ".err";

    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string(*entry).rfind("TAVRIN_VIRTUAL_BOX=", 0) != 0) {
            environment.emplace_back(*entry);
        }
    }
    environment.push_back("TAVRIN_VIRTUAL_BOX=" + box);
    std::vector<std::string> argv{TAVRIN_CLI_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argvPointers, envPointers;
    for (std::string& item : argv) {
        argvPointers.push_back(item.data());
    }
    argvPointers.push_back(nullptr);
    for (std::string& item : environment) {
        envPointers.push_back(item.data());
    }
    envPointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, OutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (posix_spawn(&Pid, argvPointers[0], &actions, nullptr, argvPointers.data(),
                    envPointers.data()) != 0) {
        Pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

TCliProcess::~TCliProcess() {
    if (Pid > 0) {
        kill(Pid, SIGKILL);
        waitpid(Pid, nullptr, 0);
    }
}

TCliOutcome TCliProcess::Wait(int timeoutMs) {
    TCliOutcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (Pid > 0) {
        const pid_t done = waitpid(Pid, &status, WNOHANG);
        if (done == Pid) {
            Pid = -1;
            outcome.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
            Pid = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    outcome.Out = FileContents(OutPath);
    outcome.Err = FileContents(ErrPath);
    return outcome;
}

#endif

bool TCliProcess::WaitForLines(size_t lines, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (SplitLines(Out()).size() >= lines) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

#ifndef _WIN32
bool InterruptsReachChildren() {
    return true;
}

void TCliProcess::Signal(int signal) {
    if (Pid > 0) {
        kill(Pid, signal);
    }
}

#endif

std::string TCliProcess::Out() const {
    return FileContents(OutPath);
}

TCliOutcome RunCli(const std::string& folder, const std::vector<std::string>& arguments,
                   const std::string& box) {
    TCliProcess process(folder, arguments, box);
    return process.Wait(60000);
}

}  // namespace tavrin::testing
