// How far longer averaging and the stated uncertainty can be trusted, measured as a user
// measures: the session on the virtual box with the imperfections of a real card on (channel
// mismatch, noise, latency), the 4.7 uF capacitor in "Z graph + LCR" over 100..20000 Hz, one
// noise seed per box.
//
//   - Noise against integration time: one calibration shared by every seed (its error is then
//     common to all of them and leaves the spread alone), and per seed one result at each
//     integration time of kTimes in one run. The spread of C over the seeds should fall as
//     1/sqrt(T) all the way to 30 s.
//   - Coverage: per seed a calibration of its own (3 s) and a running reading of 1 s results;
//     how often the k = 2 interval of C and of the series R holds the box's true value.
//
// A report, not a test: it takes minutes of machine time. Integration time is counted in
// captured blocks, so a loaded machine changes how long it takes, not what it measures; which
// stretch of noise a result holds does depend on when it is asked for, so the figures differ a
// little from run to run.
// Usage: tavrin_report_trust [seeds] [rate ...] [slope | coverage]
// (default: 20 seeds at 48000 and 192000, both parts)

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <numbers>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "uClock.h"
#include "uMeasurementSession.h"
#include "uUiDispatcher.h"
#include "uUncertainty.h"
#include "uVirtualBoxService.h"

namespace {

using namespace tavrin;
namespace fs = std::filesystem;

constexpr double kTimes[] = {1, 2, 3, 5, 10, 20, 30};  // seconds of integration
constexpr int kReadingCounts[] = {1, 3, 10};           // results in a coverage reading
constexpr const char* kCalibrationTime = "3";
constexpr float kLow = 100, kHigh = 20000;
constexpr int kWaitMs = 600000;

double Mean(const std::vector<double>& values) {
    TRunningStats stats;
    for (const double v : values) {
        stats.Add(v);
    }
    return stats.Mean();
}

double StandardDeviation(const std::vector<double>& values) {
    TRunningStats stats;
    for (const double v : values) {
        stats.Add(v);
    }
    return std::sqrt(stats.Variance());
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0.0 : n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

double MaxAbsolute(const std::vector<double>& values) {
    double most = 0;
    for (const double v : values) {
        most = std::max(most, std::fabs(v));
    }
    return most;
}

// y = a + b x by least squares, with the standard error of b from the residuals.
struct TLineFit {
    double Slope = 0;
    double SlopeError = 0;
};
TLineFit FitLine(const std::vector<double>& x, const std::vector<double>& y) {
    const double mx = Mean(x), my = Mean(y);
    double sxx = 0, sxy = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sxx += (x[i] - mx) * (x[i] - mx);
        sxy += (x[i] - mx) * (y[i] - my);
    }
    TLineFit fit;
    fit.Slope = sxy / sxx;
    double residuals = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double r = y[i] - my - fit.Slope * (x[i] - mx);
        residuals += r * r;
    }
    fit.SlopeError = std::sqrt(residuals / static_cast<double>(x.size() - 2) / sxx);
    return fit;
}

// The least squares of X = -1 / (w C) over the result's bins, as the series fit forms it, with
// every sum in double.
double CapacitanceInDouble(const TMeasurementResult& result) {
    const std::span<const TComplex> zx = result.Channel(0);
    const double step = 2.0 * std::numbers::pi * result.SampleRate / result.BlockLength;
    double inverse = 0, reactance = 0;
    for (int32_t k = result.Bins.Lo; k <= result.Bins.Hi; ++k) {
        const double w = static_cast<double>(static_cast<float>(k) * static_cast<float>(step));
        inverse += 1.0 / (w * w);
        reactance -= zx[static_cast<size_t>(k)].Im / w;
    }
    return inverse / reactance;
}

// Time as the captured audio tells it: one block each time the receiver looks, which it does
// once per block captured.
class TBlockClock : public TClock {
  public:
    double NowMs() const override {
        return 0.001 * static_cast<double>(NowUs.fetch_add(BlockUs.load()) + BlockUs.load());
    }
    void SetBlock(int32_t length, uint32_t rate) {
        BlockUs.store(std::llround(1e6 * length / rate));
    }

  private:
    std::atomic<int64_t> BlockUs{85333};
    mutable std::atomic<int64_t> NowUs{0};
};

class TScratch {
  public:
    TScratch()
        : Folder(fs::temp_directory_path() /
                 ("tavrin-trust-report-" + std::to_string(::getpid()))) {
        fs::remove_all(Folder);
        fs::create_directories(Folder);
    }
    ~TScratch() {
        std::error_code ignored;
        fs::remove_all(Folder, ignored);
    }
    std::string PathOf(const std::string& name) const { return (Folder / name).string(); }

