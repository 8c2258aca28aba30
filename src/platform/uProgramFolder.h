#pragma once

// Which folder holds the program's own files (settings, calibration, and every file of its own
// beside them). Beside the executable when that folder may be written and is not one of the
// system's: a portable copy and the build tree keep their files with them. Otherwise the user's
// configuration folder for the program, $XDG_CONFIG_HOME/tavrin (~/.config/tavrin by default;
// %APPDATA%\tavrin on Windows), so that a program installed where users cannot write still
// keeps its settings.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

// The value of an environment variable, nullopt when it is not set.
using TEnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// The process's own environment.
std::optional<std::string> SystemEnvironment(const char* name);

// The choice alone. `executableFolder` empty means unknown: the current folder ("") is kept, as
// is the executable's folder when the user has no configuration folder (no HOME, no APPDATA).
std::string ChooseProgramFolder(const std::string& executableFolder, bool writable,
                                const TEnvironmentLookup& environment);

// Whether the program may create and replace files in `folder` (an existing folder only).
bool FolderWritable(const std::string& folder);

// The folder of the executable `executablePath` chooses, as ChooseProgramFolder says, with the
// user's folder created (for the user alone) when it is chosen and missing. A folder that cannot
// be created is still returned: writing there fails with the usual file error.
std::string ProgramFolder(const std::string& executablePath,
                          const TEnvironmentLookup& environment = SystemEnvironment);

// `folder` joined with `name`; `name` alone when `folder` is empty.
std::string InFolder(const std::string& folder, std::string_view name);

}  // namespace tavrin
