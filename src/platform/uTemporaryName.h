#pragma once

// The name of a file replacement's temporary file, shared by the systems' sides of
// uFileReplace.h: hidden and named after its target, ".<name>.<pid>.<counter>.tmp".

#include <algorithm>
#include <string_view>

namespace tavrin {

inline bool IsTemporaryName(std::string_view candidate, std::string_view name) {
    const auto digits = [](std::string_view text) {
        return !text.empty() &&
               std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!candidate.starts_with(".") || !candidate.ends_with(".tmp")) {
        return false;
    }
    candidate = candidate.substr(1, candidate.size() - 1 - 4);
    if (!candidate.starts_with(name) || candidate.size() <= name.size() ||
        candidate[name.size()] != '.') {
        return false;
    }
    candidate.remove_prefix(name.size() + 1);
    const size_t dot = candidate.find('.');
    return dot != std::string_view::npos && digits(candidate.substr(0, dot)) &&
           digits(candidate.substr(dot + 1));
}

}  // namespace tavrin