  private:
    fs::path Folder;
};

// One box with its noise seed and a session on the scratch folder's files.
class TRig {
  public:
    TRig(const TScratch& scratch, uint64_t seed, int32_t rate) : Box(Options(seed)), Ui(Wall) {
        Session = std::make_unique<TMeasurementSession>(TSessionEnvironment{
            Box, Ui, Clock, scratch.PathOf("tavrin.ini"), scratch.PathOf("tavrin.cal")});
        Session->OnError = [](const std::string& text) {
            std::fprintf(stderr, "session: %s\n", text.c_str());
        };
        Session->OnStageText = [this](const std::string& text) { StageText = text; };
        Session->OnSaturation = [this](bool saturated) { Saturations += saturated; };
        Session->OnResult = [this](const TMeasurementResult& result) {
            Clock.SetBlock(result.BlockLength, result.SampleRate);
            if (OnResult) {
                OnResult(result);
            }
            Session->RequestData();
        };
        Session->Open();
        if (!Session->WaveSetup().SelectRate(rate)) {
            throw std::runtime_error("rate not offered");
        }
    }
    ~TRig() { Session->Shutdown(); }

    void Serve(const std::function<bool()>& done, const char* what) {
        if (!Ui.WaitUntil(done, kWaitMs)) {
            throw std::runtime_error(std::string("timed out ") + what);
        }
    }

    // Level setting on the calibration state, then the band calibration over a whole
    // integration time.
    void Calibrate() {
        Select(TVirtualBoxState::Calibration);
        Session->SelectMode(mdCalibration);
        Session->SetIntegrationTime("0.3");
        int results = 0;
        OnResult = [&](const TMeasurementResult&) { ++results; };
        Start();
        Serve([&] { return results >= 4 && StageText.find("Async: ") != std::string::npos; },
              "in the level setting");
        bool stored = false;
        OnResult = [&](const TMeasurementResult& result) {
            stored =
                result.Content == TResultContent::CalibrationRatio && result.Averaging.Complete;
        };
        Session->SetIntegrationTime(kCalibrationTime);
        Session->Continue();
        Serve([&] { return stored; }, "in the calibration");
        OnResult = nullptr;
        Session->Stop();
    }

    // The capacitor in "Z graph + LCR" against the box's R ref and C in, integrating over
    // `seconds`; `settle` whole results are let go first while the level settles.
    void StartCapacitor(const char* seconds, int settle) {
        const TVirtualBoxComponents parts;
        Select(TVirtualBoxState::Capacitor);
        Session->SelectMode(mdZGraphLCR);
        Session->Rref().Apply(std::to_string(parts.RefOhms));
        Session->SetCinText(std::to_string(parts.InputFarads * 1e12));
        Session->SetRange(kLow, kHigh);
        Session->SetIntegrationTime(seconds);
        int results = 0;
        OnResult = [&](const TMeasurementResult& result) { results += result.Averaging.Complete; };
        Start();
        Serve([&] { return results >= settle; }, "for the level to settle");
        OnResult = nullptr;
        if (!Session->CalibrationMark().empty()) {
            std::fprintf(stderr, "marked: %s\n", Session->CalibrationMark().c_str());
        }
    }

    // The next whole result after the integration time is set to `seconds`.
    TMeasurementResult Next(double seconds, TDelivery& delivery, TSeriesFit& fit) {
        Session->SetIntegrationTime(std::to_string(seconds));
        bool done = false;
        TMeasurementResult copy;
        OnResult = [&](const TMeasurementResult& result) {
            if (result.Averaging.Complete && result.Fit && !done) {
                done = true;
                delivery = result.Averaging;
                fit = *result.Fit;
                DoubleC = CapacitanceInDouble(result);
                copy = result;
                copy.Data = nullptr;
            }
        };
        Serve([&] { return done; }, "for a result");
        OnResult = nullptr;
        return copy;
    }

    TMeasurementSession& operator*() { return *Session; }
    std::function<void(const TMeasurementResult&)> OnResult;
    int Saturations = 0;  // analysed blocks that saturated an input
    // The last result's C as the series fit gives it, but from sums in double: what the
    // evaluation's 32-bit sums add to the spread shows as the difference.
    double DoubleC = 0;

  private:
    static TVirtualBoxOptions Options(uint64_t seed) {
        TVirtualBoxOptions options;  // every imperfection on but a clock offset
        options.SpeedUp = 1000.0;
        options.Lockstep = true;
        options.NoiseSeed = seed;
        return options;
    }
    void Select(TVirtualBoxState state) {
        Session->WaveSetup().SelectInput(static_cast<int32_t>(state));
        Session->WaveSetup().SelectOutput(static_cast<int32_t>(state));
    }
    void Start() {
        if (!Session->Start()) {
            throw std::runtime_error("the devices did not start");
        }
    }

