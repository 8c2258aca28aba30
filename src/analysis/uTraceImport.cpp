#include "uTraceImport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include "uFileOpen.h"
#include "uTraceColumns.h"

namespace tavrin {
namespace {

// Splits bytes, fetched a piece at a time, into lines ended by LF, CR LF or CR.
class TLineSource {
  public:
    // Fills the buffer with up to `size` bytes; 0 at the end, a negative value on failure.
    using TFetch = std::function<long(char* buffer, size_t size)>;

    explicit TLineSource(TFetch fetch)
        : Fetch(std::move(fetch)), Buffer(kChunk + kTraceLineLimit) {}

    enum class TStatus { Line, End, TooLong, Failed };

    TStatus Next(std::string_view& line) {
        for (;;) {
            if (SkipLineFeed && Start < Stop) {
                SkipLineFeed = false;
                if (Buffer[Start] == '\n') {
                    ++Start;
                }
            }
            const char* begin = Buffer.data() + Start;
            const size_t size = Stop - Start;
            const size_t end = std::string_view(begin, size).find_first_of("\r\n");
            if (end != std::string_view::npos) {
                if (end > kTraceLineLimit) {
                    return TStatus::TooLong;
                }
                line = std::string_view(begin, end);
                SkipLineFeed = begin[end] == '\r';
                Start += end + 1;
                return TStatus::Line;
            }
            if (size > kTraceLineLimit) {
                return TStatus::TooLong;
            }
            if (AtEnd) {
                if (size == 0) {
                    return TStatus::End;
                }
                line = std::string_view(begin, size);
                Start = Stop;
                return TStatus::Line;
            }
            // Keep the unfinished line and fetch behind it.
            std::memmove(Buffer.data(), begin, size);
            Start = 0;
            Stop = size;
            const long got = Fetch(Buffer.data() + Stop, Buffer.size() - Stop);
            if (got < 0) {
                return TStatus::Failed;
            }
            AtEnd = got == 0;
            Stop += static_cast<size_t>(got);
            TotalBytes += static_cast<size_t>(got);
        }
    }

    size_t BytesSeen() const { return TotalBytes; }

  private:
    static constexpr size_t kChunk = 65536;
    TFetch Fetch;
    std::vector<char> Buffer;
    size_t Start = 0;
    size_t Stop = 0;
    size_t TotalBytes = 0;
    bool AtEnd = false;
    bool SkipLineFeed = false;
};

// Text files hold no control characters but tabs; a file that does is some other kind of file.
bool HoldsControlCharacters(std::string_view line) {
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
            return true;
        }
    }
    return false;
}

TTraceRead Failure(std::string_view fileName, size_t line, const std::string& what) {
    return {std::nullopt, std::string(fileName) + ", line " + std::to_string(line) + ": " + what};
}

TTraceRead ReadLines(TLineSource& source, TTraceFormat format, std::string_view fileName) {
    const std::unique_ptr<TTraceLineReader> reader = MakeTraceLineReader(format);
    TTrace trace;
    trace.Kind = format == TTraceFormat::Frd ? TTraceKind::Transfer : TTraceKind::Impedance;
    size_t number = 0;
    for (;;) {
        std::string_view line;
        const TLineSource::TStatus status = source.Next(line);
        if (status == TLineSource::TStatus::End) {
            break;
        }
        ++number;
        if (status == TLineSource::TStatus::TooLong) {
            return Failure(fileName, number,
                           "longer than " + std::to_string(kTraceLineLimit) +
                               " characters; this is not a curve file");
        }
        if (status == TLineSource::TStatus::Failed) {
            return {std::nullopt,
                    "Cannot read " + std::string(fileName) + ": " + std::strerror(errno)};
        }
        if (HoldsControlCharacters(line)) {
            return Failure(fileName, number, "holds binary data; this is not a curve file");
        }
        if (auto error = reader->ReadLine(line, trace)) {
            return Failure(fileName, number, *error);
        }
    }
    if (trace.Points.empty()) {
        return source.BytesSeen() == 0
                   ? Failure(fileName, 1, "the file is empty")
                   : Failure(fileName, number + 1, "the file ends before any data line");
    }
    return {std::move(trace), {}};
}

// Closes a descriptor when it goes out of scope.
struct TFdCloser {
    int Fd;
    ~TFdCloser() {
        if (Fd >= 0) {
            ::close(Fd);
        }
    }
};

}  // namespace

TTraceRead ParseTraceText(std::string_view text, TTraceFormat format, std::string_view fileName) {
    TLineSource source([&text](char* buffer, size_t size) {
        const size_t n = std::min(size, text.size());
        std::memcpy(buffer, text.data(), n);
        text.remove_prefix(n);
        return static_cast<long>(n);
    });
    return ReadLines(source, format, fileName);
}

TTraceRead ReadTraceFile(const std::string& path) {
    const std::optional<TTraceFormat> format = TraceFormatOfPath(path);
    if (!format) {
        return {std::nullopt, "Cannot tell the format of " + path +
                                  ": the name must end in .zma, .frd, .csv or .s1p"};
    }
    const int fd = OpenFileDescriptor(path, O_RDONLY);
    const TFdCloser closer{fd};
    if (fd < 0) {
        // Windows refuses to open a folder rather than letting fstat tell what it is.
        std::error_code ignored;
        if (errno == EACCES && std::filesystem::is_directory(path, ignored)) {
            return {std::nullopt, "Cannot read " + path + ": not a regular file"};
        }
        return {std::nullopt, "Cannot open " + path + ": " + std::strerror(errno)};
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return {std::nullopt, "Cannot read " + path + ": not a regular file"};
    }
    TLineSource source([fd](char* buffer, size_t size) -> long {
        for (;;) {
            const ssize_t got = ::read(fd, buffer, size);
            if (got >= 0 || errno != EINTR) {
                return static_cast<long>(got);
            }
        }
    });
    return ReadLines(source, *format, path);
}

}  // namespace tavrin
