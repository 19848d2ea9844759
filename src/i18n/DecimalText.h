#pragma once

// Decimal numbers as the item files and the shared pack write them.

#include <cstdint>
#include <optional>
#include <string_view>

namespace znt {

// Reads "[+|-]digits[.digits]" (or a bare fraction such as ".5") and nothing
// else. A fraction goes to the nearest whole number, a half to the even
// neighbour, as the conversion to a 32-bit integer does. Nothing is returned
// for other text or for a value outside the 32-bit signed range.
std::optional<std::int32_t> ParseRoundedInt(std::string_view text);

}  // namespace znt
