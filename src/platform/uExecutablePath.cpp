#include "uExecutablePath.h"

#include <unistd.h>

#include <vector>

namespace tavrin {

std::string ExecutablePath(std::string_view selfLink) {
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
}

std::string WithExtension(std::string_view path, std::string_view extension) {
    const size_t nameStart = path.rfind('/') == std::string_view::npos ? 0 : path.rfind('/') + 1;
    const size_t dot = path.rfind('.');
    // A leading dot names a hidden file rather than starting an extension.
    const bool hasExtension = dot != std::string_view::npos && dot > nameStart;
    std::string result(hasExtension ? path.substr(0, dot) : path);
    result.append(extension);
    return result;
}

std::string ProgramFilePath(std::string_view extension, std::string_view selfLink) {
    // Without /proc the files go to the current folder rather than nowhere: a settings file
    // that can never be written would keep the window from closing.
    const std::string executable = ExecutablePath(selfLink);
    return WithExtension(executable.empty() ? "tavrin" : executable, extension);
}

}  // namespace tavrin
