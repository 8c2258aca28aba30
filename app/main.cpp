// Creates the window with what it works with, and runs the event loop.

#include <QApplication>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "uClock.h"
#include "uCombinedWaveService.h"
#include "uExecutablePath.h"
#include "uMessageSink.h"
#include "uQtDispatch.h"
#include "uSoundCards.h"
#include "uUiDispatcher.h"
#include "uVirtualBoxService.h"
#include "ufmTavrin.h"

namespace {

constexpr const char* kHelp =
    "Usage: tavrin [--help | --version]\n"
    "Impedance (LCR) meter and transfer-function analyser for a sound card and its connection\n"
    "box. The settings, the calibration and the program's other files sit beside the program\n"
    "when its folder is writable, otherwise in $XDG_CONFIG_HOME/tavrin/ (~/.config/tavrin/).\n"
    "The options of the Qt toolkit (-platform NAME...) are accepted too.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "tavrin-cli is the same instrument without a window.\n";

// Answered before the toolkit starts, so that both work without a display.
bool AnsweredInformationRequest(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--version") {
            std::fputs("tavrin " TAVRIN_VERSION "\n", stdout);
            return true;
        }
        if (argument == "--help" || argument == "-h") {
            std::fputs(kHelp, stdout);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnsweredInformationRequest(argc, argv)) {
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName("Tavrin-2");

    tavrin::TSystemClock clock;
    tavrin::TUiDispatcher ui(clock);
    tavrin::DrainFromQtEventLoop(ui);
    // Real sound cards first, then the virtual connection box.
    std::vector<std::unique_ptr<tavrin::TWaveService>> backends;
    backends.push_back(tavrin::CreateSoundCardService());
    backends.push_back(std::make_unique<tavrin::TVirtualBoxService>());
    tavrin::TCombinedWaveService waveService(std::move(backends));
    tavrin::TMessageBoxSink messages;

    tavrin::TForm1 form({waveService, ui, clock, messages, tavrin::ProgramFilePath(".ini"),
                         tavrin::ProgramFilePath(".cal"), tavrin::ProgramFilePath(".txt"),
                         tavrin::ProgramFilePath(".window")});
    messages.SetParent(&form);
    form.show();
    return QApplication::exec();
}
