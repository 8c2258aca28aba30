#pragma once

// An advisory lock that keeps a second instance of the program off the files of the first: the
// first to take it holds it until it ends, and the system lets go of it when a process dies, so
// that a killed program never leaves its files locked.

#include <cstdint>
#include <string>

namespace tavrin {

class TFileLock {
  public:
    enum class TResult {
        Held,           // this object holds the lock
        HeldElsewhere,  // another process holds it
        Unavailable,    // the lock file cannot be made (a read-only folder): nobody can hold it
    };

    // `path`: the lock file, created when missing and removed when the lock is let go.
    explicit TFileLock(std::string path);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    // Takes the lock when it is free; never waits.
    TResult TryLock();
    bool Held() const { return Fd >= 0; }
    const std::string& Path() const { return LockPath; }

  private:
    std::string LockPath;
    int Fd = -1;          // 0 on Windows while held
    intptr_t Handle = 0;  // Windows: the locked file's handle
};

}  // namespace tavrin
