#pragma once

// Builds small Windows executables (PE32 or PE32+) whose resource section
// holds a version resource, for tests of the version reader and for demo
// installations. The image has a one-byte .text section and a .rsrc section;
// it is well formed but never meant to run. Depends on the standard library only.

#include <array>
#include <cstdint>
#include <string>

namespace testsupport {

// Deliberate defects, each named by what is wrong with the file.
enum class PeFault {
    None,
    NoResourceSection,    // no .rsrc section and an empty resource directory entry
    NoVersionResource,    // a resource section holding only a manifest (type 24)
    Truncated,            // the file ends inside the version block
    BadPeSignature,       // "PX\0\0" instead of "PE\0\0"
    BadVersionSignature,  // VS_FIXEDFILEINFO signature is not 0xFEEF04BD
};

struct PeOptions {
    bool pe32Plus = false;
    bool dll = false;
    std::array<std::uint16_t, 4> fileVersion{2, 1, 7, 3};
    std::array<std::uint16_t, 4> productVersion{2, 1, 7, 3};
    PeFault fault = PeFault::None;
    // Bytes appended after the image; lets callers give files distinct sizes
    // and contents without touching the version.
    std::string overlay;
};

std::string MakePe(const PeOptions& options = {});

// Writes MakePe(options) to path; false when the file cannot be written.
bool WritePe(const std::string& path, const PeOptions& options = {});

// The product-version low double word a catalogue stores for a version a.b.c.d.
std::uint32_t VersionLow(const std::array<std::uint16_t, 4>& version);

}  // namespace testsupport
