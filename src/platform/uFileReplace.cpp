#include "uFileReplace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "uTemporaryName.h"

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

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a write must replace: the path itself, or what a symbolic link there points to,
// through any chain of links. A link to a file that does not exist yet names the file to create.
std::optional<std::string> ReplacementTarget(const std::string& path) {
    constexpr int kMaxLinks = 40;  // as the kernel's own limit: beyond it, a loop
    std::string current = path;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat link {};
        if (::lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            return current;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size()) {
            return std::nullopt;
        }
        target.resize(static_cast<size_t>(length));
        current = target.front() == '/' ? target : FolderOf(current) + "/" + target;
    }
    return std::nullopt;
}

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderPrefixOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Creates a new temporary file beside `target`; the umask applies to its mode as it would to a
// file created in place.
int CreateTemporary(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = FolderPrefixOf(target);
    const std::string name = FileNameOf(target);
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

// Whether `target` may be replaced as it stands; `old` receives what it is when it exists.
// Opening for writing asks the same question an in-place write would, so permissions, read-only
// mounts and immutable files refuse the change here; a rename alone would not. Only a regular
// file is opened: a named pipe would wait for a reader.
bool MayReplace(const std::string& target, struct stat& old, bool& exists) {
    exists = ::stat(target.c_str(), &old) == 0;
    if (!exists) {
        return errno == ENOENT;
    }
    if (!S_ISREG(old.st_mode)) {
        return false;
    }
    TFd probe(OpenRetrying(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY));
    return probe.Get() >= 0;
}

void SyncFolder(const std::string& folder) {
    TFd fd(OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY));
    if (fd.Get() >= 0) {
        ::fsync(fd.Get());  // best effort: the rename itself has already succeeded
    }
}

// The first steps of a replacement: the file to replace, the checks, and a new temporary file
// beside it, whose descriptor is returned (-1 when one of them fails).
struct TReplacement {
    std::string Target;
    std::string TempPath;
    struct stat Old {};
    bool Exists = false;
};

int BeginReplacement(const std::string& path, TReplacement& replacement) {
    std::optional<std::string> target = ReplacementTarget(path);
    if (!target || !MayReplace(*target, replacement.Old, replacement.Exists)) {
        return -1;
    }
    replacement.Target = std::move(*target);
    return CreateTemporary(replacement.Target, replacement.TempPath);
}

}  // namespace

TFileBytes ReadWholeFile(const std::string& path, size_t limit) {
    TFileBytes result;
    const auto failed = [&result](TFileBytes::TStatus status) {
        result.Status = status;
        result.Error = status == TFileBytes::TStatus::Unreadable ? errno : 0;
        result.Bytes.clear();
        return result;
    };
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return failed(errno == ENOENT || errno == ENOTDIR ? TFileBytes::TStatus::Missing
                                                          : TFileBytes::TStatus::Unreadable);
    }
    if (!S_ISREG(info.st_mode)) {
        return failed(TFileBytes::TStatus::NotRegular);
    }
    // Non-blocking, in case something else has been put at the path since.
    TFd fd(OpenRetrying(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY));
    if (fd.Get() < 0) {
        return failed(errno == ENOENT ? TFileBytes::TStatus::Missing
                                      : TFileBytes::TStatus::Unreadable);
    }
    if (::fstat(fd.Get(), &info) != 0) {
        return failed(TFileBytes::TStatus::Unreadable);
    }
    if (!S_ISREG(info.st_mode)) {
        return failed(TFileBytes::TStatus::NotRegular);
    }
    char buffer[65536];
    while (result.Bytes.size() < limit) {
        const size_t wanted = std::min(sizeof buffer, limit - result.Bytes.size());
        const ssize_t got = ::read(fd.Get(), buffer, wanted);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return failed(TFileBytes::TStatus::Unreadable);
        }
        if (got == 0) {
            break;
        }
        result.Bytes.append(buffer, static_cast<size_t>(got));
    }
    result.Status = TFileBytes::TStatus::Read;
    return result;
}

bool ReplaceFileContents(const std::string& path, std::string_view data) {
    TReplacement replacement;
    TFd temp(BeginReplacement(path, replacement));
    if (temp.Get() < 0) {
        return false;
    }
    bool ok = true;
    if (replacement.Exists) {
        ok = ::fchmod(temp.Get(), replacement.Old.st_mode & 07777) == 0;
        if (::fchown(temp.Get(), replacement.Old.st_uid, replacement.Old.st_gid) != 0) {
            // Only root may hand a file to another owner; anyone else writes it as their own.
        }
    }
    ok = ok && WriteAll(temp.Get(), data) && ::fsync(temp.Get()) == 0;
    ok = temp.Close() && ok;
    ok = ok && ::rename(replacement.TempPath.c_str(), replacement.Target.c_str()) == 0;
    if (!ok) {
        ::unlink(replacement.TempPath.c_str());
        return false;
    }
    SyncFolder(FolderOf(replacement.Target));
    return true;
}

bool CanReplaceFile(const std::string& path) {
    TReplacement replacement;
    TFd temp(BeginReplacement(path, replacement));
    if (temp.Get() < 0) {
        return false;
    }
    ::unlink(replacement.TempPath.c_str());
    return true;
}

int RemoveStaleTemporaries(const std::string& path,
                           std::chrono::system_clock::time_point olderThan) {
    const std::string target = ReplacementTarget(path).value_or(path);
    const std::string folder = FolderOf(target);
    const std::string name = FileNameOf(target);
    const auto limit =
        std::chrono::duration_cast<std::chrono::nanoseconds>(olderThan.time_since_epoch()).count();
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        if (!IsTemporaryName(entry->d_name, name)) {
            continue;
        }
        const std::string candidate = folder + "/" + entry->d_name;
        struct stat info {};
        if (::lstat(candidate.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        const auto written =
            static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        if (written < limit && ::unlink(candidate.c_str()) == 0) {
            ++removed;
        }
    }
    ::closedir(listing);
    return removed;
}

}  // namespace tavrin
