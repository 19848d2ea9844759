#include "support/ZipBuilder.h"

#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include <zlib.h>

namespace archivetest {
namespace {

constexpr std::uint32_t kFileMode = 0100644;
constexpr std::uint32_t kFolderMode = 040755;
constexpr std::uint32_t kLinkMode = 0120777;
constexpr std::uint32_t kDosFolder = 0x10;
constexpr std::uint16_t kMadeByUnix = (3 << 8) | 20;
constexpr std::uint16_t kVersion = 20;
constexpr std::uint16_t kVersionZip64 = 45;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint16_t kAesMethod = 99;
constexpr std::uint32_t kMax32 = 0xFFFFFFFF;

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

void Put(std::string& out, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string RawDeflate(const std::string& data) {
    z_stream z{};
    Check(deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK, "deflate");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    Check(rc == Z_STREAM_END, "deflate");
    return out;
}

// The traditional PKWARE cipher, encrypting side.
class PkwareKeys {
public:
    explicit PkwareKeys(const std::string& password) {
        for (char c : password) Update(static_cast<std::uint8_t>(c));
    }
    void Encrypt(std::string& bytes) {
        for (char& c : bytes) {
            auto plain = static_cast<std::uint8_t>(c);
            std::uint32_t temp = (keys_[2] & 0xFFFF) | 2;
            c = static_cast<char>(plain ^ static_cast<std::uint8_t>((temp * (temp ^ 1)) >> 8));
            Update(plain);
        }
    }

private:
    static std::uint32_t Crc(std::uint32_t crc, std::uint8_t b) {
        return static_cast<std::uint32_t>(get_crc_table()[(crc ^ b) & 0xFF]) ^ (crc >> 8);
    }
    void Update(std::uint8_t c) {
        keys_[0] = Crc(keys_[0], c);
        keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813 + 1;
        keys_[2] = Crc(keys_[2], static_cast<std::uint8_t>(keys_[1] >> 24));
    }
    std::uint32_t keys_[3] = {0x12345678, 0x23456789, 0x34567890};
};

// Eleven fixed-seed bytes and the check byte, encrypted with the data.
std::string Encrypt(const std::string& payload, const std::string& password, std::uint32_t crc,
                    std::uint8_t check) {
    std::minstd_rand random(crc);
    std::string bytes;
    for (int i = 0; i < 11; ++i) bytes += static_cast<char>(random() & 0xFF);
    bytes += static_cast<char>(check);
    bytes += payload;
    PkwareKeys(password).Encrypt(bytes);
    return bytes;
}

struct Record {  // one member as both headers describe it
    std::string name, extra;
    std::uint16_t flags = 0, method = 0, dosTime = 0, dosDate = 0;
    std::uint32_t crc = 0, attributes = 0;
    std::uint64_t size = 0, compressedSize = 0, offset = 0;
    bool zip64 = false;
    bool descriptor = false;
    LocalFields local;  // what the local header says
};

void SetDosTime(Record& r, std::time_t t) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    r.dosDate = static_cast<std::uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) |
                                           local.tm_mday);
    r.dosTime = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) |
                                           (local.tm_sec / 2));
}

std::uint32_t ModeOf(const Member& m, bool folder) {
    if (folder) return (kFolderMode << 16) | kDosFolder;
    return (m.symlink ? kLinkMode : kFileMode) << 16;
}

// The member's data as stored, with the record's method, flags and sizes set.
std::string Payload(const Member& m, Record& r) {
    r.crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(m.data.data()), static_cast<uInt>(m.data.size())));
    r.size = m.data.size();
    std::string payload = m.data;
    if (m.rawMethod >= 0) {
        r.method = static_cast<std::uint16_t>(m.rawMethod);
    } else if (!m.stored && !m.data.empty()) {
        r.method = Z_DEFLATED;
        payload = RawDeflate(m.data);
    }
    if (!m.password.empty()) {
        r.flags |= kFlagEncrypted;
        // With a data descriptor the check byte is the time's high byte.
        auto check = static_cast<std::uint8_t>(r.descriptor ? r.dosTime >> 8 : r.crc >> 24);
        payload = Encrypt(payload, m.password, r.crc, check);
    } else if (m.aes) {
        r.flags |= kFlagEncrypted;
        Put(r.extra, 0x9901, 2);  // AE-2, AES-256, then the real method
        Put(r.extra, 7, 2);
        r.extra += std::string(
            "\x02\x00"
            "AE"
            "\x03",
            5);
        Put(r.extra, r.method, 2);
        r.method = kAesMethod;
    }
    r.compressedSize = payload.size();
    return payload;
}

void PutSizes(std::string& out, const Record& r) {
    Put(out, r.zip64 ? kMax32 : r.compressedSize, 4);
    Put(out, r.zip64 ? kMax32 : r.size, 4);
}

std::string Zip64Extra(const Record& r, bool withOffset) {
    std::string extra;
    Put(extra, 0x0001, 2);
    Put(extra, withOffset ? 24 : 16, 2);
    Put(extra, r.size, 8);
    Put(extra, r.compressedSize, 8);
    if (withOffset) Put(extra, r.offset, 8);
    return extra;
}

LocalFields LocalOf(const Member& m, const Record& r) {
    LocalFields local;
    local.name = r.name;
    local.method = r.method;
    local.dosTime = r.dosTime;
    local.zip64 = r.zip64 || m.zip64Local;
    if (!r.descriptor) {
        local.crc = r.crc;
        local.compressedSize = r.compressedSize;
        local.size = r.size;
    }
    if (m.localEdit) m.localEdit(local);
    return local;
}

