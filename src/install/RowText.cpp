#include "install/RowText.h"

namespace znt {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool IsC1Control(unsigned char lead, unsigned char next) {
    return lead == 0xC2 && next >= 0x80 && next <= 0x9F;
}

bool IsLineSeparator(std::string_view rest) {
    return rest.size() >= 3 && rest.substr(0, 2) == "\xE2\x80" &&
           (rest[2] == '\xA8' || rest[2] == '\xA9');
}

}  // namespace

std::string OneRowText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        if (c < 0x20 || c == 0x7F) {
            out += kReplacement;
        } else if (IsC1Control(c, next)) {
            out += kReplacement;
            ++i;
        } else if (IsLineSeparator(utf8.substr(i))) {
            out += kReplacement;
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace znt
