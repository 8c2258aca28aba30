#include "uCliCommand.h"

#include <CLI/CLI.hpp>

namespace tavrin::cli {

bool TCliCommand::Chosen() const {
    return Command != nullptr && Command->parsed();
}

}  // namespace tavrin::cli
