#pragma once

// The bench-meter side of the measuring session: the readout at a test frequency with its
// series or parallel model, the circuits fitted over the band, R in in the reference arm, and
// the fixture compensation with its open, short and load captures. Its state lives in files of
// its own beside the settings (the settings file keeps the window's layout): "<name>.bench.ini"
// for the test frequency, the model, R in and the plot, "<name>.fixture" for the compensation.
// Runs on the user-interface thread with the session, which feeds it every result.

#include <array>
#include <complex>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "uBandModels.h"
#include "uFixtureCompensation.h"
#include "uSpotReadout.h"

namespace tavrin {

// What a chart shows of an impedance result in place of its real and imaginary part: a pair of
// bench quantities per bin, the first where Re goes, the second where Im goes.
enum class TBenchPlot : int32_t { ReIm = 0, CsEsr, DQ };
inline constexpr int32_t kBenchPlotCount = 3;

// The readings of one impedance result.
struct TBenchReadout {
    TSpotReadout Spot;
    TBandModels Models;
    bool InputResistance = false;  // R in was in the arm
    bool Compensated = false;      // the fixture compensation corrected the result
    // Why the compensation held did not correct it ("Not compensated for ...: compensate
    // again"); empty when it did or when there is none.
    std::string CompensationMark;
    // The spot readout, the models' two lines, then the mark when there is one; CR LF between.
    std::string Text() const;
};

class TBenchMeter {
  public:
    // `settingsPath`: the session's settings file; the bench's files sit beside it.
    explicit TBenchMeter(const std::string& settingsPath);

    // Reads both files; a compensation file that is refused is reported through OnError and
    // left alone on disk. Missing files leave the defaults (1 kHz, automatic, no R in).
    void Load();
    // Writes the bench settings; throws EFileError when the file cannot be written.
    void Save() const;
    const std::string& SettingsPath() const { return FSettingsPath; }
    const std::string& CompensationPath() const { return FCompensationPath; }

    float TestFrequency() const { return FTestFrequency; }
    // "1k", "100 Hz", ...; false, keeping the frequency in force, for anything else.
    bool SetTestFrequencyText(std::string_view text);
    void SetTestFrequency(float hertz);
    TModelChoice Model() const { return FModel; }
    void SetModel(TModelChoice model) { FModel = model; }
    TBenchPlot Plot() const { return FPlot; }
    void SetPlot(TBenchPlot plot) { FPlot = plot; }
    // Whether a window shows the bench's panel.
    bool PanelShown() const { return FPanelShown; }
    void SetPanelShown(bool shown) { FPanelShown = shown; }

    // R in, ohms, as typed: empty for none (infinite, the arm of R ref and C in alone).
    const std::string& RinText() const { return FRinText; }
    bool RinInForce() const { return FRinInForce; }
    double Rin() const { return FRin; }
    bool SetRinText(std::string text);

    // The compensation held, whether it is applied, and what its captures tell of the inputs.
    const TFixtureCompensation& Compensation() const { return FCompensation; }
    bool CompensationOn() const { return FCompensationOn; }
    void SetCompensationOn(bool on) { FCompensationOn = on; }
    // Forgets every capture and removes the file; throws EFileError when it cannot, or when the
    // file is another program's (the captures are forgotten here all the same).
    void ClearCompensation();
    // Another program owns the files beside the settings: captures are held and used here but
    // never written, each reported with `notice`, and Clear leaves the file as it is.
    void LeaveFilesAlone(std::string notice) { FFilesElsewhere = std::move(notice); }
    TInputFigures InputFigures() const { return MeasureInputFigures(FCompensation); }

    // A capture of `part` is taken from the next results of the run: the first results go to
    // the level loop, the next kCaptureResults unsaturated ones are averaged. `loadOhms`: the
    // load's true value (the load only; above 0).
    static constexpr int kSettleResults = 2;
    static constexpr int kCaptureResults = 3;
    bool BeginCapture(TFixturePart part, double loadOhms = 0);
    void CancelCapture() { FCapturing.reset(); }
    std::optional<TFixturePart> Capturing() const;

    // The session's calls for each result. The capture takes the calibrated spectra before the
    // evaluation; `setup` says what the run is (rate, block length, band, devices).
    void OfferCapture(std::span<const TComplex> driving, std::span<const TComplex> reference,
                      TBinRange bins, float angularStep, const TInputArm& arm,
                      const TMeasuringSetup& setup, bool saturated);
    // Corrects Zx in place: R in, then the compensation when it fits the set-up.
    void Correct(std::span<TComplex> zx, TBinRange bins, float angularStep, const TInputArm& arm,
                 const TMeasuringSetup& setup);
    // The readings of the corrected Zx.
    const TBenchReadout& Read(std::span<const TComplex> zx, TBinRange bins, uint32_t sampleRate,
                              int32_t blockLength);
    const TBenchReadout& LastReadout() const { return FReadout; }

    // The pair the plot shows at every bin of the range, into `out` (slot k = bin k; Re the
    // first quantity, Im the second). Nothing for Re and Im.
    void PlotPoints(std::span<const TComplex> zx, TBinRange bins, uint32_t sampleRate,
                    int32_t blockLength, std::span<TComplex> out) const;

    // A capture is stored (and its file written): the part, and the Input line when the load
    // was the part.
    std::function<void(TFixturePart part)> OnCaptureDone;
    // A file that cannot be written or read.
    std::function<void(const std::string& text)> OnError;
    // The date a capture is stamped with; the system's clock unless a test says otherwise.
    std::function<std::time_t()> Now;

  private:
    struct TCapture {
        TFixturePart Part;
        double LoadOhms = 0;
        int Settled = 0;
        int Taken = 0;
        std::vector<std::complex<double>> Sum;
    };
    void StoreCapture(TCapture& capture, TBinRange bins, const TInputArm& arm,
                      const TMeasuringSetup& setup);
    void Report(const std::string& text) const;

    std::string FSettingsPath;
    std::string FCompensationPath;
    float FTestFrequency = 1000.0f;
    TModelChoice FModel = TModelChoice::Automatic;
    TBenchPlot FPlot = TBenchPlot::ReIm;
    bool FPanelShown = false;
    std::string FRinText;
    bool FRinInForce = true;
    double FRin = kNoInputResistance;
    TFixtureCompensation FCompensation;
    bool FCompensationOn = true;
    std::optional<TCapture> FCapturing;
    TBenchReadout FReadout;
    std::string FFilesElsewhere;  // empty while the files are this program's
};

// "Re/Im", "Cs/ESR", "D/Q"; and each curve's name and unit ("Cs", "F"; "ESR", "Ohm"; ...).
std::string BenchPlotName(TBenchPlot plot);
struct TBenchCurve {
    std::string Name;
    std::string Unit;
};
std::array<TBenchCurve, 2> BenchPlotCurves(TBenchPlot plot);
// The names the command line and the settings use: "open", "short", "load".
std::string FixturePartName(TFixturePart part);

}  // namespace tavrin
