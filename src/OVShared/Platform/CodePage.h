#pragma once

// Single-byte Windows code pages used by the language packs and catalogues.
// The program keeps texts in UTF-8; packs and catalogues are decoded when read.

#include <string>
#include <string_view>

namespace ov {

enum class CodePage { Windows1252, Windows1253 };

// Font character set 161 (Greek) reads as Windows-1253, anything else as Windows-1252.
CodePage CodePageForCharset(int charset);

std::string DecodeToUtf8(std::string_view bytes, CodePage cp);

// Characters the code page cannot hold become replacement.
std::string EncodeFromUtf8(std::string_view utf8, CodePage cp, char replacement = '?');

// True when every character of utf8 survives a round trip through the code page.
bool IsEncodable(std::string_view utf8, CodePage cp);

}  // namespace ov
