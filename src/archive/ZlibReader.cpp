// The zip reader over zlib: finds the end record in the last 64 KiB and the
// comment, follows a ZIP64 end record when there is one, and reads the
// central directory with every offset and length checked against the file,
// so that no number from the archive drives an allocation larger than the
// file itself. A member's local header is checked against its directory
// entry before its data is read.

#include "archive/ZipHeaderCheck.h"
#include "archive/ZipReader.h"
#include "archive/ZipText.h"
#include "archive/ZlibStream.h"

#include "OVShared/Platform/FileSystem.h"

#include <vector>

namespace znt {
namespace {

constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint64_t kEndBytes = 22;
constexpr std::uint64_t kZip64LocatorBytes = 20;
constexpr std::uint64_t kZip64EndBytes = 56;
constexpr std::uint64_t kCentralBytes = 46;
constexpr std::uint64_t kLocalBytes = 30;
constexpr std::uint64_t kMaxCommentBytes = 0xFFFF;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint16_t kAesExtraId = 0x9901;
constexpr std::uint16_t kAesMethod = 99;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
constexpr std::uint32_t kMax32 = 0xFFFFFFFF;

std::uint64_t Get(std::string_view bytes, std::size_t at, int width) {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}
std::uint16_t Get16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(Get(b, at, 2));
}
std::uint32_t Get32(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(Get(b, at, 4));
}
std::uint64_t Get64(std::string_view b, std::size_t at) { return Get(b, at, 8); }

// The stored local time, as libzip and Info-ZIP read it.
std::time_t DosTime(std::uint16_t date, std::uint16_t time) {
    std::tm t{};
    t.tm_year = ((date >> 9) & 0x7F) + 80;
    t.tm_mon = ((date >> 5) & 0x0F) - 1;
    t.tm_mday = date & 0x1F;
    t.tm_hour = (time >> 11) & 0x1F;
    t.tm_min = (time >> 5) & 0x3F;
    t.tm_sec = (time & 0x1F) * 2;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::uint32_t SignatureIn(std::string_view bytes) {
    return bytes.size() >= 4 ? Get32(bytes, 0) : 0;
}

struct Directory {
    std::uint64_t offset = 0, size = 0, count = 0;
    std::uint64_t end = 0;  // where the records after the directory start
    std::uint64_t prefix = 0;
    std::string comment;
};

struct CentralEntry {
    ZipEntryInfo info;
    std::string rawName;  // as stored, for the comparison with the local header
    std::uint64_t localOffset = 0;
    std::uint16_t flags = 0;
    std::uint16_t dosTime = 0;
};

class ZlibArchiveReader : public ZipArchiveReader, public ZipHeaderCheck {
public:
    explicit ZlibArchiveReader(std::string_view path) : file_(path) {}
    ZipStatus Load();

    std::uint64_t EntryCount() const override { return entries_.size(); }
    std::uint64_t PrefixBytes() const override { return prefix_; }
    ZipStatus CheckLocalHeader(std::uint64_t index) const override {
        ZlibEntryPlace place;
        if (index >= entries_.size()) return ZipStatus::Damaged;
        return Place(entries_[static_cast<std::size_t>(index)], place);
    }
    ZipStatus Entry(std::uint64_t index, ZipEntryInfo& info) const override;
    std::string Comment() const override { return comment_; }
    std::unique_ptr<ZipEntryStream> Open(std::uint64_t index, const std::string* password,
                                         ZipStatus& status) override;

private:
    ZipStatus FindEnd(Directory& dir) const;
    ZipStatus ReadZip64End(Directory& dir) const;
    ZipStatus FindPrefix(Directory& dir) const;
    ZipStatus ReadEntries(const Directory& dir);
    ZipStatus ParseEntry(std::string_view cd, std::size_t& at, CentralEntry& entry) const;
    ZipStatus Place(const CentralEntry& entry, ZlibEntryPlace& place) const;

    ov::RegularFile file_;
    std::vector<CentralEntry> entries_;
    std::string comment_;
    std::uint64_t prefix_ = 0;
};

ZipStatus ZlibArchiveReader::Load() {
    if (!file_.IsOpen()) return ZipStatus::CannotOpen;
    Directory dir;
    ZipStatus status = FindEnd(dir);
    if (status != ZipStatus::Ok) return status;
    comment_ = DecodeZipText(dir.comment);
    status = FindPrefix(dir);
    if (status != ZipStatus::Ok) return status;
    prefix_ = dir.prefix;
    return ReadEntries(dir);
}

// The end record is the last "PK\5\6" whose comment fits in the file.
ZipStatus ZlibArchiveReader::FindEnd(Directory& dir) const {
    const std::uint64_t length = file_.Length();
    if (length < kEndBytes) return ZipStatus::NotZip;
    const std::uint64_t start = length - std::min(length, kEndBytes + kMaxCommentBytes);
    const std::string tail = file_.ReadAt(start, length - start);
    if (tail.size() != length - start) return ZipStatus::ReadFailed;
    std::size_t at = tail.size() - kEndBytes;
    for (;; --at) {
        at = tail.rfind("PK\x05\x06", at);  // the end record signature
        if (at == std::string::npos) return ZipStatus::NotZip;
        if (at + kEndBytes + Get16(tail, at + 20) <= tail.size()) break;
        if (at == 0) return ZipStatus::NotZip;
    }
    dir.end = start + at;
    dir.comment = tail.substr(at + kEndBytes, Get16(tail, at + 20));
    const bool zip64 =
        dir.end >= kZip64LocatorBytes &&
        SignatureIn(file_.ReadAt(dir.end - kZip64LocatorBytes, 4)) == kZip64LocatorSignature;
    // Before ZIP64 records, the fields that the ZIP64 record holds may be all
    // ones, disk numbers included.
    auto oneDisk = [&](std::size_t field) {
        std::uint16_t disk = Get16(tail, at + field);
        return disk == 0 || (zip64 && disk == 0xFFFF);
    };
    if (!oneDisk(4) || !oneDisk(6)) return ZipStatus::NotZip;  // spans several disks
    if (zip64) return ReadZip64End(dir);
    if (Get16(tail, at + 8) != Get16(tail, at + 10)) return ZipStatus::NotZip;
    dir.count = Get16(tail, at + 10);
    dir.size = Get32(tail, at + 12);
    dir.offset = Get32(tail, at + 16);
    return ZipStatus::Ok;
}

ZipStatus ZlibArchiveReader::ReadZip64End(Directory& dir) const {
    const std::uint64_t locatorAt = dir.end - kZip64LocatorBytes;
    std::string locator = file_.ReadAt(locatorAt, kZip64LocatorBytes);
    std::uint64_t recordAt = Get64(locator, 8);
    if (Get32(locator, 4) != 0 || Get32(locator, 16) > 1) return ZipStatus::NotZip;
    if (recordAt > locatorAt || locatorAt - recordAt < kZip64EndBytes) return ZipStatus::Damaged;
    std::string record = file_.ReadAt(recordAt, kZip64EndBytes);
    if (SignatureIn(record) != kZip64EndSignature) {
        // Bytes before the archive move the record (without extensible data)
        // to just before the locator.
        recordAt = locatorAt - kZip64EndBytes;
        record = file_.ReadAt(recordAt, kZip64EndBytes);
        if (SignatureIn(record) != kZip64EndSignature) return ZipStatus::Damaged;
    }
    if (record.size() != kZip64EndBytes) return ZipStatus::ReadFailed;
    if (Get32(record, 16) != 0 || Get32(record, 20) != 0 ||
        Get64(record, 24) != Get64(record, 32)) {
        return ZipStatus::NotZip;
    }
    dir.count = Get64(record, 32);
    dir.size = Get64(record, 40);
    dir.offset = Get64(record, 48);
    dir.end = recordAt;
    return ZipStatus::Ok;
}

// The directory ends where the end records start. When it is stated to end
// earlier, bytes before the archive (a self-extractor's stub) have moved it,
// and every offset, by that many. Bytes between the directory and the end
// records are damage: they are how a second, different directory would hide.
ZipStatus ZlibArchiveReader::FindPrefix(Directory& dir) const {
    if (dir.offset > dir.end || dir.size > dir.end - dir.offset) return ZipStatus::Damaged;
    const std::uint64_t gap = dir.end - dir.offset - dir.size;
    if (gap == 0 || dir.count == 0) return ZipStatus::Ok;
    if (SignatureIn(file_.ReadAt(dir.offset + gap, 4)) != kCentralSignature) {
        return ZipStatus::Damaged;
    }
    dir.prefix = gap;
    return ZipStatus::Ok;
}

ZipStatus ZlibArchiveReader::ReadEntries(const Directory& dir) {
    // Every entry takes at least kCentralBytes, which bounds the count by the file.
    if (dir.count > dir.size / kCentralBytes) return ZipStatus::Damaged;
    const std::string cd = file_.ReadAt(dir.prefix + dir.offset, dir.size);
    if (cd.size() != dir.size) return ZipStatus::ReadFailed;
    entries_.resize(static_cast<std::size_t>(dir.count));
    std::size_t at = 0;
    for (auto& entry : entries_) {
        ZipStatus status = ParseEntry(cd, at, entry);
        if (status != ZipStatus::Ok) return status;
    }
    // A count that leaves entries unread would hide members from one reader
    // and not another.
    return at == cd.size() ? ZipStatus::Ok : ZipStatus::Damaged;
}

// Replaces the 32-bit fields that are all ones with the ZIP64 extra field's
// values, in its fixed order; false when the field is too short for them.
bool ApplyZip64(std::string_view field, std::uint64_t* const values[3]) {
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        if (*values[i] != kMax32) continue;
        if (at + 8 > field.size()) return false;
        *values[i] = Get64(field, at);
        at += 8;
    }
    return true;
}

// The extra fields: ZIP64 sizes and offset, and the AES marker. Up to three
// zero bytes may follow the last field (alignment padding, as libzip takes
// it); anything else there is damage.
bool ApplyExtra(std::string_view extra, CentralEntry& entry) {
    std::uint64_t* const wide[3] = {&entry.info.size, &entry.info.compressedSize,
                                    &entry.localOffset};
    std::size_t at = 0;
    for (; at + 4 <= extra.size();) {
        std::uint16_t id = Get16(extra, at);
        std::size_t length = Get16(extra, at + 2);
        if (at + 4 + length > extra.size()) return false;
        std::string_view field = extra.substr(at + 4, length);
        if (id == kZip64ExtraId && !ApplyZip64(field, wide)) return false;
        if (id == kAesExtraId) entry.info.encryption = ZipEncryption::Other;
        at += 4 + length;
    }
    return extra.find_first_not_of('\0', at) == std::string_view::npos;
}

ZipStatus ZlibArchiveReader::ParseEntry(std::string_view cd, std::size_t& at,
                                        CentralEntry& entry) const {
    if (cd.size() - at < kCentralBytes || Get32(cd, at) != kCentralSignature) {
        return ZipStatus::Damaged;
    }
    std::size_t nameLength = Get16(cd, at + 28), extraLength = Get16(cd, at + 30);
    std::size_t commentLength = Get16(cd, at + 32);
    if (cd.size() - at - kCentralBytes < nameLength + extraLength + commentLength) {
        return ZipStatus::Damaged;
    }
    ZipEntryInfo& info = entry.info;
    info.madeByOs = static_cast<std::uint8_t>(cd[at + 5]);
    entry.flags = Get16(cd, at + 8);
    info.method = Get16(cd, at + 10);
    entry.dosTime = Get16(cd, at + 12);
    info.mtime = DosTime(Get16(cd, at + 14), entry.dosTime);
    info.crc = Get32(cd, at + 16);
    info.compressedSize = Get32(cd, at + 20);
    info.size = Get32(cd, at + 24);
    info.externalAttributes = Get32(cd, at + 38);
    entry.localOffset = Get32(cd, at + 42);
    std::string_view name = cd.substr(at + kCentralBytes, nameLength);
    entry.rawName = std::string(name);
    info.name = DecodeZipText(name);
    if (entry.flags & kFlagEncrypted) {
        bool other = (entry.flags & kFlagStrongEncryption) || info.method == kAesMethod;
        info.encryption = other ? ZipEncryption::Other : ZipEncryption::Traditional;
    }
    if (!ApplyExtra(cd.substr(at + kCentralBytes + nameLength, extraLength), entry)) {
        return ZipStatus::Damaged;
    }
    at += kCentralBytes + nameLength + extraLength + commentLength;
    return ZipStatus::Ok;
}

ZipStatus ZlibArchiveReader::Entry(std::uint64_t index, ZipEntryInfo& info) const {
    if (index >= entries_.size()) return ZipStatus::Damaged;
    info = entries_[static_cast<std::size_t>(index)].info;
    return ZipStatus::Ok;
}

// The local header repeats the entry's name and method, and its CRC and sizes
// unless a data descriptor after the data carries them (then they may be 0).
// ZIP64 sizes are read from the local ZIP64 field.
ZipStatus CheckLocal(std::string_view local, std::string_view name, std::string_view extra,
                     const CentralEntry& entry) {
    const ZipEntryInfo& info = entry.info;
    if (name != entry.rawName || Get16(local, 8) != info.method) return ZipStatus::Inconsistent;
    std::uint64_t crc = Get32(local, 14), compressed = Get32(local, 18), size = Get32(local, 22);
    std::uint64_t offset = 0;  // a local ZIP64 field has no offset
    std::uint64_t* const wide[3] = {&size, &compressed, &offset};
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        std::size_t length = Get16(extra, at + 2);
        if (at + 4 + length > extra.size()) return ZipStatus::Damaged;
        if (Get16(extra, at) == kZip64ExtraId && !ApplyZip64(extra.substr(at + 4, length), wide)) {
            return ZipStatus::Damaged;
        }
        at += 4 + length;
    }
    const bool described = Get16(local, 6) & kFlagDataDescriptor;
    auto agrees = [&](std::uint64_t stated, std::uint64_t central) {
        return stated == central || (described && stated == 0);
    };
    if (!agrees(crc, info.crc) || !agrees(compressed, info.compressedSize) ||
        !agrees(size, info.size)) {
        return ZipStatus::Inconsistent;
    }
    return ZipStatus::Ok;
}

