#pragma once

#include <stdexcept>

namespace tavrin::cli {

inline constexpr int kExitSuccess = 0;
// A usage or device error, told in one line on stderr.
inline constexpr int kExitError = 2;

// What ends a command with kExitError; the text is the line the user reads.
class ECliError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace tavrin::cli
