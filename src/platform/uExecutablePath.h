#pragma once

// Where the program's own files are: beside the running executable, under its base name
// ("/opt/tavrin/tavrin" keeps its settings in "/opt/tavrin/tavrin.ini").

#include <string>
#include <string_view>

namespace tavrin {

inline constexpr std::string_view kSelfExeLink = "/proc/self/exe";

// Full path of the running executable, read from the link `selfLink` (the kernel's link to the
// executable unless a test gives another); empty when it cannot be read. The " (deleted)" the
// kernel appends once the executable has been replaced on disk is removed, so the program's
// files are still found beside its new version.
std::string ExecutablePath(std::string_view selfLink = kSelfExeLink);

// `path` with the extension of its file name replaced by `extension` (".ini", ".cal", ".txt"),
// or added when it has none; dots in folder names are not extensions.
std::string WithExtension(std::string_view path, std::string_view extension);

// The executable's path with `extension`: the program's settings, calibration and export files.
// "tavrin" with `extension` (in the current folder) when the executable's path is unknown.
std::string ProgramFilePath(std::string_view extension, std::string_view selfLink = kSelfExeLink);

}  // namespace tavrin
