#pragma once

// Builds test archives over zlib's deflate (so that they can be built on every
// platform), including members no honest tool writes.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace archivetest {

struct Member {
    Member(std::string n, std::string d = "") : name(std::move(n)), data(std::move(d)) {}
    Member& Time(std::time_t t) { mtime = t; return *this; }
    Member& Stored() { stored = true; return *this; }
    Member& Link() { symlink = true; return *this; }
    Member& Password(std::string p) { password = std::move(p); return *this; }
    Member& Aes() { aes = true; return *this; }
    Member& Method(std::uint16_t m) { rawMethod = m; return *this; }
    Member& Zip64() { zip64 = true; return *this; }

    std::string name;
    std::string data;
    std::time_t mtime = 0;     // 0: the time of writing
    bool stored = false;       // no compression
    bool symlink = false;      // a Unix symbolic link whose target is data
    std::string password;      // traditional PKWARE encryption when not empty
    bool aes = false;          // marked as AES-encrypted (the data is not)
    int rawMethod = -1;        // >= 0: data written as is under this method number
    bool zip64 = false;        // sizes and offset in ZIP64 extra fields
};

// Writes the archive (names stored byte for byte, no UTF-8 flag) and returns
// its path. With a ZIP64 member the archive ends in ZIP64 end records too.
std::string WriteZip(const std::string& path, const std::vector<Member>& members,
                     const std::string& comment = {});

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
