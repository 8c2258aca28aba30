#pragma once

// Whole-file reading and replacing for the program's small files beside the executable.

#include <chrono>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

struct TFileBytes {
    enum class TStatus {
        Read,        // Bytes holds the file (or its first `limit` bytes)
        Missing,     // there is no such file
        NotRegular,  // a folder, a named pipe, a device...: never opened, so never waited on
        Unreadable,  // it exists but cannot be read; Error tells why
    };
    TStatus Status = TStatus::Missing;
    std::string Bytes;
    int Error = 0;  // errno of an Unreadable file
};

// The file's bytes, at most `limit` of them. Only a regular file is read: a named pipe or a
// device at the path would block or never end.
TFileBytes ReadWholeFile(const std::string& path,
                         size_t limit = std::numeric_limits<size_t>::max());

// The file's bytes; an empty text when there is no such file; nullopt when it exists but cannot
// be read (not a regular file, no permission), so that a caller never mistakes it for an empty
// file.
std::optional<std::string> ReadFileIfAny(const std::string& path);

// Replaces the whole content of the file at `path` with `data`, creating it when missing: written
// to a temporary file beside it, flushed to disk, then renamed over the old one, so that a crash
// or a full disk leaves either the old file or the new one, never a mixture. An existing file
// must be a regular file writable as it stands (a file the user made read-only still fails) and
// keeps its permissions and, where allowed, its owner; a symbolic link is followed and the file
// it points to is replaced, or created when it does not exist yet. False when the file could not
// be replaced (nothing is left behind then).
bool ReplaceFileContents(const std::string& path, std::string_view data);

// Whether ReplaceFileContents would be allowed to replace the file now: the same checks, and a
// temporary file created and removed beside it. A full disk is noticed only by the replacement.
bool CanReplaceFile(const std::string& path);

// Removes the temporary files a replacement of `path` left behind when its process was killed:
// only names of our own pattern, and only those last written before `olderThan` (the start of
// the running program, so that a save in progress elsewhere keeps its file). Returns how many.
int RemoveStaleTemporaries(const std::string& path,
                           std::chrono::system_clock::time_point olderThan);

}  // namespace tavrin
