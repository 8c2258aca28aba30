#pragma once

// Fixture compensation: what open terminals, shorted terminals and, optionally, a load of known
// value read per bin, and how a reading is corrected with them. The leads' series impedance Zs
// and the stray admittance Yo across the clips come out with
//     Zdut = (Zm - Zs) / (1 - (Zm - Zs) Yo),  Yo = 1 / (Zo - Zs),
// and with a load the three-term correction also takes out any error of scale, such as the
// inputs' resistance or capacitance beside R ref. The open reading is kept as an admittance so
// that terminals that are truly open (nothing heard on the reference side) are an exact zero.
//
// Each capture remembers the reference arm it was read with; when the arm's C in or R in are
// corrected later, the stored readings are brought to the corrected arm, while a change of
// R ref (another resistor in the box) leaves the ohms of the fixture as they are.

#include <array>
#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "uCalibrationRecord.h"
#include "uEvaluation.h"
#include "uInputArm.h"

namespace tavrin {

enum class TFixturePart { Open = 0, Short = 1, Load = 2 };
inline constexpr int kFixturePartCount = 3;

struct TFixtureCapture {
    std::string Date;     // as the caller wrote it, UTF-8
    TInputArm Arm;        // the arm the values were read with
    double LoadOhms = 0;  // the load's known value (the load capture only)
    // Bin FirstBin + i of the compensation: the open admittance in siemens, the short or load
    // impedance in ohms. Empty when the part was not captured.
    std::vector<TComplex> Values;
    bool Present() const { return !Values.empty(); }
};

// Everything taken with one stimulus on one pair of devices: the set-up (rate, block length,
// band FMin..FMax as the captures covered it, device names; C in is the arms' business), and
// the bins of the band.
struct TFixtureCompensation {
    TMeasuringSetup Setup;
    TBinRange Bins;
    std::array<TFixtureCapture, kFixturePartCount> Parts;

    const TFixtureCapture& Part(TFixturePart part) const { return Parts[static_cast<int>(part)]; }
    TFixtureCapture& Part(TFixturePart part) { return Parts[static_cast<int>(part)]; }
    bool Empty() const;
};

// The reading of one capture over `range` from the calibrated spectra (as the measurement reads
// them, R in included), in the form the compensation keeps.
std::vector<TComplex> FixtureReading(TFixturePart part, std::span<const TComplex> driving,
                                     std::span<const TComplex> reference, TBinRange range,
                                     float angularStep, const TInputArm& arm);

// A fixture's residuals change slowly with frequency (leads are a resistance and an inductance,
// the stray a conductance and a capacitance), while a capture's noise changes from bin to bin and
// would otherwise go into every corrected reading. Each value becomes the mean of the bins
// within `radius` on both sides, the window narrowed near the ends so that it stays symmetric:
// a reading that is linear in frequency comes out unchanged.
inline constexpr int32_t kFixtureSmoothing = 16;
void SmoothFixtureReading(std::vector<TComplex>& values, int32_t radius = kFixtureSmoothing);

// Stores a capture taken with `setup` over `bins` (its values' bins). Captures of another
// set-up are dropped first: the parts of one compensation always share their stimulus and
// devices.
void StoreFixtureCapture(TFixtureCompensation& compensation, TFixturePart part,
                         const TMeasuringSetup& setup, TBinRange bins, TFixtureCapture capture);

// The mark for a compensation that does not fit the set-up `now` (its band the measurement's),
// as the calibration's mark says it ("Not compensated for 96000 S/s, N 4096: compensate
// again"); empty when it fits, or holds nothing and so corrects nothing.
std::string CompensationMark(const TFixtureCompensation& compensation, const TMeasuringSetup& now);

// The per-bin terms of a correction, in the arm of the reading being corrected.
struct TFixtureTerms {
    bool HasOpen = false, HasShort = false, HasLoad = false;
    std::complex<double> OpenAdmittance;  // siemens, as read
    std::complex<double> Short;           // ohms, as read
    std::complex<double> Load;            // ohms, as read
    double LoadOhms = 0;                  // the load's true value
};
std::complex<double> CompensateReading(std::complex<double> measured, const TFixtureTerms& terms);

// Corrects Zx (read with `arm`) of every bin of the range in place. The caller has checked
// CompensationMark; bins the compensation does not hold are left alone.
void CompensateZx(std::span<TComplex> zx, TBinRange range, float angularStep,
                  const TFixtureCompensation& compensation, const TInputArm& arm);

// What the captures tell of the right input beside R ref: the corrected load reads k times its
// value, k being the true arm admittance over the one assumed, so the input's own admittance
// is k Yarm - 1 / R ref, fitted over the bins as a conductance and a capacitance.
struct TInputFigures {
    bool Known = false;
    std::string Reason;               // why not, when not Known
    double Cin = 0;                   // farads: everything in parallel with R ref, as C in means it
    double Rin = kNoInputResistance;  // ohms; infinite when no conductance is found
};
TInputFigures MeasureInputFigures(const TFixtureCompensation& compensation);
// "Input: C in 100.2 pF, R in 47.03 kOhm" (R in "none" when infinite), or
// "Input: " + the reason.
std::string FormatInputFigures(const TInputFigures& figures);

}  // namespace tavrin
