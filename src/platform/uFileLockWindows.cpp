// The Windows side of uFileLock.h: a byte-range lock, which the system lets go of when the
// holder's process ends, however it ends.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "uFileLock.h"
#include "uFileOpen.h"
#include "uWindowsText.h"

namespace tavrin {

TFileLock::TFileLock(std::string path) : LockPath(std::move(path)) {}

TFileLock::~TFileLock() {
    if (Fd >= 0) {
        ::_close(Fd);
        // Fails, leaving the file, when another process has it open: it may be locking it now.
        DeleteFileW(WideFromUtf8(LockPath).c_str());
    }
}

TFileLock::TResult TFileLock::TryLock() {
    if (Fd >= 0) {
        return TResult::Held;
    }
    const int fd = OpenFileDescriptor(LockPath, O_RDWR | O_CREAT);
    if (fd < 0) {
        return TResult::Unavailable;
    }
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    OVERLAPPED whole{};
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) {
        const bool busy = GetLastError() == ERROR_LOCK_VIOLATION;
        ::_close(fd);
        return busy ? TResult::HeldElsewhere : TResult::Unavailable;
    }
    Fd = fd;
    return TResult::Held;
}

}  // namespace tavrin
