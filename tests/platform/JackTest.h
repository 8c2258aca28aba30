#pragma once

// The fixture of the real-time tests on a JACK server of the test process's own (dummy driver).
// The server is started once per process, before PortAudio is initialised, so that PortAudio
// connects to it. Without a server the tests are skipped, or fail when TAVRIN_REQUIRE_JACK is
// set (continuous integration).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>

#include "JackServer.h"
#include "uPortAudioLibrary.h"
#include "uPortAudioService.h"

namespace tavrin::test {

class JackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Server = std::make_unique<TJackServer>();
        if (Server->Running()) {
            PortAudio = std::make_unique<TPortAudioService>();
        }
    }
    static void TearDownTestSuite() {
        const bool running = Server->Running();
        PortAudio.reset();
        Server.reset();
        // PortAudio is terminated at exit unless the library has heard that its server is gone;
        // terminating it against a server that has just died aborts in PortAudio's JACK code.
        // The news comes on one of JACK's threads, so it may come after the server's end.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (running && !TPortAudioLibrary::Instance().JackGone() &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // Derived fixtures call this first and go on only when it neither skipped nor failed.
    void SetUp() override {
        if (!Server->Running()) {
            if (std::getenv("TAVRIN_REQUIRE_JACK") != nullptr) {
                FAIL() << "no JACK server: " << Server->Failure();
            }
            GTEST_SKIP() << "no JACK server: " << Server->Failure();
        }
        InputId = SystemDevice(true);
        OutputId = SystemDevice(false);
        ASSERT_GE(InputId, 0) << "the server's capture ports are not in the device list";
        ASSERT_GE(OutputId, 0) << "the server's playback ports are not in the device list";
    }

    inline static std::unique_ptr<TJackServer> Server;
    inline static std::unique_ptr<TPortAudioService> PortAudio;
    // The server's own ports ("system") in PortAudio's device lists.
    int32_t InputId = -1;
    int32_t OutputId = -1;

  private:
    static int32_t SystemDevice(bool input) {
        const int32_t count =
            input ? PortAudio->InputDeviceCount() : PortAudio->OutputDeviceCount();
        for (int32_t i = 0; i < count; ++i) {
            if ((input ? PortAudio->InputDeviceName(i) : PortAudio->OutputDeviceName(i)) ==
                "system") {
                return i;
            }
        }
        return -1;
    }
};

}  // namespace tavrin::test
