#pragma once

// A measuring session on the virtual connection box at speed, its files in a scratch folder, with
// every event it raises recorded: the session as the window or the command line drives it.

#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uClock.h"
#include "uMeasurementSession.h"
#include "uUiDispatcher.h"
#include "uVirtualBoxService.h"

namespace tavrin::testing {

// The virtual box's devices in the program's lists when it is the only backend.
enum TBoxDevice : int32_t { kCalibration = 0, kResistor, kCapacitor, kInductor, kLowPass };

TVirtualBoxOptions FastBox();

// A folder of its own under the system's temporary folder, removed with the object.
class TScratchFolder {
  public:
    TScratchFolder();
    ~TScratchFolder();
    std::string PathOf(const std::string& name) const { return (Folder / name).string(); }

  private:
    std::filesystem::path Folder;
};

// Time as the captured audio tells it: one block's length each time the receiver looks, which
// it does once per block summed. An integration time then holds as many blocks however busy
// the machine is. The block's length follows the results (set from the user-interface thread).
class TBlockClock : public TClock {
  public:
    double NowMs() const override;
    void SetBlockMs(double ms) { BlockUs.store(std::llround(ms * 1000.0)); }

  private:
    std::atomic<int64_t> BlockUs{85333};  // 4096 samples at 48000/s
    mutable std::atomic<int64_t> NowUs{0};
};

class TSessionRig {
  public:
    // With `boxTime` the session counts its integration time in captured audio (TBlockClock);
    // otherwise in wall time, in which the box runs SpeedUp times faster.
    explicit TSessionRig(const TScratchFolder& folder, const TVirtualBoxOptions& box = FastBox(),
                         bool boxTime = false);
    ~TSessionRig();

    TMeasurementSession& Session() { return *FSession; }
    const TMeasurementSession& Session() const { return *FSession; }
    // Closes the session and opens a new one on the same files, as after a restart.
    void Restart();
    void SelectDevices(int32_t device);
    // Serves deliveries until `done`; false when the time ran out.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs = 30000);
    // Waits for `count` more results.
    bool WaitResults(int count, int timeoutMs = 30000);
    // Level setting until the asynchrony is shown, Continue, Stop once a whole integration time
    // was stored.
    void Calibrate();

    std::vector<std::string> StageTexts;
    std::vector<std::string> Errors;
    std::vector<std::string> Notices;
    std::vector<int> Modes;
    std::optional<TSeriesFit> LastFit;
    std::optional<TComplex> LastFirstBin;  // channel 0 at the result's first bin
    std::string LCRText;
    // The bench readings, Zx (slot k = bin k) and the band's bins of the last impedance result.
    std::optional<TBenchReadout> LastBench;
    std::vector<TComplex> LastZx;
    TBinRange LastBins;
    int Results = 0;  // complete results only
    // Complete results summed over more than one block: after Continue, the level setting's
    // last block can still arrive as a complete result of one block.
    int AveragedResults = 0;
    int Progress = 0;  // deliveries of a sum still growing

  private:
    void Open();

    TScratchFolder const& Folder;
    TSystemClock Clock;
    TBlockClock BoxClock;
    const bool BoxTime;
    TUiDispatcher Ui{Clock};
    TVirtualBoxService Box;
    std::unique_ptr<TMeasurementSession> FSession;
};

}  // namespace tavrin::testing
