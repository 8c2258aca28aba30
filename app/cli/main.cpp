// tavrin-cli: the measuring session without a window.

#include "uCliApp.h"

int main(int argc, char** argv) {
    return tavrin::cli::RunCli(argc, argv);
}
