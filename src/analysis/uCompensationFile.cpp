#include "uCompensationFile.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <fstream>

#include "uFileError.h"
#include "uFileReplace.h"
#include "uLittleEndian.h"

namespace tavrin {
namespace {

constexpr char kMagic[] = "TAVRINFX";
constexpr size_t kMagicLength = sizeof kMagic - 1;
constexpr uint32_t kVersion = 1;
constexpr uint32_t kTextLimit = 256;  // a date or a device name
// Beyond any block length the program uses (2^18), with room to spare.
constexpr int32_t kLongestBlock = 1 << 24;
constexpr uint32_t kHighestRate = 1000000;

// A counted text; false when its count is beyond the limit or the file.
bool ReadText(TByteReader& in, std::string& text) {
    const uint32_t length = in.U32();
    if (!in.Ok() || length > kTextLimit) {
        return false;
    }
    text = in.Text(length);
    return in.Ok();
}

void AppendText(std::vector<uint8_t>& out, const std::string& text) {
    const std::string kept = text.substr(0, kTextLimit);
    AppendLittleEndian32(out, static_cast<uint32_t>(kept.size()));
    out.insert(out.end(), kept.begin(), kept.end());
}

TCompensationRead Refuse(std::string* reason, std::string text) {
    if (reason) {
        *reason = std::move(text);
    }
    return TCompensationRead::Malformed;
}

bool PowerOfTwo(int32_t n) {
    return n > 0 && (n & (n - 1)) == 0;
}

// A capture's fields after its date; false when one is out of its range.
bool ReadArm(TByteReader& in, TFixturePart part, TFixtureCapture& capture) {
    capture.Arm.Rref = in.F64();
    capture.Arm.Cin = in.F64();
    capture.Arm.Rin = in.F64();
    capture.LoadOhms = in.F64();
    const TInputArm& arm = capture.Arm;
    const bool loadOk = part == TFixturePart::Load
                            ? std::isfinite(capture.LoadOhms) && capture.LoadOhms > 0.0
                            : capture.LoadOhms == 0.0;
    return std::isfinite(arm.Rref) && arm.Rref > 0.0 && std::isfinite(arm.Cin) && arm.Cin >= 0.0 &&
           !std::isnan(arm.Rin) && arm.Rin > 0.0 && loadOk;
}

}  // namespace

TCompensationRead ParseCompensation(std::span<const uint8_t> bytes,
                                    TFixtureCompensation& compensation, std::string* reason) {
    TByteReader in(bytes);
    if (in.Text(kMagicLength) != kMagic) {
        return Refuse(reason, "not a fixture compensation file");
    }
    if (in.U32() != kVersion) {
        return Refuse(reason, "a fixture compensation of another version");
    }
    TFixtureCompensation loaded;
    TMeasuringSetup& setup = loaded.Setup;
    setup.SampleRate = in.U32();
    setup.BlockLength = in.I32();
    setup.FMin = in.F32();
    setup.FMax = in.F32();
    loaded.Bins.Lo = in.I32();
    loaded.Bins.Hi = in.I32();
    if (!in.Ok()) {
        return Refuse(reason, "the file ends in its header");
    }
    if (setup.SampleRate == 0 || setup.SampleRate > kHighestRate ||
        !PowerOfTwo(setup.BlockLength) || setup.BlockLength > kLongestBlock ||
        setup.BlockLength < 4) {
        return Refuse(reason, "impossible rate or block length");
    }
    if (!std::isfinite(setup.FMin) || !std::isfinite(setup.FMax) || loaded.Bins.Lo < 1 ||
        loaded.Bins.Hi < loaded.Bins.Lo || loaded.Bins.Hi > setup.BlockLength / 2 - 1) {
        return Refuse(reason, "impossible band");
    }
    if (!ReadText(in, setup.InputDevice) || !ReadText(in, setup.OutputDevice)) {
        return Refuse(reason, "damaged device names");
    }
    const uint32_t present = in.U32();
    if (!in.Ok()) {
        return Refuse(reason, "the file ends in its header");
    }
    if (present >= 1u << kFixturePartCount) {
        return Refuse(reason, "unknown parts");
    }
    const auto bins = static_cast<size_t>(loaded.Bins.Hi - loaded.Bins.Lo + 1);
    for (int i = 0; i < kFixturePartCount; ++i) {
        if ((present & (1u << i)) == 0) {
            continue;
        }
        const auto part = static_cast<TFixturePart>(i);
        TFixtureCapture& capture = loaded.Part(part);
        if (!ReadText(in, capture.Date)) {
            return Refuse(reason, "damaged date");
        }
        if (!ReadArm(in, part, capture) || !in.Ok()) {
            return Refuse(reason, "damaged reference arm");
        }
        // Checked before allocating, so that a damaged count cannot ask for gigabytes.
        if (in.Remaining() / 8 < bins) {
            return Refuse(reason, "the file ends in its data");
        }
        capture.Values.resize(bins);
        for (TComplex& value : capture.Values) {
            value.Re = in.F32();
            value.Im = in.F32();
            if (!std::isfinite(value.Re) || !std::isfinite(value.Im)) {
                return Refuse(reason, "damaged data");
            }
        }
    }
    if (in.Remaining() != 0) {
        return Refuse(reason, "unexpected bytes at the end");
    }
    compensation = std::move(loaded);
    return TCompensationRead::Loaded;
}

TCompensationRead ReadCompensationFile(const std::string& path, TFixtureCompensation& compensation,
                                       std::string* reason) {
    const std::optional<std::string> text = ReadFileIfAny(path);
    if (!text) {
        return Refuse(reason, "cannot read " + path);
    }
    if (text->empty()) {
        // ReadFileIfAny gives an empty text for a missing file; an empty file is no better.
        std::ifstream probe(path);
        if (!probe) {
            if (reason) {
                *reason = "no compensation";
            }
            return TCompensationRead::Missing;
        }
    }
    const auto* data = reinterpret_cast<const uint8_t*>(text->data());
    return ParseCompensation(std::span<const uint8_t>(data, text->size()), compensation, reason);
}

std::vector<uint8_t> FormatCompensation(const TFixtureCompensation& compensation) {
    std::vector<uint8_t> out(kMagic, kMagic + kMagicLength);
    AppendLittleEndian32(out, kVersion);
    const TMeasuringSetup& setup = compensation.Setup;
    AppendLittleEndian32(out, setup.SampleRate);
    AppendLittleEndian32(out, static_cast<uint32_t>(setup.BlockLength));
    AppendLittleEndian32(out, std::bit_cast<uint32_t>(setup.FMin));
    AppendLittleEndian32(out, std::bit_cast<uint32_t>(setup.FMax));
    AppendLittleEndian32(out, static_cast<uint32_t>(compensation.Bins.Lo));
    AppendLittleEndian32(out, static_cast<uint32_t>(compensation.Bins.Hi));
    AppendText(out, setup.InputDevice);
    AppendText(out, setup.OutputDevice);
    // A part that does not cover the bins exactly would make the whole file unreadable.
    const auto bins =
        static_cast<size_t>(std::max(0, compensation.Bins.Hi - compensation.Bins.Lo + 1));
    const auto written = [&](const TFixtureCapture& capture) {
        return capture.Present() && capture.Values.size() == bins;
    };
    uint32_t present = 0;
    for (int i = 0; i < kFixturePartCount; ++i) {
        present |= written(compensation.Parts[i]) ? 1u << i : 0u;
    }
    AppendLittleEndian32(out, present);
    for (const TFixtureCapture& capture : compensation.Parts) {
        if (!written(capture)) {
            continue;
        }
        AppendText(out, capture.Date);
        for (const double value :
             {capture.Arm.Rref, capture.Arm.Cin, capture.Arm.Rin, capture.LoadOhms}) {
            AppendLittleEndian64(out, std::bit_cast<uint64_t>(value));
        }
        for (const TComplex& value : capture.Values) {
            AppendLittleEndian32(out, std::bit_cast<uint32_t>(value.Re));
            AppendLittleEndian32(out, std::bit_cast<uint32_t>(value.Im));
        }
    }
    return out;
}

void WriteCompensationFile(const std::string& path, const TFixtureCompensation& compensation) {
    const std::vector<uint8_t> bytes = FormatCompensation(compensation);
    if (!ReplaceFileContents(
            path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
        throw EFileError("Impossible de créer le fichier " + path);
    }
}

}  // namespace tavrin
