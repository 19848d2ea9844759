#pragma once

// Extraction of one zip archive into one folder, with the options and
// callbacks of the unzip class (CGUnzipFiles). The archive is read by the
// build's reader (ZipReader.h): libzip's, or our own over zlib on Windows.
// Members are read stored or deflated, plain or under the traditional PKWARE
// encryption; any other method or encryption (AES included) gives
// kUnsupported.
//
// Safety: member names are untrusted. A member whose name is absolute, holds
// a drive or ":", climbs out with ".." (either separator) or holds control
// characters is skipped, as is every symbolic-link member; nothing is ever
// written outside the target folder, and no link found below it is followed
// (see TargetFolder.h). Each file is written to a temporary name and renamed
// into place only once it is complete and its CRC matched.
//
// Bounds: a member that inflates past its declared size fails; the bytes an
// extraction writes are capped (ExtractOptions::maxTotalBytes), and a member
// larger than the free space on the disk is not started. Either disk
// condition ends the extraction.
//
// Result: the highest code met (ExtractCode). A damaged archive or member is
// a code, never an exception; exceptions come only from the callbacks or from
// running out of memory.
//
// Threading: runs on the caller's thread; callbacks are called on it, in
// member order. Blocking callbacks (Replace, Password) block the extraction.

#include "archive/ZipReader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace znt {

struct ExtractOptions {
    bool extractOnlyNewer = false;   // only members newer than the file, or missing files
    bool spaceToUnderscore = false;  // spaces in written names become "_"
    bool promptOverwrite = false;    // ask Replace before replacing (when !overwrite)
    int quietLevel = 2;              // 0: a line per member; 1 and above: problems only
    bool writeToStdout = false;      // member data goes to standard output
    bool test = false;               // read every member and check its CRC; write nothing
    bool list = false;               // report every member through Listed; write nothing
    bool freshen = false;            // only files that exist and are older
    bool displayComment = false;     // print the archive comment first
    bool honorDirectories = true;    // off: every file goes into the folder by its last name
    bool overwrite = true;           // replace existing files without asking
    // Accepted and not acted on: files are written byte for byte, names are
    // matched as stored, and permissions are not restored.
    bool convertLineEnds = false;
    bool verbose = false;
    bool caseSensitive = true;
    int privilege = 0;
    std::uint64_t maxTotalBytes = std::uint64_t{4} << 30;
    // A member declared larger than this is not written (kError).
    std::uint64_t maxMemberBytes = UINT64_MAX;
    // The reader the archive is opened with: the build's, unless a test or
    // benchmark names the other one.
    ZipReaderOpener openReader = OpenZipReader;
};

// Result codes, in the manner of Info-ZIP's.
namespace ExtractCode {
constexpr int kOk = 0;
constexpr int kWarning = 1;        // members skipped: unsafe name, symbolic link
constexpr int kError = 2;          // a member failed: CRC, damaged data, size, write error
constexpr int kNoArchive = 9;      // archive missing, unreadable or not a zip
constexpr int kBadParameter = 10;  // no archive name, or no folder to extract into
constexpr int kDiskFull = 50;      // free space or the write cap reached; extraction ended
constexpr int kUnsupported = 81;   // compression or encryption method not supported
constexpr int kBadPassword = 82;   // an encrypted member had no or a wrong password
}  // namespace ExtractCode

enum class ReplaceAnswer { Yes, No, Cancel };  // Cancel: keep this and all later files

struct ListedMember {
    std::string name;
    std::uint64_t size = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;  // local time
};

class ExtractCallbacks {
public:
    virtual ~ExtractCallbacks() = default;
    // Progress and problem text, lines ending in "\n".
    virtual void Print(std::string_view text) = 0;
    // Asked for an existing file when promptOverwrite is set and overwrite is not.
    virtual ReplaceAnswer Replace(const std::string& name) = 0;
    // Asked when an encrypted member needs a password and none is held;
    // nothing means no password (the member fails). A password that proves
    // wrong is dropped, so the next encrypted member asks again.
    virtual std::optional<std::string> Password(const std::string& member) = 0;
    virtual void Listed(const ListedMember& member) = 0;
};

// *reason, when given, receives a short phrase for the highest code met
// ("CRC mismatch", "unsupported compression method 12 (bzip2)"); it is empty
// for kOk.
int ExtractArchive(std::string_view archive, std::string_view folder, const ExtractOptions& options,
                   ExtractCallbacks& callbacks, std::string* reason = nullptr);

}  // namespace znt
