#pragma once

// Builds test archives with libzip, including members no honest tool writes.

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

    std::string name;
    std::string data;
    std::time_t mtime = 0;     // 0: the time of writing
    bool stored = false;       // no compression
    bool symlink = false;      // a Unix symbolic link whose target is data
    std::string password;      // AES-256 when not empty
};

// Writes the archive (names stored byte for byte) and returns its path.
std::string WriteZip(const std::string& path, const std::vector<Member>& members);

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
