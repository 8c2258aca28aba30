#include "uCalibrationFile.h"

#include <bit>
#include <cstring>
#include <fstream>

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
    }
    entries = std::move(loaded);
    return TCalibrationRead::Loaded;
}

TCalibrationRead ReadCalibrationFile(const std::string& path, std::vector<TComplex>& entries) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        return TCalibrationRead::Missing;
    }
    const std::streamoff size = file.tellg();
    // Never read (or allocate) more than the largest well-formed file can hold.
    const std::streamoff limit = 4 + 8 * static_cast<std::streamoff>(kCalibrationEntryLimit);
    if (size < 0) {
        return TCalibrationRead::Missing;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size < limit ? size : limit));
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()))) {
        return TCalibrationRead::Malformed;
    }
    return ParseCalibration(bytes, entries);
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
