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
constexpr uint32_t kDateLimit = 256;
// Beyond any block length the program uses (2^18), with room to spare.
constexpr int32_t kLongestBlock = 1 << 24;
constexpr uint32_t kHighestRate = 1000000;

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
    loaded.SampleRate = in.U32();
    loaded.BlockLength = in.I32();
    loaded.LowFrequency = in.F32();
    loaded.HighFrequency = in.F32();
    loaded.Bins.Lo = in.I32();
    loaded.Bins.Hi = in.I32();
    const uint32_t present = in.U32();
    if (!in.Ok()) {
        return Refuse(reason, "the file ends in its header");
    }
    if (loaded.SampleRate == 0 || loaded.SampleRate > kHighestRate ||
        !PowerOfTwo(loaded.BlockLength) || loaded.BlockLength > kLongestBlock ||
        loaded.BlockLength < 4) {
        return Refuse(reason, "impossible rate or block length");
    }
    if (!std::isfinite(loaded.LowFrequency) || !std::isfinite(loaded.HighFrequency) ||
        loaded.Bins.Lo < 1 || loaded.Bins.Hi < loaded.Bins.Lo ||
        loaded.Bins.Hi > loaded.BlockLength / 2 - 1) {
        return Refuse(reason, "impossible band");
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
        const uint32_t dateLength = in.U32();
        if (!in.Ok() || dateLength > kDateLimit) {
            return Refuse(reason, "damaged date");
        }
        capture.Date = in.Text(dateLength);
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
    AppendLittleEndian32(out, compensation.SampleRate);
    AppendLittleEndian32(out, static_cast<uint32_t>(compensation.BlockLength));
    AppendLittleEndian32(out, std::bit_cast<uint32_t>(compensation.LowFrequency));
    AppendLittleEndian32(out, std::bit_cast<uint32_t>(compensation.HighFrequency));
    AppendLittleEndian32(out, static_cast<uint32_t>(compensation.Bins.Lo));
    AppendLittleEndian32(out, static_cast<uint32_t>(compensation.Bins.Hi));
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
        const std::string date = capture.Date.substr(0, kDateLimit);
        AppendLittleEndian32(out, static_cast<uint32_t>(date.size()));
        out.insert(out.end(), date.begin(), date.end());
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
