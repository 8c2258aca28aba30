#include "uSettingsFile.h"

#include <filesystem>
#include <system_error>

#include "uFileError.h"
#include "uIniProfile.h"
#include "uNumberText.h"

namespace tavrin {
namespace {

std::string FullPath(std::string path) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    return error ? path : full.lexically_normal().string();
}

[[noreturn]] void ThrowWriteError(const std::string& path) {
    throw EFileError("Impossible d'écrire dans " + path);
}

}  // namespace

TSettingsFile::TSettingsFile(std::string path) : FilePath(FullPath(std::move(path))) {}

std::string TSettingsFile::ReadText(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    std::optional<std::string> text = ProfileRead(FilePath, section, key);
    return text ? std::move(*text) : std::string(defaultValue);
}

int32_t TSettingsFile::ReadInt(std::string_view section, std::string_view key,
                               int32_t defaultValue) const {
    const std::optional<std::string> text = ProfileRead(FilePath, section, key);
    return text ? ParseIniInt(*text).value_or(defaultValue) : defaultValue;
}

bool TSettingsFile::ReadFlag(std::string_view section, std::string_view key,
                             bool defaultValue) const {
    const std::optional<std::string> text = ProfileRead(FilePath, section, key);
    return text ? ParseIniFlag(*text).value_or(defaultValue) : defaultValue;
}

double TSettingsFile::ReadReal(std::string_view section, std::string_view key,
                               double defaultValue) const {
    const std::optional<std::string> text = ProfileRead(FilePath, section, key);
    return text ? ParseIniReal(*text).value_or(defaultValue) : defaultValue;
}

void TSettingsFile::WriteText(std::string_view section, std::string_view key,
                              std::string_view value) {
    if (!ProfileWrite(FilePath, section, key, value)) {
        ThrowWriteError(FilePath);
    }
}

void TSettingsFile::WriteInt(std::string_view section, std::string_view key, int32_t value) {
    WriteText(section, key, FormatIniInt(value));
}

void TSettingsFile::WriteFlag(std::string_view section, std::string_view key, bool value) {
    WriteText(section, key, FormatIniFlag(value));
}

void TSettingsFile::WriteReal(std::string_view section, std::string_view key, double value) {
    WriteText(section, key, FormatIniReal(value));
}

void TSettingsFile::DropSection(std::string_view section) {
    if (!ProfileEraseSection(FilePath, section)) {
        ThrowWriteError(FilePath);
    }
}

}  // namespace tavrin
