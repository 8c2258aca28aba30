#include "uFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tavrin {

TFileLock::TFileLock(std::string path) : LockPath(std::move(path)) {}

TFileLock::~TFileLock() {
    if (Fd >= 0) {
        // Removed while still held: whoever opens the name afterwards gets a new file, and
        // TryLock sees that a file it locked has gone from the name.
        ::unlink(LockPath.c_str());
        ::close(Fd);
    }
}

TFileLock::TResult TFileLock::TryLock() {
    if (Fd >= 0) {
        return TResult::Held;
    }
    // A holder may remove the file between our open and our lock; a few rounds settle it.
    for (int attempt = 0; attempt < 10; ++attempt) {
        int fd;
        do {
            fd = ::open(LockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            return TResult::Unavailable;
        }
        int locked;
        do {
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            const bool busy = errno == EWOULDBLOCK;
            ::close(fd);
            return busy ? TResult::HeldElsewhere : TResult::Unavailable;
        }
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && ::stat(LockPath.c_str(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            Fd = fd;
            return TResult::Held;
        }
        ::close(fd);
    }
    return TResult::Unavailable;
}

}  // namespace tavrin
