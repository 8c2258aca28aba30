// The Windows side of uFileReplace.h: the same promises through the system's own file API.

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "uFileReplace.h"
#include "uWindowsText.h"

namespace tavrin {
namespace {

// Closes a handle when it goes out of scope.
class THandle {
  public:
    explicit THandle(HANDLE handle) : Handle(handle) {}
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    ~THandle() {
        if (Valid()) {
            CloseHandle(Handle);
        }
    }
    bool Valid() const { return Handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return Handle; }
    // Closes now, reporting what the close may be the first to see.
    bool Close() {
        const HANDLE handle = Handle;
        Handle = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) != 0;
    }

  private:
    HANDLE Handle;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool Missing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// A new hidden temporary file beside `target`, named after it as on Linux.
HANDLE CreateTemporary(const std::string& target, std::wstring& tempPath) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = target.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = WideFromUtf8(folder + "." + name + "." + std::to_string(GetCurrentProcessId()) +
                                "." + std::to_string(counter++) + ".tmp");
        const HANDLE file = CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

std::optional<std::string> ReadFileIfAny(const std::string& path) {
    const std::wstring wide = WideFromUtf8(path);
    // A folder cannot be opened this way: it counts as unreadable, never as an empty file.
    THandle file(CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return Missing(GetLastError()) ? std::optional<std::string>(std::string()) : std::nullopt;
    }
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) {
            return std::nullopt;
        }
        if (got == 0) {
            return bytes;
        }
        bytes.append(buffer, got);
    }
}

bool ReplaceFileContents(const std::string& path, std::string_view data) {
    const std::wstring target = WideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists) {
        // Opening for writing asks what an in-place write would: a read-only file, a folder or
        // a file another program holds refuse the change here, as they would on Linux.
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return false;
        }
        THandle probe(CreateFileW(target.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!probe.Valid()) {
            return false;
        }
    } else if (!Missing(GetLastError())) {
        return false;
    }

    std::wstring tempPath;
    THandle temp(CreateTemporary(path, tempPath));
    if (!temp.Valid()) {
        return false;
    }
    bool ok = WriteAll(temp.Get(), data) && FlushFileBuffers(temp.Get());
    ok = temp.Close() && ok;
    if (ok) {
        // Replacing keeps the old file's attributes and permissions; the temporary's hidden
        // attribute goes with it.
        ok = exists ? ReplaceFileW(target.c_str(), tempPath.c_str(), nullptr,
                                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                    : MoveFileExW(tempPath.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
        if (ok && !exists) {
            SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
    if (!ok) {
        DeleteFileW(tempPath.c_str());
    }
    return ok;
}

}  // namespace tavrin
