#pragma once

// FNV-1a, 64 bits: a fast checksum for names and small files of our own (the
// instance lock's name, the install journal's check line). Not for anything
// an attacker chooses the bytes of.

#include <cstdint>
#include <string>
#include <string_view>

namespace ov {

std::uint64_t Fnv1a64(std::string_view bytes);
// The same as 16 lower-case hex digits.
std::string Fnv1a64Hex(std::string_view bytes);

}  // namespace ov
