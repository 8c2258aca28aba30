#include "SessionTestKit.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>

namespace tavrin::testing {

namespace fs = std::filesystem;

TVirtualBoxOptions FastBox() {
    TVirtualBoxOptions options;
    options.SpeedUp = 8.0;
    options.Lockstep = true;  // no lost audio when the machine is busy
    return options;
}

TScratchFolder::TScratchFolder() {
    static std::atomic<int> serial{0};
    Folder = fs::temp_directory_path() /
             ("tavrin-session-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    fs::remove_all(Folder);
    fs::create_directories(Folder);
}

TScratchFolder::~TScratchFolder() {
    std::error_code ignored;
    fs::remove_all(Folder, ignored);
}

double TBlockClock::NowMs() const {
    return 0.001 * static_cast<double>(NowUs.fetch_add(BlockUs.load()) + BlockUs.load());
}

TSessionRig::TSessionRig(const TScratchFolder& folder, const TVirtualBoxOptions& box, bool boxTime)
    : Folder(folder), BoxTime(boxTime), Box(box) {
    Open();
}

TSessionRig::~TSessionRig() {
    FSession->Close();
}

void TSessionRig::Open() {
    FSession = std::make_unique<TMeasurementSession>(
        TSessionEnvironment{Box, Ui, BoxTime ? static_cast<TClock&>(BoxClock) : Clock,
                            Folder.PathOf("tavrin.ini"), Folder.PathOf("tavrin.cal")});
    TMeasurementSession& session = *FSession;
    session.OnStageText = [this](const std::string& text) { StageTexts.push_back(text); };
    session.OnError = [this](const std::string& text) { Errors.push_back(text); };
    session.OnNotice = [this](const std::string& text) { Notices.push_back(text); };
    session.OnModeChange = [this](int mode) { Modes.push_back(mode); };
    session.OnLCRText = [this](const std::string& text) { LCRText = text; };
    session.OnResult = [this](const TMeasurementResult& result) {
        if (result.SampleRate > 0) {
            BoxClock.SetBlockMs(1000.0 * result.BlockLength / result.SampleRate);
        }
        // A sum still growing is progress, not a result.
        if (!result.Averaging.Complete) {
            ++Progress;
            FSession->RequestData();
            return;
        }
        LastFit = result.Fit;
        if (result.Bench) {
            LastBench = *result.Bench;
            const auto zx = result.Channel(0);
            LastZx.assign(zx.begin(), zx.end());
            LastBins = result.Bins;
        }
        const auto bins = result.Channel(0);
        if (result.Bins.Lo < static_cast<int32_t>(bins.size())) {
            LastFirstBin = bins[static_cast<size_t>(result.Bins.Lo)];
        }
        ++Results;
        if (result.Averaging.Wanted > 1) {
            ++AveragedResults;
        }
        FSession->RequestData();
    };
    session.Open();
}

void TSessionRig::Restart() {
    FSession->Close();
    FSession.reset();
    Open();
}

void TSessionRig::SelectDevices(int32_t device) {
    FSession->WaveSetup().SelectInput(device);
    FSession->WaveSetup().SelectOutput(device);
}

bool TSessionRig::RunUntil(const std::function<bool()>& done, int timeoutMs) {
    return Ui.WaitUntil(done, timeoutMs);
}

bool TSessionRig::WaitResults(int count, int timeoutMs) {
    const int target = Results + count;
    return RunUntil([&] { return Results >= target; }, timeoutMs);
}

void TSessionRig::Calibrate() {
    SelectDevices(kCalibration);
    FSession->SelectMode(mdCalibration);
    ASSERT_TRUE(FSession->Start());
    ASSERT_TRUE(RunUntil([&] {
        return !StageTexts.empty() && StageTexts.back().find("Async: ") != std::string::npos;
    }));
    FSession->Continue();
    // The text comes with the growing sums too: the calibration is a whole integration time.
    // The level setting's last block may still come through as a complete result of its own;
    // stopping on it would keep the calibration of the first block or two after it.
    const int before = AveragedResults;
    ASSERT_TRUE(RunUntil([&] {
        return AveragedResults > before && StageTexts.back() == "Press Stop\r\nto finish.";
    }));
    FSession->Stop();
}

}  // namespace tavrin::testing
