#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavrin {

// The settings file as its writers see it: typed values by section and key, each read or
// written at once in the file through the INI profile service (no cache). A read returns the
// default when the file, section or key is missing or unreadable, or the text is not of the
// requested type. A write or DropSection that fails throws EFileError with
// "Impossible d'écrire dans <full path>". Value formats: FormatIni.../ParseIni... of
// uNumberText.h. Used on the user-interface thread only.
class TSettingsFile {
  public:
    // A relative path is taken against the current folder and kept in full.
    explicit TSettingsFile(std::string path);

    const std::string& Path() const { return FilePath; }

    std::string ReadText(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
    int32_t ReadInt(std::string_view section, std::string_view key, int32_t defaultValue) const;
    bool ReadFlag(std::string_view section, std::string_view key, bool defaultValue) const;
    double ReadReal(std::string_view section, std::string_view key, double defaultValue) const;

    void WriteText(std::string_view section, std::string_view key, std::string_view value);
    void WriteInt(std::string_view section, std::string_view key, int32_t value);
    void WriteFlag(std::string_view section, std::string_view key, bool value);
    void WriteReal(std::string_view section, std::string_view key, double value);
    void DropSection(std::string_view section);

  private:
    std::string FilePath;
};

}  // namespace tavrin
