#pragma once

// Opening a file descriptor the same way on every system the program runs on.

#include <string>

namespace tavrin {

// ::open(path, flags | what every system needs, mode): the descriptor is not inherited by child
// programs, bytes are read and written as they are (Windows would otherwise translate line
// ends), and an open interrupted by a signal is retried. -1 with errno set on failure.
int OpenFileDescriptor(const std::string& path, int flags, int mode = 0666);

}  // namespace tavrin
