#include "i18n/DecimalText.h"

#include <limits>

namespace znt {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Beyond this the value is out of range anyway; stop growing it.
constexpr std::int64_t kSaturation = std::int64_t{1} << 33;

}  // namespace

std::optional<std::int32_t> ParseRoundedInt(std::string_view s) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::int64_t value = 0;
    std::size_t digits = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i, ++digits) {
        if (value < kSaturation) value = value * 10 + (s[i] - '0');
    }
    int firstFraction = 0;
    bool restNonZero = false;
    if (i < s.size() && s[i] == '.') {
        for (std::size_t f = 0; ++i < s.size() && IsDigit(s[i]); ++f, ++digits) {
            if (f == 0)
                firstFraction = s[i] - '0';
            else if (s[i] != '0')
                restNonZero = true;
        }
    }
    if (digits == 0 || i != s.size()) return std::nullopt;
    bool half = firstFraction == 5 && !restNonZero;
    if (firstFraction > 5 || (firstFraction == 5 && (!half || value % 2 == 1))) ++value;
    if (negative) value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace znt
