#pragma once

// One subcommand of the command-line program: it adds itself and its options to the parser, and
// runs when the command line chose it. A new subcommand is a new unit with one of these.

namespace CLI {
class App;
}

namespace tavrin::cli {

class TCliEnvironment;

class TCliCommand {
  public:
    virtual ~TCliCommand() = default;
    // Adds the subcommand to the program's parser, which outlives the command.
    virtual void Register(CLI::App& program) = 0;
    // Throws ECliError with the line the user reads on a usage or device error.
    virtual void Run(TCliEnvironment& environment) = 0;
    // Whether the parsed command line chose this command.
    bool Chosen() const;

  protected:
    CLI::App* Command = nullptr;
};

}  // namespace tavrin::cli
