// The Windows side of uFileLock.h: a lock on a file the system lets go of when the process ends.

#include <windows.h>

#include "uFileLock.h"
#include "uWindowsText.h"

namespace tavrin {
namespace {

HANDLE AsHandle(intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

}  // namespace

TFileLock::TFileLock(std::string path) : LockPath(std::move(path)) {}

TFileLock::~TFileLock() {
    if (Fd >= 0) {
        // The file stays behind; closing it lets go of the lock.
        CloseHandle(AsHandle(Handle));
    }
}

TFileLock::TResult TFileLock::TryLock() {
    if (Fd >= 0) {
        return TResult::Held;
    }
    const std::wstring wide = WideFromUtf8(LockPath);
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return TResult::Unavailable;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        return error == ERROR_LOCK_VIOLATION ? TResult::HeldElsewhere : TResult::Unavailable;
    }
    Handle = reinterpret_cast<intptr_t>(file);
    Fd = 0;
    return TResult::Held;
}

}  // namespace tavrin
