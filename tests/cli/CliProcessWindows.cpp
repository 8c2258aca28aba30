// The Windows side of TCliProcess: CreateProcess with the output in files, the environment
// given as a block, and Ctrl-Break for an interrupt.

#include <windows.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "CliProcess.h"

namespace tavrin::testing {
namespace {

std::wstring Wide(const std::string& text) {
    const int units =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        units);
    return result;
}

// One argument as the C runtime splits a command line: quoted when it holds blanks or quotes,
// backslashes doubled only where a quote follows them.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

HANDLE InheritableFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void EndProcess(void*& process) {
    if (process != nullptr) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, INFINITE);
        CloseHandle(process);
        process = nullptr;
    }
}

}  // namespace

TCliProcess::TCliProcess(const std::string& folder, const std::vector<std::string>& arguments,
                         const std::string& box) {
    static int serial = 0;
    const std::string stem = folder + "/cli-" + std::to_string(serial++);
    OutPath = stem + ".out";
    ErrPath = stem + ".err";

    // The environment block: ours without the box's switches, then the test's.
    std::wstring environment;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
            if (std::wstring_view(entry).rfind(L"TAVRIN_VIRTUAL_BOX=", 0) != 0) {
                environment.append(entry).push_back(L'\0');
            }
        }
        FreeEnvironmentStringsW(block);
    }
    environment.append(Wide("TAVRIN_VIRTUAL_BOX=" + box)).push_back(L'\0');
    environment.push_back(L'\0');

    std::wstring commandLine = Quoted(Wide(TAVRIN_CLI_PATH));
    for (const std::string& argument : arguments) {
        commandLine += L' ' + Quoted(Wide(argument));
    }

    const HANDLE out = InheritableFile(OutPath);
    const HANDLE err = InheritableFile(ErrPath);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION created{};
    // A process group of its own, so that Ctrl-Break reaches the child alone.
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_UNICODE_ENVIRONMENT | CREATE_NEW_PROCESS_GROUP, environment.data(),
                       Wide(folder).c_str(), &startup, &created)) {
        CloseHandle(created.hThread);
        Process = created.hProcess;
        Pid = static_cast<pid_t>(created.dwProcessId);
    }
    CloseHandle(out);
    CloseHandle(err);
}

TCliProcess::~TCliProcess() {
    EndProcess(Process);
}

TCliOutcome TCliProcess::Wait(int timeoutMs) {
    TCliOutcome outcome;
    if (Process != nullptr) {
        if (WaitForSingleObject(Process, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0) {
            DWORD status = 0;
            GetExitCodeProcess(Process, &status);
            outcome.Status = static_cast<int>(status);
            CloseHandle(Process);
            Process = nullptr;
        } else {
            EndProcess(Process);
        }
    }
    outcome.Out = FileContents(OutPath);
    outcome.Err = FileContents(ErrPath);
    return outcome;
}

void TCliProcess::Signal(int signal) {
    if (Process == nullptr) {
        return;
    }
    if (signal == SIGINT) {
        GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(Pid));
    } else {
        EndProcess(Process);
    }
}

bool InterruptsReachChildren() {
    // Ctrl-Break travels through a console the processes share, which Wine does not give a
    // program run without a terminal.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

}  // namespace tavrin::testing
