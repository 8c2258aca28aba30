#include "uProgramFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "uWindowsText.h"
#else
#include <unistd.h>
#endif

namespace tavrin {
namespace {

constexpr std::string_view kFolderName = "tavrin";

#ifdef _WIN32
constexpr char kSeparator = '\\';

bool Absolute(const std::string& path) {
    return path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

bool Under(const std::string& folder, const std::optional<std::string>& root) {
    if (!root || root->empty() || folder.size() < root->size()) {
        return false;
    }
    // Windows paths compare without regard to case.
    const std::wstring head = WideFromUtf8(folder.substr(0, root->size()));
    const std::wstring wideRoot = WideFromUtf8(*root);
    return CompareStringOrdinal(head.c_str(), -1, wideRoot.c_str(), -1, TRUE) == CSTR_EQUAL &&
           (folder.size() == root->size() || folder[root->size()] == '\\' ||
            folder[root->size()] == '/');
}

// Program Files is the system's even for an administrator, who could write there.
bool SystemFolder(const std::string& folder, const TEnvironmentLookup& environment) {
    return Under(folder, environment("ProgramFiles")) ||
           Under(folder, environment("ProgramFiles(x86)")) ||
           Under(folder, environment("SystemRoot"));
}

std::optional<std::string> UserConfigurationBase(const TEnvironmentLookup& environment) {
    const std::optional<std::string> appData = environment("APPDATA");
    if (appData && Absolute(*appData)) {
        return appData;
    }
    return std::nullopt;
}
#else
constexpr char kSeparator = '/';

bool Absolute(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

// The folders a package manager owns: root could write there, but nothing of a user's belongs
// in them.
bool SystemFolder(const std::string& folder, const TEnvironmentLookup& /*environment*/) {
    for (const std::string_view system : {"/usr", "/bin", "/sbin", "/lib", "/etc"}) {
        if (folder == system || (folder.starts_with(system) && folder[system.size()] == '/')) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> UserConfigurationBase(const TEnvironmentLookup& environment) {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG base directory rules say.
    const std::optional<std::string> xdg = environment("XDG_CONFIG_HOME");
    if (xdg && Absolute(*xdg)) {
        return xdg;
    }
    const std::optional<std::string> home = environment("HOME");
    if (home && Absolute(*home)) {
        return InFolder(*home, ".config");
    }
    return std::nullopt;
}
#endif

}  // namespace

std::optional<std::string> SystemEnvironment(const char* name) {
#ifdef _WIN32
    // The wide environment, so that a user name outside the code page survives.
    const std::wstring wideName = WideFromUtf8(name);
    const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) {
        return std::nullopt;
    }
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    value.resize(length);
    return Utf8FromWide(value.c_str());
#else
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
#endif
}

std::string InFolder(const std::string& folder, std::string_view name) {
    if (folder.empty()) {
        return std::string(name);
    }
    std::string path = folder;
    if (path.back() != '/' && path.back() != kSeparator) {
        path += kSeparator;
    }
    path.append(name);
    return path;
}

std::string ChooseProgramFolder(const std::string& executableFolder, bool writable,
                                const TEnvironmentLookup& environment) {
    if (executableFolder.empty() || (writable && !SystemFolder(executableFolder, environment))) {
        return executableFolder;
    }
    const std::optional<std::string> base = UserConfigurationBase(environment);
    return base ? InFolder(*base, kFolderName) : executableFolder;
}

bool FolderWritable(const std::string& folder) {
#ifdef _WIN32
    // Permissions on Windows are lists that only an attempt reads right: a file that vanishes
    // when closed.
    const std::wstring probe = WideFromUtf8(InFolder(folder, ".tavrin-write-probe"));
    const HANDLE file = CreateFileW(
        probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
#else
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
#endif
}

std::string ProgramFolder(const std::string& executablePath,
                          const TEnvironmentLookup& environment) {
    const size_t separator = executablePath.find_last_of(kSeparator == '/' ? "/" : "/\\");
    if (separator == std::string::npos) {
        return {};
    }
    const std::string executableFolder =
        separator == 0 ? executablePath.substr(0, 1) : executablePath.substr(0, separator);
    const std::string folder =
        ChooseProgramFolder(executableFolder, FolderWritable(executableFolder), environment);
    if (folder != executableFolder) {
        std::error_code error;
        const std::filesystem::path path(std::u8string(folder.begin(), folder.end()));
        if (std::filesystem::create_directories(path, error)) {
            std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, error);
        }
    }
    return folder;
}

}  // namespace tavrin
