#include "uFileOpen.h"

#include <fcntl.h>

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#endif

namespace tavrin {

int OpenFileDescriptor(const std::string& path, int flags, int mode) {
#ifdef _WIN32
    // Paths are UTF-8 throughout: the programs' manifest sets the process's code page to it.
    return ::_open(path.c_str(), flags | O_BINARY | O_NOINHERIT, mode);
#else
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
#endif
}

}  // namespace tavrin
