#pragma once

#include <stdexcept>
#include <string>

namespace tavrin {

// A file that could not be created or written. The text is the one shown to the user, with
// the file's full path ("Impossible d'écrire dans /path/tavrin.ini").
class EFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace tavrin