    TVirtualBoxService Box;
    TSystemClock Wall;
    TBlockClock Clock;
    TUiDispatcher Ui;
    std::unique_ptr<TMeasurementSession> Session;
    std::string StageText;
};

void ReportNoiseSlope(int32_t rate, int seeds) {
    const TScratch scratch;
    {
        TRig rig(scratch, 1000, rate);
        rig.Calibrate();
        (*rig).SaveCalibration();
    }
    constexpr size_t kCount = std::size(kTimes);
    std::vector<std::vector<double>> c(kCount), cDouble(kCount);
    std::vector<double> seconds(kCount, 0.0);
    int32_t blockLength = 0;
    for (int seed = 1; seed <= seeds; ++seed) {
        TRig rig(scratch, static_cast<uint64_t>(seed), rate);
        rig.StartCapacitor("0.3", 3);
        for (size_t i = 0; i < kCount; ++i) {
            TDelivery delivery;
            TSeriesFit fit;
            const TMeasurementResult result = rig.Next(kTimes[i], delivery, fit);
            blockLength = result.BlockLength;
            // A result may hold a block more than its time asks when it was asked for late.
            seconds[i] += static_cast<double>(delivery.Blocks) * result.BlockLength / rate / seeds;
            c[i].push_back(fit.Capacitance);
            cDouble[i].push_back(rig.DoubleC);
        }
        (*rig).Stop();
        std::fprintf(stderr, ".");
    }
    std::fprintf(stderr, "\n");

    const TVirtualBoxComponents parts;
    std::printf("\nNoise of C against integration time, %d S/s, N %d, %d seeds, one calibration\n",
                rate, blockLength, seeds);
    const auto table = [&](const std::vector<std::vector<double>>& values) {
        std::printf("%8s %12s %12s %16s %16s\n", "T (s)", "mean C/C-1", "sd(C)/C",
                    "sd*sqrt(T/1s)/C", "vs 1/sqrt(T) fit");
        // The 1/sqrt(T) curve through all of them: its amplitude is the geometric mean of
        // sd sqrt(T), so no single time's sd (itself uncertain) sets the reference.
        std::vector<double> sd(kCount), logT(kCount), logSd(kCount), logScaled(kCount);
        for (size_t i = 0; i < kCount; ++i) {
            sd[i] = StandardDeviation(values[i]) / parts.CapacitorFarads;
            logT[i] = std::log(seconds[i]);
            logSd[i] = std::log(sd[i]);
            logScaled[i] = logSd[i] + 0.5 * logT[i];
        }
        const double amplitude = std::exp(Mean(logScaled));
        double worst = 0;
        for (size_t i = 0; i < kCount; ++i) {
            const double deviation = sd[i] * std::sqrt(seconds[i]) / amplitude - 1.0;
            worst = std::max(worst, std::fabs(deviation));
            std::printf("%8.3f %12.2e %12.3e %16.3e %+15.1f%%\n", seconds[i],
                        Mean(values[i]) / parts.CapacitorFarads - 1.0, sd[i],
                        sd[i] * std::sqrt(seconds[i]), 100.0 * deviation);
        }
        const TLineFit line = FitLine(logT, logSd);
        std::printf("slope of log sd against log T: %.3f +- %.3f (1/sqrt(T) is -0.5)\n", line.Slope,
                    line.SlopeError);
        std::printf(
            "largest departure from the 1/sqrt(T) curve: %.1f %% (an sd over %d seeds is "
            "itself uncertain by +-%.0f %%, one standard error)\n",
            100.0 * worst, seeds, 100.0 / std::sqrt(2.0 * (seeds - 1)));
    };
    table(c);
    std::printf("The same results' C from the series fit's sums in double:\n");
    table(cDouble);
    std::printf("sd of the 32-bit fit's C less the double one's, /C, at each T:");
    for (size_t i = 0; i < kCount; ++i) {
        std::vector<double> difference;
        for (size_t j = 0; j < c[i].size(); ++j) {
            difference.push_back((c[i][j] - cDouble[i][j]) / parts.CapacitorFarads);
        }
        std::printf(" %.1e", StandardDeviation(difference));
    }
    std::printf("\n");
}

