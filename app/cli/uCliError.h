#pragma once

#include <stdexcept>

namespace tavrin::cli {

inline constexpr int kExitSuccess = 0;
// A usage or device error, told in one line on stderr.
inline constexpr int kExitError = 2;
// Results would not be corrected by a calibration made for the set-up in use.
inline constexpr int kExitUncalibrated = 3;

inline constexpr const char* kProgram = "tavrin-cli";

// What ends a command with its status (kExitError unless told); the text is the line the user
// reads.
class ECliError : public std::runtime_error {
  public:
    explicit ECliError(const std::string& text, int status = kExitError)
        : std::runtime_error(text), FStatus(status) {}
    int Status() const { return FStatus; }

  private:
    int FStatus;
};

}  // namespace tavrin::cli
