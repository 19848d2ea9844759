#pragma once

// Standard base64 with "=" padding (RFC 4648), as minisign writes its keys
// and signatures. Decoding is strict: the text must be the one encoding of
// exactly the expected number of bytes, so no changed character decodes to
// the same bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace znt {

std::string Base64Encode(const std::uint8_t* bytes, std::size_t size);

// True when text is the encoding of exactly size bytes, written to out.
bool Base64DecodeExact(std::string_view text, std::uint8_t* out, std::size_t size);

}  // namespace znt
