// Creates the window with what it works with, and runs the event loop.

#include <QApplication>
#include <memory>
#include <vector>

#include "uClock.h"
#include "uCombinedWaveService.h"
#include "uExecutablePath.h"
#include "uMessageSink.h"
#include "uPortAudioService.h"
#include "uQtDispatch.h"
#include "uUiDispatcher.h"
#include "uVirtualBoxService.h"
#include "ufmTavrin.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName("Tavrin-2");

    tavrin::TSystemClock clock;
    tavrin::TUiDispatcher ui(clock);
    tavrin::DrainFromQtEventLoop(ui);
    // Real sound cards first, then the virtual connection box.
    std::vector<std::unique_ptr<tavrin::TWaveService>> backends;
    backends.push_back(std::make_unique<tavrin::TPortAudioService>());
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
