#include "uExecutablePath.h"

#include <vector>

#include "uProgramFolder.h"

#ifdef _WIN32
#include <windows.h>

#include "uWindowsText.h"
#else
#include <unistd.h>
#endif

namespace tavrin {
namespace {

#ifdef _WIN32
constexpr std::string_view kSeparators = "/\\";

std::string ExecutableFromSystem() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return Utf8FromWide(std::wstring_view(buffer.data(), length));
        }
        buffer.resize(buffer.size() * 2);  // cut to the buffer: try a larger one
    }
}
#else
constexpr std::string_view kSeparators = "/";
#endif

std::string ExecutableFromLink(std::string_view selfLink) {
#ifdef _WIN32
    (void)selfLink;
    return {};
#else
    const std::string link(selfLink);
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = ::readlink(link.c_str(), buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            std::string path(buffer.data(), static_cast<size_t>(length));
            constexpr std::string_view kDeleted = " (deleted)";
            if (path.size() > kDeleted.size() && path.ends_with(kDeleted)) {
                path.resize(path.size() - kDeleted.size());
            }
            return path;
        }
        buffer.resize(buffer.size() * 2);  // the result may have been cut: try a larger buffer
    }
#endif
}

}  // namespace

std::string ExecutablePath(std::string_view selfLink) {
#ifdef _WIN32
    if (selfLink == kSelfExeLink) {
        return ExecutableFromSystem();
    }
#endif
    return ExecutableFromLink(selfLink);
}

std::string WithExtension(std::string_view path, std::string_view extension) {
    const size_t separator = path.find_last_of(kSeparators);
    const size_t nameStart = separator == std::string_view::npos ? 0 : separator + 1;
    const size_t dot = path.rfind('.');
    // A leading dot names a hidden file rather than starting an extension.
    const bool hasExtension = dot != std::string_view::npos && dot > nameStart;
    std::string result(hasExtension ? path.substr(0, dot) : path);
    result.append(extension);
    return result;
}

std::string ProgramFilePath(std::string_view extension, std::string_view selfLink) {
    // Without the executable's path the files go to the current folder rather than nowhere: a
    // settings file that can never be written would keep the window from closing.
    const std::string executable = ExecutablePath(selfLink);
    if (executable.empty()) {
        return WithExtension("tavrin", extension);
    }
    const size_t separator = executable.find_last_of(kSeparators);
    const std::string name =
        separator == std::string::npos ? executable : executable.substr(separator + 1);
    return WithExtension(InFolder(ProgramFolder(executable), name), extension);
}

}  // namespace tavrin