std::string LocalHeader(const Record& r) {
    const LocalFields& l = r.local;
    std::string h = l.signature;
    std::string extra;
    if (l.zip64) {
        Put(extra, 0x0001, 2);
        Put(extra, 16, 2);
        Put(extra, l.size, 8);
        Put(extra, l.compressedSize, 8);
    }
    extra += r.extra;
    Put(h, l.zip64 ? kVersionZip64 : kVersion, 2);
    for (std::uint64_t v : {r.flags, l.method, l.dosTime, r.dosDate}) Put(h, v, 2);
    Put(h, l.crc, 4);
    Put(h, l.zip64 ? kMax32 : l.compressedSize, 4);
    Put(h, l.zip64 ? kMax32 : l.size, 4);
    Put(h, l.name.size(), 2);
    Put(h, extra.size(), 2);
    return h + l.name + extra;
}

// The signed data descriptor, with 8-byte sizes when either header uses ZIP64.
std::string Descriptor(const Record& r) {
    if (!r.descriptor) return {};
    const int width = r.zip64 || r.local.zip64 ? 8 : 4;
    std::string d = "PK\x07\x08";
    Put(d, r.crc, 4);
    Put(d, r.compressedSize, width);
    Put(d, r.size, width);
    return d;
}

std::string CentralHeader(const Record& r) {
    std::string h = "PK\x01\x02";
    std::string extra = (r.zip64 ? Zip64Extra(r, true) : "") + r.extra;
    Put(h, kMadeByUnix, 2);
    Put(h, r.zip64 ? kVersionZip64 : kVersion, 2);
    for (std::uint64_t v : {r.flags, r.method, r.dosTime, r.dosDate}) Put(h, v, 2);
    Put(h, r.crc, 4);
    PutSizes(h, r);
    Put(h, r.name.size(), 2);
    Put(h, extra.size(), 2);
    Put(h, 0, 6);  // comment length, disk, internal attributes
    Put(h, r.attributes, 4);
    Put(h, r.zip64 ? kMax32 : r.offset, 4);
    return h + r.name + extra;
}

std::string EndRecords(std::uint64_t count, std::uint64_t cdOffset, std::uint64_t cdSize,
                       bool zip64, const ZipLayout& layout) {
    std::string out;
    if (zip64) {
        std::uint64_t recordAt = cdOffset + cdSize + layout.beforeEnd.size();
        out += "PK\x06\x06";
        Put(out, 44, 8);
        Put(out, kMadeByUnix, 2);
        Put(out, kVersionZip64, 2);
        Put(out, 0, 8);  // this disk, the directory's disk
        for (std::uint64_t v : {count, count, cdSize, cdOffset}) Put(out, v, 8);
        out += "PK\x06\x07";
        Put(out, 0, 4);
        Put(out, recordAt, 8);
        Put(out, 1, 4);
    }
    out += "PK\x05\x06";
    Put(out, zip64 && layout.endDisksAllOnes ? kMax32 : 0, 4);
    Put(out, zip64 ? 0xFFFF : count, 2);
    Put(out, zip64 ? 0xFFFF : count, 2);
    Put(out, zip64 ? kMax32 : cdSize, 4);
    Put(out, zip64 ? kMax32 : cdOffset, 4);
    Put(out, layout.comment.size(), 2);
    return out + layout.comment;
}

void PatchAfter(std::string& bytes, const char* signature, size_t offset, std::uint32_t size) {
    size_t at = bytes.find(signature);
    Check(at != std::string::npos, "signature");
    for (int b = 0; b < 4; ++b) {
        bytes[at + offset + b] = static_cast<char>((size >> (8 * b)) & 0xFF);
    }
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    file << bytes;
    Check(file.good(), "write");
}

}  // namespace

std::string WriteZip(const std::string& path, const std::vector<Member>& members,
                     const std::string& comment) {
    ZipLayout layout;
    layout.comment = comment;
    return WriteZip(path, members, layout);
}

std::string WriteZip(const std::string& path, const std::vector<Member>& members,
                     const ZipLayout& layout) {
    std::string bytes, directory;
    bool anyZip64 = layout.zip64End;
    for (const auto& m : members) {
        Record r;
        bool folder = !m.name.empty() && m.name.back() == '/' && m.data.empty();
        r.name = m.name;
        r.attributes = ModeOf(m, folder);
        bytes += m.gap;
        r.offset = bytes.size();
        r.zip64 = m.zip64;
        r.descriptor = m.descriptor;
        if (m.descriptor) r.flags |= kFlagDescriptor;
        SetDosTime(r, m.mtime ? m.mtime : std::time(nullptr));
        std::string payload = Payload(m, r);
        r.extra += m.extra;
        r.local = LocalOf(m, r);
        bytes += LocalHeader(r) + payload + Descriptor(r);
        directory += CentralHeader(r);
        anyZip64 = anyZip64 || m.zip64 || m.zip64Local;
    }
    std::uint64_t cdOffset = bytes.size();
    bytes += directory + layout.beforeEnd;
    bytes += EndRecords(members.size() + layout.countChange, cdOffset, directory.size(), anyZip64,
                        layout);
    WriteBytes(path, layout.before + bytes + layout.after);
    return path;
}

void PatchFirstUncompressedSize(const std::string& path, std::uint32_t size) {
    std::string bytes = testsupport::ReadFile(path);
    PatchAfter(bytes, "PK\x03\x04", 22, size);
    PatchAfter(bytes, "PK\x01\x02", 24, size);
    WriteBytes(path, bytes);
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
    auto when = std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(mtime));
    std::error_code error;
    std::filesystem::last_write_time(std::filesystem::path(path), when, error);
    Check(!error, "last_write_time");
}

std::vector<std::string> ListTree(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(folder)) {
        std::string rel = e.path().lexically_relative(folder).generic_string();
        out.push_back(e.is_directory() && !e.is_symlink() ? rel + "/" : rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace archivetest
