#pragma once

// Builds test archives over zlib's deflate (so that they can be built on every
// platform), including members no honest tool writes.

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace archivetest {

// A member's local header as it will be written; an edit may make it
// disagree with the central directory.
struct LocalFields {
    std::string signature = "PK\x03\x04";
    std::string name;
    std::uint16_t method = 0, dosTime = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0,
                  size = 0;  // written as 0xFFFFFFFF plus a ZIP64 field when large
    bool zip64 = false;      // sizes in a ZIP64 extra field
};

struct Member {
    Member(std::string n, std::string d = "") : name(std::move(n)), data(std::move(d)) {}
    Member& Time(std::time_t t) {
        mtime = t;
        return *this;
    }
    Member& Stored() {
        stored = true;
        return *this;
    }
    Member& Link() {
        symlink = true;
        return *this;
    }
    Member& Password(std::string p) {
        password = std::move(p);
        return *this;
    }
    Member& Aes() {
        aes = true;
        return *this;
    }
    Member& Method(std::uint16_t m) {
        rawMethod = m;
        return *this;
    }
    Member& Zip64() {
        zip64 = true;
        return *this;
    }
    // ZIP64 sizes in the local header only; the directory gives them directly.
    Member& Zip64LocalOnly() {
        zip64Local = true;
        return *this;
    }
    Member& Descriptor() {
        descriptor = true;
        return *this;
    }
    Member& Extra(std::string bytes) {
        extra = std::move(bytes);
        return *this;
    }
    Member& Local(std::function<void(LocalFields&)> edit) {
        localEdit = std::move(edit);
        return *this;
    }
    Member& Before(std::string bytes) {
        gap = std::move(bytes);
        return *this;
    }

    std::string name;
    std::string data;
    std::time_t mtime = 0;  // 0: the time of writing
    bool stored = false;    // no compression
    bool symlink = false;   // a Unix symbolic link whose target is data
    std::string password;   // traditional PKWARE encryption when not empty
    bool aes = false;       // marked as AES-encrypted (the data is not)
    int rawMethod = -1;     // >= 0: data written as is under this method number
    bool zip64 = false;     // sizes and offset in ZIP64 extra fields
    bool zip64Local = false;
    bool descriptor = false;  // sizes and CRC after the data (zero in the local header)
    std::string extra;        // raw extra-field bytes in both headers
    std::function<void(LocalFields&)> localEdit;
    std::string gap;  // bytes written before the local header
};

// The archive around the members.
struct ZipLayout {
    std::string comment;
    std::string before, after;     // bytes before the first member, after the end record
    std::string beforeEnd;         // bytes between the directory and the end records
    int countChange = 0;           // added to the entry count of the end records
    bool zip64End = false;         // ZIP64 end records even without a ZIP64 member
    bool endDisksAllOnes = false;  // with ZIP64 end records: 0xFFFF as the end record's disks
};

// Writes the archive (names stored byte for byte, no UTF-8 flag) and returns
// its path. With a ZIP64 member the archive ends in ZIP64 end records too.
std::string WriteZip(const std::string& path, const std::vector<Member>& members,
                     const std::string& comment = {});
std::string WriteZip(const std::string& path, const std::vector<Member>& members,
                     const ZipLayout& layout);

// Rewrites the uncompressed size of the first member in its local header and
// in the central directory.
void PatchFirstUncompressedSize(const std::string& path, std::uint32_t size);

// A local time with an even second count, as zip times are.
std::time_t LocalTime(int year, int month, int day, int hour, int minute);

// Sets a file's modification time.
void SetFileTime(const std::string& path, std::time_t mtime);

// Every path below folder, relative, sorted; folders end in "/".
std::vector<std::string> ListTree(const std::string& folder);

}  // namespace archivetest
