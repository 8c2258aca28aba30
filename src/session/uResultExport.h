#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace tavrin {

// The text of a file error by its code, as the user reads it in the export's message box.
std::string InOutErrorText(int code);

// Writes `count` lines of three numbers (frequency, first and second value), each in the
// 23-character exponent form, separated by one space and ended by CR LF, replacing the file.
// Returns nothing on success, otherwise the error text; the lines written until then stay.
std::optional<std::string> ExportResults(const std::string& path, size_t count,
                                         const std::function<std::array<double, 3>(size_t)>& row);

}  // namespace tavrin
