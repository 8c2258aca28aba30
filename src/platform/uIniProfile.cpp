#include "uIniProfile.h"

#include "uFileReplace.h"

namespace tavrin {
namespace {

// The file's text; empty when there is none; nullopt when it cannot be read or is UTF-16, which
// no 8-bit edit may touch.
std::optional<std::string> ReadIniText(const std::string& path) {
    std::optional<std::string> text = ReadFileIfAny(path);
    if (text && IsUtf16Text(*text)) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

std::optional<std::string> ProfileRead(const std::string& path, std::string_view section,
                                       std::string_view key) {
    const std::optional<std::string> text = ReadIniText(path);
    if (!text) {
        return std::nullopt;
    }
    return IniReadValue(*text, section, key);
}

bool ProfileWrite(const std::string& path, std::string_view section, std::string_view key,
                  std::string_view value) {
    // A file that exists but cannot be read must fail here: writing our one value into an
    // empty text would replace the user's settings with it.
    std::optional<std::string> text = ReadIniText(path);
    if (!text || !IniWriteValue(*text, section, key, value)) {
        return false;
    }
    return ReplaceFileContents(path, *text);
}

bool ProfileEraseSection(const std::string& path, std::string_view section) {
    std::optional<std::string> text = ReadIniText(path);
    if (!text) {
        return false;
    }
    if (!IniEraseSection(*text, section)) {
        return true;
    }
    return ReplaceFileContents(path, *text);
}

}  // namespace tavrin
