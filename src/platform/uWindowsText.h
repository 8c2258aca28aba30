#pragma once

// Text between the program (UTF-8 throughout) and the Windows API (UTF-16). Windows only.

#include <string>
#include <string_view>

namespace tavrin {

// Invalid sequences become U+FFFD either way.
std::string Utf8FromWide(std::wstring_view text);
std::wstring WideFromUtf8(std::string_view text);

}  // namespace tavrin
