#pragma once

// Portable reader of the version resource of a Windows executable or DLL
// (PE32 and PE32+). It finds the first RT_VERSION resource and returns its
// VS_FIXEDFILEINFO record. Every offset in the file is checked against the
// bytes at hand, so any input, however damaged, gives a result or nothing.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ov {

// The 13 double words of VS_FIXEDFILEINFO, in their order in the file:
// signature, structure version, file version high and low, product version
// high and low, flags mask, flags, OS, type, subtype, date high and low.
struct FixedFileInfo {
    std::array<std::uint32_t, 13> words{};

    std::uint32_t FileVersionHigh() const { return words[2]; }
    std::uint32_t FileVersionLow() const { return words[3]; }
    std::uint32_t ProductVersionHigh() const { return words[4]; }
    // Third version part times 65536 plus the fourth.
    std::uint32_t ProductVersionLow() const { return words[5]; }
};

inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

// Reads the fixed version record from a whole file held in memory.
std::optional<FixedFileInfo> ReadFixedFileInfo(std::string_view fileBytes);

// Reads the fixed version record of the file at path. Only the headers and
// the resource section are read, so large files cost little; a resource
// section above 64 MiB or headers beyond the first MiB give nothing.
std::optional<FixedFileInfo> ReadFixedFileInfoFromFile(std::string_view path);

// Product version low double word of the file at path; nothing when the file
// is missing or has no readable version resource.
std::optional<std::uint32_t> ReadProductVersionLow(std::string_view path);

}  // namespace ov
