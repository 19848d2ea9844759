#pragma once

// Whether a fetched catalogue may be trusted. An installation that holds a
// minisign public key in core\zntr.pub accepts a catalogue only together with
// packages.sha256 (sha256sum lines for "packages.dat" and "files/<archive>")
// and its signature packages.sha256.minisig by that key, when packages.dat has
// the listed hash and the signature's timestamp is not older than the last one
// this user accepted for that key (kept in the settings store, so that an old
// catalogue cannot be replayed). The listed archive hashes then bind every
// archive the install run fetches. Without the key file nothing is checked.

#include "catalogue/Signature.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ov {
class RegistryStore;
}

namespace znt {

inline constexpr std::uint64_t kMaxHashListBytes = 16u << 20;
inline constexpr const char* kHashListName = "packages.sha256";
inline constexpr const char* kHashListSignatureName = "packages.sha256.minisig";

// The archive hashes a signed catalogue lists.
struct ArchiveHashes {
    bool required = false;  // the catalogue was signed: every archive must match
    std::map<std::string, std::string> hexByName;  // ArchiveName -> lower-case hex
    std::string deltaIndexHex;                     // of packages.delta, when the list names it

    // The listed hash of an archive; nothing when it is not listed.
    const std::string* Find(const std::string& archiveName) const;
};

// sha256sum lines ("<64 hex digits>  <path>", or " *<path>" for binary mode):
// path -> lower-case hex. Nothing when a line is malformed or a path repeats;
// *problem then names the line.
std::optional<std::map<std::string, std::string>> ParseHashList(std::string_view text,
                                                                std::string* problem = nullptr);

struct CatalogueTrust {
    std::string publicKeyPath;           // no file there: nothing is checked
    ov::RegistryStore* store = nullptr;  // the last accepted timestamps; none: not checked
};

// <installFolder>\core\zntr.pub and the given store.
CatalogueTrust InstallationTrust(std::string_view installFolder, ov::RegistryStore& store);
// True when the key file exists (readable or not): the catalogue must be signed.
bool RequiresSignature(const CatalogueTrust& trust);

// The two files that come with packages.dat; nothing when one could not be fetched.
struct SignedFiles {
    std::optional<std::string> hashList;
    std::optional<std::string> signature;
};

struct TrustCheck {
    bool accepted = false;
    std::string problem;  // why not, in English, for logs and standard error
    ArchiveHashes hashes;
    std::string storeValue;  // the store value of this key's timestamp
    CommentTimestamp timestamp;
};

// Checks catalogue bytes against the signed hash list; RequiresSignature(trust) must hold.
TrustCheck CheckSignedCatalogue(const CatalogueTrust& trust, std::string_view catalogue,
                                const SignedFiles& files);

// Records an accepted check's timestamp when it is newer than the stored one.
void RememberAccepted(const CatalogueTrust& trust, const TrustCheck& check);

}  // namespace znt
