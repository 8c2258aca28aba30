#include "uCalibrationRecord.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

#include "uFileError.h"
#include "uFileReplace.h"
#include "uIniText.h"
#include "uNumberText.h"

namespace tavrin {
namespace {

constexpr const char* kSection = "Calibration";

std::string Hz(float f) {
    return FormatGeneral(f, 7);
}

std::optional<std::string> Value(const std::string& text, const char* key) {
    return IniReadValue(text, kSection, key);
}

double RealOr(const std::string& text, const char* key, double fallback) {
    const std::optional<std::string> value = Value(text, key);
    const std::optional<double> number = value ? ParseIniReal(*value) : std::nullopt;
    return number && std::isfinite(*number) ? *number : fallback;
}

// A float setting: a number beyond a float's range is as unreadable as no number.
float FloatOr(const std::string& text, const char* key, double fallback) {
    const double number = RealOr(text, key, fallback);
    return std::fabs(number) <= std::numeric_limits<float>::max() ? static_cast<float>(number)
                                                                  : static_cast<float>(fallback);
}

// 0 when missing, not a number or not above 0.
int32_t PositiveIntOr(const std::string& text, const char* key) {
    const std::optional<std::string> value = Value(text, key);
    const std::optional<int32_t> number = value ? ParseIniInt(*value) : std::nullopt;
    return number && *number > 0 ? *number : 0;
}

}  // namespace

TSetupDifference CompareSetup(const TMeasuringSetup& madeFor, const TMeasuringSetup& now) {
    if (madeFor.SampleRate != now.SampleRate || madeFor.BlockLength != now.BlockLength) {
        return TSetupDifference::RateOrLength;
    }
    // A name nobody knew (an older record, a caller without device names) is not held against
    // the set-up.
    const auto differs = [](const std::string& a, const std::string& b) {
        return !a.empty() && !b.empty() && a != b;
    };
    if (differs(madeFor.InputDevice, now.InputDevice) ||
        differs(madeFor.OutputDevice, now.OutputDevice)) {
        return TSetupDifference::Devices;
    }
    // Outside the band it was made over, a stored ratio holds noise rather than a correction.
    if (now.FMin < madeFor.FMin || now.FMax > madeFor.FMax) {
        return TSetupDifference::Band;
    }
    return TSetupDifference::None;
}

std::string SetupMismatchText(TSetupDifference difference, const TMeasuringSetup& now,
                              const std::string& what, const std::string& redo) {
    switch (difference) {
        case TSetupDifference::None:
            return {};
        case TSetupDifference::RateOrLength:
            return "Not " + what + " for " + std::to_string(now.SampleRate) + " S/s, N " +
                   std::to_string(now.BlockLength) + ": " + redo + " again";
        case TSetupDifference::Devices:
            return "Not " + what + " for these devices: " + redo + " again";
        case TSetupDifference::Band:
            return "Not " + what + " for " + Hz(now.FMin) + "-" + Hz(now.FMax) + " Hz: " + redo +
                   " again";
    }
    return {};
}

std::string CalibrationMark(const std::optional<TCalibrationRecord>& record, size_t entries,
                            const TMeasuringSetup& now) {
    if (entries == 0) {
        return "Not calibrated for " + std::to_string(now.SampleRate) + " S/s, N " +
               std::to_string(now.BlockLength) + ": calibrate first";
    }
    if (!record) {
        // A table of the right length may still come from another rate or another card.
        return "Calibration made for an unknown set-up: calibrate again";
    }
    TSetupDifference difference = CompareSetup(record->Setup, now);
    if (difference == TSetupDifference::None &&
        entries != static_cast<size_t>(now.BlockLength / 2)) {
        difference = TSetupDifference::RateOrLength;  // the table no longer matches its record
    }
    return SetupMismatchText(difference, now, "calibrated", "calibrate");
}

std::string HardwareName(const std::string& deviceName) {
    const size_t colon = deviceName.find(": ");
    return colon == std::string::npos ? deviceName : deviceName.substr(0, colon);
}

std::string CalibrationRecordPath(const std::string& calibrationPath) {
    return calibrationPath + ".ini";
}

std::string FormatCalibrationRecord(const TCalibrationRecord& record) {
    const TMeasuringSetup& s = record.Setup;
    std::string text = "[Calibration]\n";
    IniWriteValue(text, kSection, "SampleRate", std::to_string(s.SampleRate));
    IniWriteValue(text, kSection, "BlockLength", std::to_string(s.BlockLength));
    IniWriteValue(text, kSection, "FMin", FormatIniReal(s.FMin));
    IniWriteValue(text, kSection, "FMax", FormatIniReal(s.FMax));
    IniWriteValue(text, kSection, "InputDevice", s.InputDevice);
    IniWriteValue(text, kSection, "OutputDevice", s.OutputDevice);
    IniWriteValue(text, kSection, "Cin", FormatIniReal(s.CinPf));
    IniWriteValue(text, kSection, "Made", record.Made);
    IniWriteValue(text, kSection, "RelativeNoise", FormatIniReal(record.RelativeNoise));
    return text;
}

std::optional<TCalibrationRecord> ParseCalibrationRecord(const std::string& text) {
    const int32_t rate = PositiveIntOr(text, "SampleRate");
    const int32_t length = PositiveIntOr(text, "BlockLength");
    if (rate == 0 || length == 0) {
        return std::nullopt;
    }
    TCalibrationRecord record;
    TMeasuringSetup& s = record.Setup;
    s.SampleRate = static_cast<uint32_t>(rate);
    s.BlockLength = length;
    s.FMin = FloatOr(text, "FMin", 0.0);
    s.FMax = FloatOr(text, "FMax", static_cast<double>(s.SampleRate) / 2);
    s.InputDevice = Value(text, "InputDevice").value_or("");
    s.OutputDevice = Value(text, "OutputDevice").value_or("");
    s.CinPf = RealOr(text, "Cin", 0.0);
    record.Made = Value(text, "Made").value_or("");
    record.RelativeNoise = RealOr(text, "RelativeNoise", 0.0);
    if (!(record.RelativeNoise >= 0.0)) {
        record.RelativeNoise = 0.0;
    }
    return record;
}

std::optional<TCalibrationRecord> ReadCalibrationRecord(const std::string& path) {
    const std::optional<std::string> text = ReadFileIfAny(path);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    return ParseCalibrationRecord(*text);
}

void WriteCalibrationRecord(const std::string& path,
                            const std::optional<TCalibrationRecord>& record) {
    if (!record) {
        if (std::remove(path.c_str()) != 0 && errno != ENOENT) {
            throw EFileError("Impossible de créer le fichier " + path);
        }
        return;
    }
    if (!ReplaceFileContents(path, FormatCalibrationRecord(*record))) {
        throw EFileError("Impossible de créer le fichier " + path);
    }
}

std::string FormatRecordTime(std::time_t when) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &when);
#else
    localtime_r(&when, &local);
#endif
    char text[32];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text, length);
}

}  // namespace tavrin
