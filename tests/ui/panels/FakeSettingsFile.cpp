// Temporary: the settings file's implementation is not on main yet. An in-memory file per path
// with the same reading rules, enough for the panels' tests; remove once it lands.

#include <map>
#include <string>

#include "uNumberText.h"
#include "uSettingsFile.h"

namespace tavrin {
namespace {

using TSection = std::map<std::string, std::string>;
using TFile = std::map<std::string, TSection>;

std::map<std::string, TFile>& Files() {
    static std::map<std::string, TFile> files;
    return files;
}

const std::string* Find(const std::string& path, std::string_view section, std::string_view key) {
    const auto file = Files().find(path);
    if (file == Files().end()) {
        return nullptr;
    }
    const auto found = file->second.find(std::string(section));
    if (found == file->second.end()) {
        return nullptr;
    }
    const auto value = found->second.find(std::string(key));
    return value == found->second.end() ? nullptr : &value->second;
}

}  // namespace

TSettingsFile::TSettingsFile(std::string path) : FilePath(std::move(path)) {}

std::string TSettingsFile::ReadText(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    const std::string* text = Find(FilePath, section, key);
    return text ? text->substr(0, 2047) : std::string(defaultValue);
}

int32_t TSettingsFile::ReadInt(std::string_view section, std::string_view key,
                               int32_t defaultValue) const {
    const std::string* text = Find(FilePath, section, key);
    return text ? ParseIniInt(*text).value_or(defaultValue) : defaultValue;
}

bool TSettingsFile::ReadFlag(std::string_view section, std::string_view key,
                             bool defaultValue) const {
    const std::string* text = Find(FilePath, section, key);
    return text ? ParseIniFlag(*text).value_or(defaultValue) : defaultValue;
}

double TSettingsFile::ReadReal(std::string_view section, std::string_view key,
                               double defaultValue) const {
    const std::string* text = Find(FilePath, section, key);
    return text ? ParseIniReal(*text).value_or(defaultValue) : defaultValue;
}

void TSettingsFile::WriteText(std::string_view section, std::string_view key,
                              std::string_view value) {
    Files()[FilePath][std::string(section)][std::string(key)] = std::string(value);
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
    Files()[FilePath].erase(std::string(section));
}

}  // namespace tavrin
