// What the systems' sides of uFileReplace.h share: built on their ReadWholeFile.

#include "uFileReplace.h"

namespace tavrin {

std::optional<std::string> ReadFileIfAny(const std::string& path) {
    TFileBytes file = ReadWholeFile(path);
    switch (file.Status) {
        case TFileBytes::TStatus::Read:
            return std::move(file.Bytes);
        case TFileBytes::TStatus::Missing:
            return std::string();
        case TFileBytes::TStatus::NotRegular:
        case TFileBytes::TStatus::Unreadable:
            break;
    }
    return std::nullopt;
}

}  // namespace tavrin