// Where the entry's data lies, past its local header, checked to end inside
// the file; the local header is checked against the entry first.
ZipStatus ZlibArchiveReader::Place(const CentralEntry& entry, ZlibEntryPlace& place) const {
    const std::uint64_t length = file_.Length();
    if (entry.localOffset > length - prefix_) return ZipStatus::Damaged;
    const std::uint64_t localAt = prefix_ + entry.localOffset;
    if (length - localAt < kLocalBytes) return ZipStatus::Damaged;
    std::string local = file_.ReadAt(localAt, kLocalBytes);
    if (local.size() != kLocalBytes) return ZipStatus::ReadFailed;
    if (Get32(local, 0) != kLocalSignature) return ZipStatus::Damaged;
    const std::uint64_t nameLength = Get16(local, 26), extraLength = Get16(local, 28);
    if (length - localAt - kLocalBytes < nameLength + extraLength) return ZipStatus::Damaged;
    const std::string variable = file_.ReadAt(localAt + kLocalBytes, nameLength + extraLength);
    if (variable.size() != nameLength + extraLength) return ZipStatus::ReadFailed;
    std::string_view fields(variable);
    ZipStatus status =
        CheckLocal(local, fields.substr(0, nameLength), fields.substr(nameLength), entry);
    if (status != ZipStatus::Ok) return status;
    const std::uint64_t dataOffset = localAt + kLocalBytes + nameLength + extraLength;
    const ZipEntryInfo& info = entry.info;
    if (dataOffset > length || length - dataOffset < info.compressedSize) return ZipStatus::Damaged;
    place.dataOffset = dataOffset;
    place.compressedSize = info.compressedSize;
    place.size = info.size;
    place.crc = info.crc;
    place.method = info.method;
    place.encrypted = info.encryption == ZipEncryption::Traditional;
    // With a data descriptor the header is checked against the time, not the CRC.
    place.checkByte = static_cast<std::uint8_t>(
        (entry.flags & kFlagDataDescriptor) ? entry.dosTime >> 8 : info.crc >> 24);
    return ZipStatus::Ok;
}

