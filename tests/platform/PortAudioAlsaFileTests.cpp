// The PortAudio backend on ALSA devices that read and write files: the exact data path, with
// no sound card. ALSA's `file` plugin over a `null` device runs as fast as it is read or
// written, so these tests check data and service semantics, not timing.

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "TempFolder.h"
#include "WaveBuffers.h"
#include "uPortAudioService.h"

namespace tavrin {
namespace {

using test::CountingFrames;
using test::StereoFormat;
using test::TWaveBuffers;
using test::WaitUntil;

constexpr int kTimeoutMs = 5000;
constexpr uint32_t kBufferFrames = 1000;
constexpr size_t kInputFrames = 20000;

int32_t FindDevice(const TWaveService& service, bool input, const std::string& name) {
    const int32_t count = input ? service.InputDeviceCount() : service.OutputDeviceCount();
    for (int32_t i = 0; i < count; ++i) {
        if ((input ? service.InputDeviceName(i) : service.OutputDeviceName(i)) == name) {
            return i;
        }
    }
    return -1;
}

class PortAudioAlsaFile : public ::testing::Test {
  protected:
    // ALSA reads its configuration once per process, when PortAudio starts: the devices must be
    // in place before the first service exists.
    static void SetUpTestSuite() {
        Folder = std::make_unique<test::TempFolder>();
        const auto input = CountingFrames(0, kInputFrames);
        test::WriteBytes(
            Folder->Path("in.raw"),
            std::string(reinterpret_cast<const char*>(input.data()), input.size() * 2));
        const std::string config =
            "pcm.tavrin_capture {\n"
            "    type file\n"
            "    slave.pcm { type null }\n"
            "    file \"/dev/null\"\n"
            "    infile \"" +
            Folder->Path("in.raw") +
            "\"\n"
            "    format \"raw\"\n"
            "}\n"
            "pcm.tavrin_playback {\n"
            "    type file\n"
            "    slave.pcm { type null }\n"
            "    file \"" +
            Folder->Path("out.raw") +
            "\"\n"
            "    format \"raw\"\n"
            "}\n";
        test::WriteBytes(Folder->Path("asound.conf"), config);
        const std::string path =
            std::string(snd_config_topdir()) + "/alsa.conf:" + Folder->Path("asound.conf");
        setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
        Service = std::make_unique<TPortAudioService>();
    }
    static void TearDownTestSuite() {
        Service.reset();
        Folder.reset();
    }

    void SetUp() override {
        CaptureId = FindDevice(*Service, true, "tavrin_capture");
        PlaybackId = FindDevice(*Service, false, "tavrin_playback");
        ASSERT_GE(CaptureId, 0) << "PortAudio does not list the test's ALSA capture device";
        ASSERT_GE(PlaybackId, 0) << "PortAudio does not list the test's ALSA playback device";
    }

