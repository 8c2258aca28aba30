#include "uCalibrationFile.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <system_error>

#include "uFileError.h"
#include "uFileReplace.h"
#include "uLittleEndian.h"

namespace tavrin {

TCalibrationRead ParseCalibration(std::span<const uint8_t> bytes, std::vector<TComplex>& entries) {
    if (bytes.size() < 4) {
        return TCalibrationRead::Malformed;
    }
    const int32_t count = static_cast<int32_t>(ReadLittleEndian32(bytes.data()));
    const uint64_t room = (bytes.size() - 4) / 8;
    if (count < 0 || count > kCalibrationEntryLimit || static_cast<uint64_t>(count) > room) {
        return TCalibrationRead::Malformed;
    }
    std::vector<TComplex> loaded(static_cast<size_t>(count));
    const uint8_t* p = bytes.data() + 4;
    for (TComplex& entry : loaded) {
        entry.Re = std::bit_cast<float>(ReadLittleEndian32(p));
        entry.Im = std::bit_cast<float>(ReadLittleEndian32(p + 4));
        p += 8;
        // A measured ratio is finite, and never zero: that would mean a silent input.
        if (!std::isfinite(entry.Re) || !std::isfinite(entry.Im) ||
            (entry.Re == 0.0f && entry.Im == 0.0f)) {
            return TCalibrationRead::Invalid;
        }
    }
    entries = std::move(loaded);
    return TCalibrationRead::Loaded;
}

TCalibrationLoad ReadCalibrationFile(const std::string& path, std::vector<TComplex>& entries) {
    // Never read (or allocate) more than the largest well-formed file can hold.
    const size_t limit = 4 + 8 * static_cast<size_t>(kCalibrationEntryLimit);
    const TFileBytes file = ReadWholeFile(path, limit);
    TCalibrationLoad load;
    std::string why;
    switch (file.Status) {
        case TFileBytes::TStatus::Missing:
            return load;
        case TFileBytes::TStatus::NotRegular:
            load.Result = TCalibrationRead::Unreadable;
            why = "it is not a regular file";
            break;
        case TFileBytes::TStatus::Unreadable:
            load.Result = TCalibrationRead::Unreadable;
            why = std::generic_category().message(file.Error);
            break;
        case TFileBytes::TStatus::Read:
            load.Result = ParseCalibration(
                std::span(reinterpret_cast<const uint8_t*>(file.Bytes.data()), file.Bytes.size()),
                entries);
            why = load.Result == TCalibrationRead::Invalid
                      ? "it holds entries that are not finite or are zero"
                      : "it is shorter than its count of entries says, or the count is wrong";
            break;
    }
    if (load.Result != TCalibrationRead::Loaded) {
        load.Problem = "Can not use the calibration file " + path + ": " + why +
                       ". It is kept as it is until a new calibration replaces it.";
    }
    return load;
}

std::vector<uint8_t> FormatCalibration(const std::vector<TComplex>& entries) {
    std::vector<uint8_t> bytes;
    bytes.reserve(4 + 8 * entries.size());
    AppendLittleEndian32(bytes, static_cast<uint32_t>(entries.size()));
    for (const TComplex& entry : entries) {
        AppendLittleEndian32(bytes, std::bit_cast<uint32_t>(entry.Re));
        AppendLittleEndian32(bytes, std::bit_cast<uint32_t>(entry.Im));
    }
    return bytes;
}

void WriteCalibrationFile(const std::string& path, const std::vector<TComplex>& entries) {
    const std::vector<uint8_t> bytes = FormatCalibration(entries);
    if (!ReplaceFileContents(
            path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
        throw EFileError("Impossible de créer le fichier " + path);
    }
}

}  // namespace tavrin
