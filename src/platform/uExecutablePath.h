#pragma once

// The running executable's own path, and the names of the program's files, which carry the
// executable's base name ("tavrin.ini" for "tavrin" or "tavrin.exe") in the folder that
// uProgramFolder chooses.

#include <string>
#include <string_view>

namespace tavrin {

// Where Linux links the running executable; other systems ask their own API.
inline constexpr std::string_view kSelfExeLink = "/proc/self/exe";

// Full path of the running executable: read from the link `selfLink` on Linux (the kernel's
// link to the executable unless a test gives another), from the system on Windows; empty when
// it cannot be read. The " (deleted)" the kernel appends once the executable has been replaced
// on disk is removed, so the program's files are still found beside its new version.
std::string ExecutablePath(std::string_view selfLink = kSelfExeLink);

// `path` with the extension of its file name replaced by `extension` (".ini", ".cal", ".txt"),
// or added when it has none; dots in folder names are not extensions.
std::string WithExtension(std::string_view path, std::string_view extension);

// The program's file with `extension`: the executable's base name with it, in the program's
// folder (uProgramFolder.h). "tavrin" with `extension` (in the current folder) when the
// executable's path is unknown.
std::string ProgramFilePath(std::string_view extension, std::string_view selfLink = kSelfExeLink);

}  // namespace tavrin
