#pragma once

// The archive reader under ExtractArchive: a zip's members, their facts, and
// their data as a stream. Two readers keep one contract: libzip's (built
// everywhere but Windows) and our own over zlib's raw inflate (built
// everywhere, the only one on Windows).
//
// Contract: a reader never throws for a damaged archive; every failure is a
// ZipStatus. Names and the comment are UTF-8, decoded alike by both readers
// (ZipText.h): valid UTF-8 is kept, anything else is read as code page 437,
// and control characters are kept for the name checks. An entry stream
// delivers at most the entry's declared size: data beyond it is TooLarge, a
// shortfall Damaged, a wrong checksum BadCrc. A member whose local header
// disagrees with its directory entry (name, method, and the CRC and sizes
// where the local header states them) is Inconsistent when opened, and one
// without a local header signature Damaged: the other members still read.
// Bytes before the archive (a self-extractor's stub) are skipped, as
// Info-ZIP does: every offset the archive states counts from its own start.
// Only stored and deflated data
// and the traditional PKWARE encryption are read; any other method is
// Unsupported (the caller sees this from EntryInfo before opening).
//
// Lifetime: a stream must not outlive its reader. Threading: one reader and
// its streams belong to one thread.

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace znt {

enum class ZipStatus {
    Ok,
    CannotOpen,  // missing, unreadable, or not a regular file
    NotZip,      // no end record, or a multi-disk archive
    Damaged,     // headers, offsets or data inconsistent
    BadCrc,
    TooLarge,     // data past the declared size
    Unsupported,  // compression or encryption method
    WrongPassword,
    ReadFailed,
    Inconsistent,  // the local header disagrees with the central directory
};

// One line of text for a status, the same whichever reader met it.
std::string ZipStatusText(ZipStatus status);

enum class ZipEncryption { None, Traditional, Other };

constexpr std::uint16_t kZipStored = 0;
constexpr std::uint16_t kZipDeflated = 8;
constexpr std::uint8_t kZipOsUnix = 3;

struct ZipEntryInfo {
    std::string name;
    std::uint64_t size = 0;  // uncompressed, as declared
    std::uint64_t compressedSize = 0;
    std::uint32_t crc = 0;
    std::time_t mtime = 0;  // the stored local time
    std::uint16_t method = kZipStored;
    ZipEncryption encryption = ZipEncryption::None;
    std::uint8_t madeByOs = 0;  // high byte of "version made by"
    std::uint32_t externalAttributes = 0;
};

class ZipEntryStream {
public:
    virtual ~ZipEntryStream() = default;
    // Bytes read into data (0 at the end, after the checks), or nothing on a
    // failure, which Status then names.
    virtual std::optional<std::size_t> Read(char* data, std::size_t capacity) = 0;
    virtual ZipStatus Status() const = 0;
};

class ZipArchiveReader {
public:
    virtual ~ZipArchiveReader() = default;
    virtual std::uint64_t EntryCount() const = 0;
    virtual ZipStatus Entry(std::uint64_t index, ZipEntryInfo& info) const = 0;
    virtual std::string Comment() const = 0;
    // The password is used for encrypted entries only. On failure the stream
    // is empty and status names why.
    virtual std::unique_ptr<ZipEntryStream> Open(std::uint64_t index, const std::string* password,
                                                 ZipStatus& status) = 0;
};

// Opens an archive with one reader; nothing on a failure, which status names.
using ZipReaderOpener = std::unique_ptr<ZipArchiveReader> (*)(std::string_view path,
                                                              ZipStatus& status);

// Our reader over zlib's raw inflate, built everywhere.
std::unique_ptr<ZipArchiveReader> OpenZlibReader(std::string_view path, ZipStatus& status);
// libzip's, built everywhere but Windows.
std::unique_ptr<ZipArchiveReader> OpenLibzipReader(std::string_view path, ZipStatus& status);

// The build's reader: libzip's, or ours on Windows. Which one is fixed by the
// file the build compiles (ZipReaderChoice_posix.cpp or _win.cpp); tests and
// benchmarks that hold both readers to one contract name the other opener.
std::unique_ptr<ZipArchiveReader> OpenZipReader(std::string_view path, ZipStatus& status);

}  // namespace znt
