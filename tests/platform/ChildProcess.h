#pragma once

// Runs a piece of a test in a child process: for what may hang (it is killed at its time limit)
// and for what must be killed on purpose.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>

namespace tavrin::test {

// Forks and runs `body` in the child, whose exit status is what `body` returns.
inline pid_t StartChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(body());
    }
    return child;
}

// The child's exit status, or nullopt when it was killed or did not end within `limit` (it is
// killed then).
inline std::optional<int> WaitForChild(pid_t child, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
}

inline std::optional<int> RunInChild(const std::function<int()>& body,
                                     std::chrono::milliseconds limit) {
    const pid_t child = StartChild(body);
    return child > 0 ? WaitForChild(child, limit) : std::nullopt;
}

}  // namespace tavrin::test
