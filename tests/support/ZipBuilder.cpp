#include "support/ZipBuilder.h"

#include "support/TempDir.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <sys/stat.h>
#include <utime.h>
#include <zip.h>

namespace archivetest {
namespace {

constexpr std::uint32_t kLinkMode = 0120777;

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

void AddMember(zip_t* za, const Member& m) {
    zip_source_t* src = zip_source_buffer(za, m.data.data(), m.data.size(), 0);
    Check(src != nullptr, "zip_source_buffer");
    zip_int64_t index = zip_file_add(za, m.name.c_str(), src, ZIP_FL_ENC_RAW | ZIP_FL_OVERWRITE);
    if (index < 0) zip_source_free(src);
    Check(index >= 0, "zip_file_add");
    auto i = static_cast<zip_uint64_t>(index);
    if (m.mtime) Check(zip_file_set_mtime(za, i, m.mtime, 0) == 0, "zip_file_set_mtime");
    if (m.stored) Check(zip_set_file_compression(za, i, ZIP_CM_STORE, 0) == 0, "store");
    if (m.symlink) {
        Check(zip_file_set_external_attributes(za, i, 0, ZIP_OPSYS_UNIX, kLinkMode << 16) == 0,
              "attributes");
    }
    if (!m.password.empty()) {
        Check(zip_file_set_encryption(za, i, ZIP_EM_AES_256, m.password.c_str()) == 0, "encrypt");
    }
}

void PatchAfter(std::string& bytes, const char* signature, size_t offset, std::uint32_t size) {
    size_t at = bytes.find(signature);
    Check(at != std::string::npos, "signature");
    for (int b = 0; b < 4; ++b) {
        bytes[at + offset + b] = static_cast<char>((size >> (8 * b)) & 0xFF);
    }
}

}  // namespace

std::string WriteZip(const std::string& path, const std::vector<Member>& members) {
    int error = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    Check(za != nullptr, "zip_open");
    for (const auto& m : members) {
        if (!m.name.empty() && m.name.back() == '/' && m.data.empty()) {
            Check(zip_dir_add(za, m.name.c_str(), ZIP_FL_ENC_RAW) >= 0, "zip_dir_add");
        } else {
            AddMember(za, m);
        }
    }
    Check(zip_close(za) == 0, "zip_close");
    return path;
}

void PatchFirstUncompressedSize(const std::string& path, std::uint32_t size) {
    std::string bytes = testsupport::ReadFile(path);
    PatchAfter(bytes, "PK\x03\x04", 22, size);
    PatchAfter(bytes, "PK\x01\x02", 24, size);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

void SetFileTime(const std::string& path, std::time_t mtime) {
    utimbuf times{mtime, mtime};
    Check(::utime(path.c_str(), &times) == 0, "utime");
}

std::vector<std::string> ListTree(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(folder)) {
        std::string rel = e.path().lexically_relative(folder).string();
        out.push_back(e.is_directory() && !e.is_symlink() ? rel + "/" : rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace archivetest