void ReportCoverage(int32_t rate, int seeds) {
    constexpr size_t kCount = std::size(kReadingCounts);
    const TVirtualBoxComponents parts;
    std::vector<int> coveredC(kCount, 0), coveredR(kCount, 0), supported(kCount, 0);
    std::vector<std::vector<double>> zc(kCount), zr(kCount);  // error / expanded uncertainty
    std::vector<std::vector<double>> uc(kCount), ur(kCount);  // median U, relative
    for (int seed = 1; seed <= seeds; ++seed) {
        const TScratch scratch;
        TRig rig(scratch, static_cast<uint64_t>(100 + seed), rate);
        rig.Calibrate();
        // The reading counts the results since Start: no settling results of another length.
        rig.StartCapacitor("1", 0);
        size_t next = 0;
        std::vector<TSeriesFit> fits;  // every result's own fit, to show with an outlier
        while (next < kCount) {
            TDelivery delivery;
            TSeriesFit fit;
            const TMeasurementResult result = rig.Next(1.0, delivery, fit);
            fits.push_back(fit);
            if (!result.Reading || !result.Reading->UncertaintyKnown) {
                throw std::runtime_error("a reading without its uncertainty");
            }
            if (result.Reading->Results < kReadingCounts[next]) {
                continue;
            }
            const TFitReading& reading = *result.Reading;
            const double errorC = reading.Fit.Capacitance - parts.CapacitorFarads;
            const double errorR = reading.Fit.Resistance - parts.CapacitorSeriesOhms;
            coveredC[next] += std::fabs(errorC) <= reading.ReactanceU;
            coveredR[next] += std::fabs(errorR) <= reading.ResistanceU;
            supported[next] += reading.ReactanceSupported;
            zc[next].push_back(errorC / reading.ReactanceU);
            zr[next].push_back(errorR / reading.ResistanceU);
            uc[next].push_back(reading.ReactanceU / parts.CapacitorFarads);
            ur[next].push_back(reading.ResistanceU / parts.CapacitorSeriesOhms);
            if (!reading.ReactanceSupported || std::fabs(errorC) > 3 * reading.ReactanceU) {
                std::printf(
                    "seed %d, %d results: C %.6e +- %.1e, R %.6e +- %.1e, %s, %d saturated "
                    "blocks; each result's C:",
                    100 + seed, static_cast<int>(reading.Results), reading.Fit.Capacitance,
                    reading.ReactanceU, reading.Fit.Resistance, reading.ResistanceU,
                    reading.ReactanceSupported ? "supported" : "unsupported", rig.Saturations);
                for (const TSeriesFit& each : fits) {
                    std::printf(" %.6e", each.Capacitance);
                }
                std::printf("\n");
            }
            ++next;
        }
        (*rig).Stop();
        std::fprintf(stderr, ".");
    }
    std::fprintf(stderr, "\n");

    std::printf(
        "\nCoverage of the k = 2 interval, %d S/s, %d seeds, each calibrated for %s s, "
        "1 s results\n",
        rate, seeds, kCalibrationTime);
    // err/U: the error in units of the stated k = 2 uncertainty; a mean far from 0 is an error
    // that averaging does not reduce and the statistics cannot see.
    std::printf("%7s %9s %10s %10s %10s %9s %10s %10s %10s\n", "results", "C covered", "U/C",
                "mean err/U", "max err/U", "R covered", "U/R", "mean err/U", "max err/U");
    for (size_t i = 0; i < kCount; ++i) {
        std::printf("%7d %6d/%-2d %10.2e %+10.2f %10.2f %6d/%-2d %10.2e %+10.2f %10.2f\n",
                    kReadingCounts[i], coveredC[i], seeds, Median(uc[i]), Mean(zc[i]),
                    MaxAbsolute(zc[i]), coveredR[i], seeds, Median(ur[i]), Mean(zr[i]),
                    MaxAbsolute(zr[i]));
        if (supported[i] != seeds) {
            std::printf("         the capacitance read as unsupported in %d\n",
                        seeds - supported[i]);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int seeds = argc > 1 ? std::atoi(argv[1]) : 20;
    std::vector<int32_t> rates;
    bool slope = true, coverage = true;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "slope" || arg == "coverage") {
            slope = arg == "slope";
            coverage = !slope;
        } else {
            rates.push_back(std::atoi(argv[i]));
        }
    }
    if (rates.empty()) {
        rates = {48000, 192000};
    }
    if (seeds < 3) {
        std::fprintf(stderr,
                     "usage: tavrin_report_trust [seeds >= 3] [rate ...] [slope | coverage]\n");
        return 2;
    }
    try {
        for (const int32_t rate : rates) {
            if (slope) {
                ReportNoiseSlope(rate, seeds);
                std::fflush(stdout);
            }
            if (coverage) {
                ReportCoverage(rate, seeds);
                std::fflush(stdout);
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tavrin_report_trust: %s\n", error.what());
        return 1;
    }
    return 0;
}
