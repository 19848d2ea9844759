#pragma once

// Places a fresh packages.dat in the installation folder, from the update
// server or a local source folder, and fetches the product name list.
// Callers move the progress bar themselves: 5 before FetchCatalogue, 20 after.

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueTrust.h"

#include <string>
#include <string_view>
#include <vector>

namespace ov {
class InetControl;
}

namespace znt {

class KeptCatalogue;

struct CatalogueSource {
    bool SourceIsInternet = true;
    std::string SourceFolder;  // holds packages.dat and files\ when not SourceIsInternet
    std::string serverBase;    // "http://host[:port]", no trailing "/"
};

// Writes <installFolder>\packages.dat: the body of <serverBase>/ovw2010/packages.dat
// (written only once it has arrived complete; an HTTP error is a failure), or a
// copy of <SourceFolder>\packages.dat. True when that file now exists, is not
// empty and reads as a whole catalogue (ReadCatalogue's complete); False on any
// failure, whatever an earlier file holds. A placed file that does not read
// whole is removed.
bool FetchCatalogue(const CatalogueSource& source, std::string_view installFolder,
                    ov::InetControl& inet);

enum class FetchStatus {
    Placed,     // packages.dat is in place, read whole (and signed when required)
    Failed,     // as FetchCatalogue's false
    Untrusted,  // the signature, the hash list or the catalogue's hash was missing or wrong
};

struct CatalogueFetchResult {
    FetchStatus status = FetchStatus::Failed;
    std::string problem;   // why it was Untrusted or Failed ("HTTP 404", "certificate not trusted")
    ArchiveHashes hashes;  // required when the catalogue was signed
    Packages packages;     // the placed catalogue as read, when Placed
};

// FetchCatalogue checked against trust. When RequiresSignature(trust), it
// also fetches packages.sha256 and packages.sha256.minisig from the same
// place (kept in memory) and parses the placed catalogue only once
// CheckSignedCatalogue accepts it; a catalogue it refuses is removed. The
// placed file is read once: the bytes checked are the bytes parsed, and a
// caller that needs the packages takes them from the result instead of
// reading the file again. The accepted timestamp is recorded once the
// catalogue reads whole. Without a key file this is FetchCatalogue, with no
// further request.
CatalogueFetchResult FetchCatalogue(const CatalogueSource& source, std::string_view folder,
                                    ov::InetControl& inet, const CatalogueTrust& trust);

// The same, from a server, with the files last accepted kept in kept
// (KeptCatalogue.h): each is asked only if changed since its kept copy, and
// a 304 places that copy instead. When the catalogue then fails (its hash is
// no longer the signed one, it does not read whole), the files are fetched
// again whole without asking, and that answer counts. Files read whole are
// kept once the catalogue is accepted, when kept is writable. A local source
// folder is read as above.
CatalogueFetchResult FetchCatalogue(const CatalogueSource& source, std::string_view folder,
                                    ov::InetControl& inet, const CatalogueTrust& trust,
                                    const KeptCatalogue& kept);

constexpr int kNameTableSize = 54;

// Two tables of 54 product names (0-based here; entry k is line k + 1 of its half).
struct NameTables {
    std::vector<std::string> first;
    std::vector<std::string> second;
};

// Splits pnames.txt (Windows-1253) into the two tables: 54 lines each, every
// entry the text after the line's first "=" (the whole line without one).
// False, leaving names untouched, when the text has fewer than 108 lines.
bool ReadNameList(std::string_view bytes, NameTables& names);

// Downloads <serverBase>/ovw2010/pnames.txt into <installFolder>\pnames.txt and
// reads it with ReadNameList.
bool FetchNameList(std::string_view serverBase, std::string_view installFolder,
                   ov::InetControl& inet, NameTables& names);

}  // namespace znt