std::unique_ptr<ZipEntryStream> ZlibArchiveReader::Open(std::uint64_t index,
                                                        const std::string* password,
                                                        ZipStatus& status) {
    if (index >= entries_.size()) {
        status = ZipStatus::Damaged;
        return nullptr;
    }
    const CentralEntry& entry = entries_[static_cast<std::size_t>(index)];
    if (entry.info.encryption == ZipEncryption::Other) {
        status = ZipStatus::Unsupported;
        return nullptr;
    }
    ZlibEntryPlace place;
    status = Place(entry, place);
    if (status != ZipStatus::Ok) return nullptr;
    return OpenZlibEntry(file_, place, password, status);
}

}  // namespace

std::unique_ptr<ZipArchiveReader> OpenZlibReader(std::string_view path, ZipStatus& status) {
    auto reader = std::make_unique<ZlibArchiveReader>(path);
    status = reader->Load();
    if (status != ZipStatus::Ok) return nullptr;
    return reader;
}

std::unique_ptr<ZipHeaderCheck> OpenZipHeaderCheck(std::string_view path, ZipStatus& status) {
    auto reader = std::make_unique<ZlibArchiveReader>(path);
    status = reader->Load();
    if (status != ZipStatus::Ok) return nullptr;
    return reader;
}

}  // namespace znt
