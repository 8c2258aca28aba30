#include "JackServer.h"

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <thread>
#include <vector>

namespace tavrin::test {

namespace {

void Discard(const char*) {}

std::string LastLines(const std::string& path) {
    std::ifstream in(path);
    std::deque<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
        if (lines.size() > 8) {
            lines.pop_front();
        }
    }
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}

// The ports of `client` in one direction, in the order of their numbers (in_2 before in_10).
std::vector<std::string> Ports(jack_client_t* jack, const std::string& client,
                               unsigned long flags) {
    std::vector<std::string> names;
    const char** ports =
        jack_get_ports(jack, ("^" + client + ":").c_str(), JACK_DEFAULT_AUDIO_TYPE, flags);
    for (size_t i = 0; ports != nullptr && ports[i] != nullptr; ++i) {
        names.emplace_back(ports[i]);
    }
    jack_free(ports);
    auto number = [](const std::string& port) {
        return std::atoi(port.c_str() + port.find_last_of('_') + 1);
    };
    std::sort(names.begin(), names.end(),
              [&](const std::string& a, const std::string& b) { return number(a) < number(b); });
    return names;
}

constexpr std::string_view kNamePrefix = "tavrin-test-";

// The names of servers whose test process is gone, from the files they left in /dev/shm.
std::vector<std::string> NamesOfOrphanedServers() {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ignored)) {
        const std::string file = entry.path().filename().string();
        const size_t at = file.find(kNamePrefix);
        if (at == std::string::npos) {
            continue;
        }
        const size_t digits = at + kNamePrefix.size();
        const size_t end = file.find_first_not_of("0123456789", digits);
        if (end == digits) {
            continue;
        }
        const std::string name = file.substr(at, end - at);
        const pid_t pid = static_cast<pid_t>(std::atol(name.c_str() + kNamePrefix.size()));
        if (kill(pid, 0) != 0 && errno == ESRCH &&
            std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
    return names;
}

}  // namespace

TJackServer::TJackServer() : TJackServer(ReclaimOrphans()) {
    setenv("JACK_DEFAULT_SERVER", Name.c_str(), 1);
}

std::string TJackServer::ReclaimOrphans() {
    // A test process that crashed took its server with it, and that server's entry in JACK's
    // table of eight stays taken until a server of its name starts: eight crashes on a machine
    // and no server could start at all, on the next CI run too.
    for (const std::string& name : NamesOfOrphanedServers()) {
        TJackServer successor(name);
        successor.Kill(SIGTERM);
    }
    return std::string(kNamePrefix) + std::to_string(getpid());
}

TJackServer::TJackServer(std::string name) : Name(std::move(name)) {
    jack_set_error_function(Discard);
    jack_set_info_function(Discard);
    const std::string rate = std::to_string(kRate);
    const std::string log = LogPath();
    const pid_t child = fork();
    if (child < 0) {
        Why = "cannot fork for jackd";
        return;
    }
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int output = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(output, STDOUT_FILENO);
        dup2(output, STDERR_FILENO);
        execlp("jackd", "jackd", "--no-realtime", "-n", Name.c_str(), "-d", "dummy", "-r",
               rate.c_str(), "-p", "1024", "-C", "2", "-P", "2", nullptr);
        _exit(127);
    }
    Pid = child;
    Ready = WaitUntilReady();
    if (!Ready) {
        Kill(SIGTERM);
    }
}

TJackServer::~TJackServer() {
    Kill(SIGTERM);
    if (NeedsReclaim) {
        Reclaim();
    }
    std::error_code ignored;
    std::filesystem::remove(LogPath(), ignored);
}

bool TJackServer::WaitUntilReady() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(Pid, &status, WNOHANG) == Pid) {
            Pid = -1;
            Why = WIFEXITED(status) && WEXITSTATUS(status) == 127
                      ? "jackd is not installed"
                      : "jackd ended at start-up with status " + std::to_string(status) + ":\n" +
                            LastLines(LogPath());
            return false;
        }
        jack_status_t jackStatus{};
        jack_client_t* probe =
            jack_client_open("tavrin-test-probe", JackOptions(JackNoStartServer | JackServerName),
                             &jackStatus, Name.c_str());
        if (probe != nullptr) {
            jack_client_close(probe);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Why = "jackd did not answer within 10 s:\n" + LastLines(LogPath());
    return false;
}

void TJackServer::Freeze() {
    if (Pid > 0) {
        kill(Pid, SIGSTOP);
    }
}

void TJackServer::Thaw() {
    if (Pid > 0) {
        kill(Pid, SIGCONT);
    }
}

void TJackServer::Kill(int signal) {
    if (Pid <= 0) {
        return;
    }
    kill(Pid, signal);
    kill(Pid, SIGCONT);  // a frozen server would keep its SIGTERM pending
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (waitpid(Pid, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Pid = -1;
    NeedsReclaim = NeedsReclaim || (signal == SIGKILL && Ready);
    RemoveLeftovers();
}

void TJackServer::Reclaim() {
    // JACK registers its servers in a table of eight entries and frees the entry of a killed
    // server only when a server of the same name starts: do so, and stop it properly, so that
    // killed servers do not use up the table for every later test.
    TJackServer successor(Name);
    successor.Kill(SIGTERM);
}

std::string TJackServer::LogPath() const {
    return (std::filesystem::temp_directory_path() / (Name + ".log")).string();
}

void TJackServer::RemoveLeftovers() const {
    // A killed server leaves its named shared-memory files behind.
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ignored)) {
        if (entry.path().filename().string().find("_" + Name + "_") != std::string::npos) {
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }
}

bool TJackServer::ConnectLoopback(const std::string& client, std::string& why) const {
    jack_status_t status{};
    jack_client_t* jack =
        jack_client_open("tavrin-test-patch", JackOptions(JackNoStartServer | JackServerName),
                         &status, Name.c_str());
    if (jack == nullptr) {
        why = "cannot reach the server";
        return false;
    }
    const auto outputs = Ports(jack, client, JackPortIsOutput);
    const auto inputs = Ports(jack, client, JackPortIsInput);
    bool connected = !outputs.empty() && outputs.size() == inputs.size();
    why = connected ? ""
                    : "the client has " + std::to_string(outputs.size()) + " outputs and " +
                          std::to_string(inputs.size()) + " inputs";
    for (size_t i = 0; connected && i < inputs.size(); ++i) {
        jack_port_t* input = jack_port_by_name(jack, inputs[i].c_str());
        const char** sources = jack_port_get_all_connections(jack, input);
        for (size_t j = 0; sources != nullptr && sources[j] != nullptr; ++j) {
            jack_disconnect(jack, sources[j], inputs[i].c_str());
        }
        jack_free(sources);
        connected = jack_connect(jack, outputs[i].c_str(), inputs[i].c_str()) == 0;
        why = connected ? "" : "cannot connect " + outputs[i] + " to " + inputs[i];
    }
    jack_client_close(jack);
    return connected;
}

}  // namespace tavrin::test
