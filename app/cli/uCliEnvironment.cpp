#include "uCliEnvironment.h"

#include <cstdlib>
#include <vector>

#include "uCliVirtualBox.h"
#include "uCombinedWaveService.h"
#include "uExecutablePath.h"
#include "uProgramFolder.h"
#include "uSoundCards.h"
#include "uVirtualBoxService.h"

namespace tavrin::cli {
namespace {

TVirtualBoxSetup BoxSetup() {
    const char* switches = std::getenv(kVirtualBoxVariable);
    return ParseVirtualBoxSwitches(switches ? switches : "");
}

constexpr std::string_view kWindowProgram = "tavrin";

}  // namespace

TCliEnvironment::TCliEnvironment() : TCliEnvironment(BoxSetup()) {}

TCliEnvironment::TCliEnvironment(const TVirtualBoxSetup& box)
    : FSpeedUp(box.Options.SpeedUp), FAudioClock(box.Options.SpeedUp), FUi(WallClock) {
    // Real sound cards first, then the virtual connection box, as in the window.
    std::vector<std::unique_ptr<TWaveService>> backends;
    if (!box.BoxOnly) {
        backends.push_back(CreateSoundCardService());
    }
    backends.push_back(std::make_unique<TVirtualBoxService>(box.Options));
    Service = std::make_unique<TCombinedWaveService>(std::move(backends));
}

std::string TCliEnvironment::WindowFilePath(std::string_view extension) {
    // Both programs sit in one folder, so they choose the same place for their files.
    const std::string self = ExecutablePath();
    const std::string folder = self.empty() ? std::string() : ProgramFolder(self);
    return InFolder(folder, kWindowProgram) + std::string(extension);
}

}  // namespace tavrin::cli