    static std::unique_ptr<test::TempFolder> Folder;
    static std::unique_ptr<TPortAudioService> Service;
    int32_t CaptureId = -1;
    int32_t PlaybackId = -1;
    TAutoEvent Notify;
};

std::unique_ptr<test::TempFolder> PortAudioAlsaFile::Folder;
std::unique_ptr<TPortAudioService> PortAudioAlsaFile::Service;

TEST_F(PortAudioAlsaFile, CaptureDeliversTheInputFrameForFrame) {
    std::unique_ptr<TWaveDevice> device;
    ASSERT_EQ(
        Service->OpenInput(CaptureId, StereoFormat(48000), Notify, kWaveCallbackEvent, device),
        TWaveResult::Ok);
    EXPECT_TRUE(Notify.WaitFor(kTimeoutMs)) << "no open notification";
    // Odd lengths: the last two bytes of each buffer hold no whole frame and stay unused.
    TWaveBuffers buffers(10, kBufferFrames * 4 + 2);
    for (size_t i = 0; i < buffers.Size(); ++i) {
        device->PrepareHeader(buffers[i]);
        ASSERT_EQ(device->Queue(buffers[i]), TWaveResult::Ok);
    }
    device->Start();
    ASSERT_TRUE(WaitUntil(Notify, kTimeoutMs, [&] { return buffers.Queued() == 0; }));
    for (size_t i = 0; i < buffers.Size(); ++i) {
        EXPECT_EQ(buffers[i].BytesRecorded.load(), kBufferFrames * 4);
        EXPECT_TRUE(buffers.Samples(i) == CountingFrames(i * kBufferFrames, kBufferFrames))
            << "buffer " << i << " differs from the input";
    }
    device->Stop();
    device->Reset();
    EXPECT_EQ(device->Close(), TWaveResult::Ok);
}

TEST_F(PortAudioAlsaFile, PlaybackWritesTheBuffersFrameForFrame) {
    std::unique_ptr<TWaveDevice> device;
    ASSERT_EQ(
        Service->OpenOutput(PlaybackId, StereoFormat(96000), Notify, kWaveCallbackEvent, device),
        TWaveResult::Ok);
    TWaveBuffers buffers(4, kBufferFrames * 4);
    for (size_t i = 0; i < buffers.Size(); ++i) {
        buffers.Fill(i, CountingFrames(i * kBufferFrames, kBufferFrames));
        device->PrepareHeader(buffers[i]);
        ASSERT_EQ(device->Queue(buffers[i]), TWaveResult::Ok);
    }
    ASSERT_TRUE(WaitUntil(Notify, kTimeoutMs, [&] { return buffers.Queued() == 0; }));
    ASSERT_EQ(device->Close(), TWaveResult::Ok);

    // The device plays silence of its own before the first buffer and whenever the queue runs
    // dry (here the device outruns the test between two writes); none of the test's frames is
    // silent, so without the silence the file must hold exactly the four buffers, in order.
    const std::string written = test::ReadBytes(Folder->Path("out.raw"));
    std::vector<int16_t> played;
    for (size_t at = 0; at + 4 <= written.size(); at += 4) {
        int16_t frame[2];
        std::memcpy(frame, written.data() + at, 4);
        if (frame[0] != 0 || frame[1] != 0) {
            played.insert(played.end(), frame, frame + 2);
        }
    }
    EXPECT_TRUE(played == CountingFrames(0, 4 * kBufferFrames))
        << "played " << played.size() / 2 << " frames other than the buffers'";
}

TEST_F(PortAudioAlsaFile, OpenRefusesOtherFormatsAndUnknownDevices) {
    std::unique_ptr<TWaveDevice> device;
    TWaveFormat mono = StereoFormat(48000);
    mono.Channels = 1;
    mono.BlockAlign = 2;
    mono.AvgBytesPerSec = 96000;
    EXPECT_EQ(Service->OpenInput(CaptureId, mono, Notify, kWaveCallbackEvent, device),
              TWaveResult::BadFormat);
    EXPECT_EQ(Service->OpenOutput(Service->OutputDeviceCount(), StereoFormat(48000), Notify,
                                  kWaveCallbackEvent, device),
              TWaveResult::BadDeviceId);
    EXPECT_EQ(device, nullptr);
    EXPECT_FALSE(Notify.WaitFor(0)) << "a failed open must not notify";
}

TEST_F(PortAudioAlsaFile, CloseWaitsUntilResetHasReturnedEveryBuffer) {
    std::unique_ptr<TWaveDevice> device;
    ASSERT_EQ(
        Service->OpenInput(CaptureId, StereoFormat(48000), Notify, kWaveCallbackEvent, device),
        TWaveResult::Ok);
    Notify.WaitFor(kTimeoutMs);
    TWaveBuffers buffers(3, kBufferFrames * 4);
    for (size_t i = 0; i < buffers.Size(); ++i) {
        EXPECT_EQ(device->Queue(buffers[i]), TWaveResult::Unprepared);
        device->PrepareHeader(buffers[i]);
        device->Queue(buffers[i]);
    }
    EXPECT_EQ(device->UnprepareHeader(buffers[0]), TWaveResult::StillQueued);
    EXPECT_EQ(device->Close(), TWaveResult::StillQueued);
    EXPECT_EQ(device->Reset(), TWaveResult::Ok);
    EXPECT_EQ(buffers.Queued(), 0u) << "Reset returned before every buffer came back";
    EXPECT_TRUE(Notify.WaitFor(0));
    EXPECT_EQ(device->Close(), TWaveResult::Ok);
    EXPECT_TRUE(Notify.WaitFor(0)) << "no close notification";
    EXPECT_EQ(device->Queue(buffers[0]), TWaveResult::NotOpen);
    EXPECT_EQ(device->UnprepareHeader(buffers[0]), TWaveResult::Ok);
}

TEST(PortAudioDeviceNames, SharedNamesGetTheHostInterface) {
    std::vector<TPortAudioService::TEndpoint> endpoints(3);
    endpoints[0].Name = "default";
    endpoints[0].HostApi = "ALSA";
    endpoints[1].Name = "system";
    endpoints[1].HostApi = "JACK Audio Connection Kit";
    endpoints[2].Name = "default";
    endpoints[2].HostApi = "OSS";
    DistinguishDeviceNames(endpoints);
    EXPECT_EQ(endpoints[0].Name, "default (ALSA)");
    EXPECT_EQ(endpoints[1].Name, "system");
    EXPECT_EQ(endpoints[2].Name, "default (OSS)");
}

}  // namespace
}  // namespace tavrin
