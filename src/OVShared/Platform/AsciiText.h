#pragma once

// Case rules for the words the program compares and builds itself: launch
// words and switches, catalogue codes, file and key names, HTTP header
// names. Only the ASCII letters change case; every other byte (UTF-8
// sequences, code-page letters) is kept as it is, whatever the C locale says.

#include <string>
#include <string_view>

namespace ov {

char AsciiLower(char c);
char AsciiUpper(char c);
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);

// True when a and b have the same length and differ only in the case of
// ASCII letters.
bool EqualsNoCase(std::string_view a, std::string_view b);
// True when text starts with prefix, ASCII letters compared without case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

}  // namespace ov
