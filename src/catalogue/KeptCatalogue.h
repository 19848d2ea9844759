#pragma once

// The catalogue files last read whole (and trusted, where the installation
// holds a key), kept with the validators the server gave them, so that the
// next fetch asks only whether they changed and a 304 costs one small
// request. They live in <installFolder>\core\cache\catalogue\: each file
// <name> beside <name>.validators, whose lines are "etag <value>",
// "last-modified <value>" and "sha256 <64 hex digits>" (of the kept bytes).
// Emptying core\cache after an update removes the files directly in it,
// not this folder.
//
// Only runs that hold the installation's single-instance lock replace them;
// others (LIST) read them and leave them as they are. A kept file is
// offered only when its validators file reads cleanly (bounded, no control
// character, a known key on every line) and its bytes still have the
// recorded hash; anything else reads as no kept file, and the file is then
// fetched whole.

#include "OVShared/Platform/Inet.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace znt {

struct KeptFile {
    std::string bytes;
    ov::InetValidators validators;
};

class KeptCatalogue {
public:
    // folder ends without a separator; writable when this run may replace the files.
    KeptCatalogue(std::string folder, bool writable);
    static KeptCatalogue OfInstallation(std::string_view installFolder, bool writable);

    // The kept copy of name (at most maxBytes), checked as above.
    std::optional<KeptFile> Load(std::string_view name, std::uint64_t maxBytes) const;
    // Replaces the kept copy of name; nothing happens unless writable and the
    // validators hold something worth asking with. False when it could not be written.
    bool Store(std::string_view name, std::string_view bytes,
               const ov::InetValidators& validators) const;

    const std::string& folder() const { return folder_; }
    bool writable() const { return writable_; }

private:
    std::string Path(std::string_view name) const;

    std::string folder_;
    bool writable_;
};

// The validators file's text for validators and the bytes' SHA-256 hex;
// its reading. Nothing when the text is not one this program writes.
std::string ValidatorsText(const ov::InetValidators& validators, std::string_view sha256Hex);
struct KeptRecord {
    ov::InetValidators validators;
    std::string sha256Hex;
};
std::optional<KeptRecord> ReadValidatorsText(std::string_view text);

}  // namespace znt
