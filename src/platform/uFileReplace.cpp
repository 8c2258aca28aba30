#include "uFileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace tavrin {
namespace {

// Closes a descriptor when it goes out of scope.
class TFd {
  public:
    explicit TFd(int fd) : Fd(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() {
        if (Fd >= 0) {
            ::close(Fd);
        }
    }
    int Get() const { return Fd; }
    // Closes now, reporting the error that close may be the first to see (NFS, quotas).
    bool Close() {
        const int fd = Fd;
        Fd = -1;
        return ::close(fd) == 0;
    }

  private:
    int Fd;
};

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// The file a write must replace: the path itself, or what a symbolic link there points to.
std::optional<std::string> ReplacementTarget(const std::string& path) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
        return path;
    }
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        return std::nullopt;  // a dangling link: nothing sensible to replace
    }
    return std::string(resolved);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a new temporary file beside `target`, hidden and named after it; the umask applies
// to its mode as it would to a file created in place.
int CreateTemporary(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = folder + "." + name + "." + std::to_string(::getpid()) + "." +
                   std::to_string(counter++) + ".tmp";
        const int fd = OpenRetrying(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

void SyncFolder(const std::string& folder) {
    TFd fd(OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY));
    if (fd.Get() >= 0) {
        ::fsync(fd.Get());  // best effort: the rename itself has already succeeded
    }
}

}  // namespace

std::optional<std::string> ReadFileIfAny(const std::string& path) {
    TFd fd(OpenRetrying(path.c_str(), O_RDONLY));
    if (fd.Get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::string();
        }
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (got == 0) {
            return bytes;
        }
        bytes.append(buffer, static_cast<size_t>(got));
    }
}

bool ReplaceFileContents(const std::string& path, std::string_view data) {
    const std::optional<std::string> target = ReplacementTarget(path);
    if (!target) {
        return false;
    }
    struct stat old {};
    const bool exists = ::stat(target->c_str(), &old) == 0;
    if (exists) {
        // Opening for writing asks the same question an in-place write would, so permissions,
        // read-only mounts and immutable files refuse the change here; a rename alone would not.
        TFd probe(S_ISREG(old.st_mode) ? OpenRetrying(target->c_str(), O_WRONLY) : -1);
        if (probe.Get() < 0) {
            return false;
        }
    } else if (errno != ENOENT) {
        return false;
    }

    std::string tempPath;
    TFd temp(CreateTemporary(*target, tempPath));
    if (temp.Get() < 0) {
        return false;
    }
    bool ok = true;
    if (exists) {
        ok = ::fchmod(temp.Get(), old.st_mode & 07777) == 0;
        if (::fchown(temp.Get(), old.st_uid, old.st_gid) != 0) {
            // Only root may hand a file to another owner; anyone else writes it as their own.
        }
    }
    ok = ok && WriteAll(temp.Get(), data) && ::fsync(temp.Get()) == 0;
    ok = temp.Close() && ok;
    ok = ok && ::rename(tempPath.c_str(), target->c_str()) == 0;
    if (!ok) {
        ::unlink(tempPath.c_str());
        return false;
    }
    SyncFolder(FolderOf(*target));
    return true;
}

}  // namespace tavrin
