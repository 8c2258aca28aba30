// The Windows side of uFileReplace.h: the same promises through the system's own file API.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "uFileReplace.h"
#include "uTemporaryName.h"
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

TFileBytes ReadWholeFile(const std::string& path, size_t limit) {
    TFileBytes result;
    const auto failed = [&result](TFileBytes::TStatus status) {
        result.Status = status;
        result.Error = status == TFileBytes::TStatus::Unreadable ? EACCES : 0;
        result.Bytes.clear();
        return result;
    };
    const std::wstring wide = WideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return failed(Missing(GetLastError()) ? TFileBytes::TStatus::Missing
                                              : TFileBytes::TStatus::Unreadable);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return failed(TFileBytes::TStatus::NotRegular);
    }
    THandle file(CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return failed(Missing(GetLastError()) ? TFileBytes::TStatus::Missing
                                              : TFileBytes::TStatus::Unreadable);
    }
    // A pipe or a device at the path would block or never end.
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return failed(TFileBytes::TStatus::NotRegular);
    }
    char buffer[65536];
    while (result.Bytes.size() < limit) {
        const auto wanted =
            static_cast<DWORD>(std::min(sizeof buffer, limit - result.Bytes.size()));
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer, wanted, &got, nullptr)) {
            return failed(TFileBytes::TStatus::Unreadable);
        }
        if (got == 0) {
            break;
        }
        result.Bytes.append(buffer, got);
    }
    result.Status = TFileBytes::TStatus::Read;
    return result;
}

// Whether the file at `target` may be replaced as it stands; `exists` tells whether it is there.
// Opening for writing asks what an in-place write would: a read-only file, a folder or a file
// another program holds refuse the change here, as they would on Linux.
bool MayReplace(const std::wstring& target, bool& exists) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists) {
        return Missing(GetLastError());
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    THandle probe(CreateFileW(target.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe.Valid()) {
        return false;
    }
    return GetFileType(probe.Get()) == FILE_TYPE_DISK;
}

bool ReplaceFileContents(const std::string& path, std::string_view data) {
    const std::wstring target = WideFromUtf8(path);
    bool exists = false;
    if (!MayReplace(target, exists)) {
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

bool CanReplaceFile(const std::string& path) {
    bool exists = false;
    if (!MayReplace(WideFromUtf8(path), exists)) {
        return false;
    }
    std::wstring tempPath;
    THandle temp(CreateTemporary(path, tempPath));
    if (!temp.Valid()) {
        return false;
    }
    temp.Close();
    DeleteFileW(tempPath.c_str());
    return true;
}

int RemoveStaleTemporaries(const std::string& path,
                           std::chrono::system_clock::time_point olderThan) {
    const size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // FILETIME counts 100 ns from 1601; the system clock counts from 1970.
    constexpr int64_t kEpochOffset = 116444736000000000;
    const int64_t limit =
        std::chrono::duration_cast<std::chrono::nanoseconds>(olderThan.time_since_epoch()).count() /
            100 +
        kEpochOffset;
    WIN32_FIND_DATAW entry;
    const std::wstring pattern = WideFromUtf8(folder + "." + name + ".*.tmp");
    const HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int removed = 0;
    do {
        const std::string found = Utf8FromWide(entry.cFileName);
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !IsTemporaryName(found, name)) {
            continue;
        }
        const int64_t written = (static_cast<int64_t>(entry.ftLastWriteTime.dwHighDateTime) << 32) |
                                entry.ftLastWriteTime.dwLowDateTime;
        if (written < limit && DeleteFileW(WideFromUtf8(folder + found).c_str())) {
            ++removed;
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return removed;
}

}  // namespace tavrin
