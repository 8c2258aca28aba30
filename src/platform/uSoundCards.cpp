#include "uSoundCards.h"

#ifdef _WIN32
#include "uWinMmService.h"
#else
#include "uPortAudioService.h"
#endif

namespace tavrin {

std::unique_ptr<TWaveService> CreateSoundCardService() {
#ifdef _WIN32
    return std::make_unique<TWinMmService>();
#else
    return std::make_unique<TPortAudioService>();
#endif
}

}  // namespace tavrin
