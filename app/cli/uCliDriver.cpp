#include "uCliDriver.h"

#include <CLI/CLI.hpp>

#include "uCliError.h"
#include "uCliJson.h"
#include "uCliSetup.h"
#include "uNumberText.h"
#include "uTraceImport.h"

namespace tavrin::cli {
namespace {

// A positive number as typed, in the option's unit, scaled to SI.
double PositiveNumber(const std::string& text, const std::string& option, const char* unit,
                      double scale) {
    const std::optional<double> number = ParseTypedNumber(text);
    if (!number || !(*number > 0)) {
        throw ECliError(option + " takes " + unit + ", a positive number, not \"" + text + "\"");
    }
    return *number * scale;
}

nlohmann::json FitJson(const TDriverFit& fit) {
    nlohmann::json json;
    json["fit"] = fit.Ok;
    if (!fit.Ok) {
        json["reason"] = fit.Reason.empty() ? "not measured" : fit.Reason;
        return json;
    }
    const TDriverParameters& p = fit.Parameters;
    json["model"] = p.Model == TDriverModel::LR2 ? "LR2" : "Le";
    json["re"] = p.Re;
    json["fs"] = p.Fs;
    json["qms"] = p.Qms;
    json["qes"] = p.Qes;
    json["qts"] = TotalQ(p);
    json["le"] = p.Le;
    if (p.Model == TDriverModel::LR2) {
        json["r2"] = p.R2;
        json["l2"] = p.L2;
    }
    json["residual"] = fit.Residual;
    json["band"] = {fit.LowFrequency, fit.HighFrequency};
    return json;
}

}  // namespace

void TDriverOptions::Register(CLI::App& command) {
    auto* mass =
        command.add_option("--added-mass", AddedMass, "driver: the mass added to the cone, g");
    auto* volume = command.add_option("--volume", Volume, "driver: the closed box's volume, l");
    mass->excludes(volume);
    command.add_option("--sd", Sd, "driver: the cone's area Sd, cm2");
    command.add_option("--free-air", FreeAir,
                       "driver: the free-air curve (.zma, .csv, .s1p) for the second step");
    command.add_option("--save", SaveBase,
                       "driver: write BASE.txt and the curves as BASE.zma, BASE-mass.zma or "
                       "BASE-box.zma");
}

bool TDriverOptions::Given() const {
    return AddedMass || Volume || Sd || FreeAir || SaveBase;
}

void TDriverOptions::Prepare(TDriverMeasurement& driver) const {
    if (Sd) {
        driver.SetSd(PositiveNumber(*Sd, "--sd", "square centimetres", 1e-4));
    }
    if (AddedMass) {
        driver.SetAddedMass(PositiveNumber(*AddedMass, "--added-mass", "grams", 1e-3));
        driver.SetMethod(TDriverMethod::AddedMass);
    } else if (Volume) {
        driver.SetBoxVolume(PositiveNumber(*Volume, "--volume", "litres", 1e-3));
        driver.SetMethod(TDriverMethod::KnownVolume);
    }
    const bool second = AddedMass || Volume;
    if (second && !Sd) {
        throw ECliError("--added-mass and --volume need the cone's area: --sd CM2");
    }
    if (second != FreeAir.has_value()) {
        throw ECliError(second ? "the second step needs the free-air curve: --free-air FILE "
                                 "(written by a free-air run with --save)"
                               : "--free-air goes with --added-mass or --volume");
    }
    if (SaveBase) {
        CheckWritable(*SaveBase + ".txt");
    }
    if (FreeAir) {
        TTraceRead read = ReadTraceFile(*FreeAir);
        if (!read.Trace) {
            throw ECliError(read.Error);
        }
        if (read.Trace->Kind != TTraceKind::Impedance) {
            throw ECliError(*FreeAir + " holds no impedance");
        }
        driver.TakeCurve(TDriverStep::FreeAir, std::move(*read.Trace));
        if (!driver.Results().FreeAir.Ok) {
            throw ECliError("no fit of the free-air curve in " + *FreeAir + ": " +
                            driver.Results().FreeAir.Reason);
        }
        driver.SetStep(TDriverStep::Second);
    }
}

void TDriverOptions::Save(const TDriverMeasurement& driver) const {
    if (SaveBase) {
        if (const auto error = driver.Save(*SaveBase)) {
            throw ECliError(*error);
        }
    }
}

nlohmann::json DriverJson(const TDriverResults& results) {
    nlohmann::json json;
    json["free_air"] = FitJson(results.FreeAir);
    switch (results.Method) {
        case TDriverMethod::FreeAirOnly:
            json["method"] = "free_air";
            break;
        case TDriverMethod::AddedMass:
            json["method"] = "added_mass";
            json["added_mass"] = results.Amount;
            break;
        case TDriverMethod::KnownVolume:
            json["method"] = "known_volume";
            json["volume"] = results.Amount;
            break;
    }
    if (results.Sd > 0) {
        json["sd"] = results.Sd;
    }
    if (results.Method != TDriverMethod::FreeAirOnly) {
        json["second"] = FitJson(results.Second);
        const TDriverMechanics& m = results.Mechanics;
        nlohmann::json mechanics;
        if (m.Ok) {
            mechanics = {{"mms", m.Mms},         {"cms", m.Cms},   {"vas", m.Vas},
                         {"bl", m.Bl},           {"eta0", m.Eta0}, {"spl_1w", m.Spl1W},
                         {"spl_2v83", m.Spl2V83}};
        } else {
            mechanics["reason"] = m.Reason;
        }
        json["mechanics"] = mechanics;
    }
    json["text"] = TextLines(DriverResultsText(results));
    return json;
}

}  // namespace tavrin::cli
