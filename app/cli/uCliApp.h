#pragma once

namespace tavrin::cli {

// The command-line program: parses the command line, runs the chosen subcommand and returns the
// exit status (0 success, 2 a usage or device error, told in one line on stderr).
int RunCli(int argc, char** argv);

}  // namespace tavrin::cli
