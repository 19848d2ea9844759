#include "OVShared/Platform/VersionResource.h"

#include "OVShared/Platform/FileSystem.h"

#include <algorithm>
#include <string>

namespace ov {
namespace {

constexpr std::uint64_t kMaxHeaderBytes = 1u << 20;
constexpr std::uint64_t kFirstHeaderRead = 4096;
constexpr std::uint64_t kMaxSectionBytes = 64u << 20;
constexpr std::uint32_t kMaxDirectoryEntries = 4096;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;
constexpr std::uint64_t kFixedInfoBytes = 52;

// Little-endian reads that fail instead of running past the end. Offsets are
// 64-bit and built from 32-bit fields plus small constants, so they cannot wrap.
class Bytes {
public:
    explicit Bytes(std::string_view data) : data_(data) {}

    bool Has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= data_.size() && length <= data_.size() - offset;
    }
    std::optional<std::uint16_t> U16(std::uint64_t offset) const {
        auto v = Read(offset, 2);
        if (!v) return std::nullopt;
        return static_cast<std::uint16_t>(*v);
    }
    std::optional<std::uint32_t> U32(std::uint64_t offset) const { return Read(offset, 4); }
    std::optional<Bytes> Sub(std::uint64_t offset, std::uint64_t length) const {
        if (!Has(offset, length)) return std::nullopt;
        return Bytes(
            data_.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)));
    }

private:
    std::optional<std::uint32_t> Read(std::uint64_t offset, int width) const {
        if (!Has(offset, static_cast<std::uint64_t>(width))) return std::nullopt;
        std::uint32_t v = 0;
        for (int i = width - 1; i >= 0; --i) {
            v = (v << 8) | static_cast<unsigned char>(data_[static_cast<std::size_t>(offset) + i]);
        }
        return v;
    }

    std::string_view data_;
};

// Where the resource directory lies in the file.
struct ResourceLocation {
    std::uint64_t sectionOffset = 0;  // file offset of the section's raw data
    std::uint64_t sectionSize = 0;
    std::uint32_t sectionRva = 0;
    std::uint32_t directoryRva = 0;
};

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

// Data directory 2 (resources) of the optional header at opt.
std::optional<DataDirectory> ResourceDirectory(const Bytes& f, std::uint64_t opt,
                                               std::uint16_t optSize) {
    auto magic = f.U16(opt);
    if (!magic) return std::nullopt;
    std::uint64_t dirs = 0;
    if (*magic == kPe32Magic) {
        dirs = 96;
    } else if (*magic == kPe32PlusMagic) {
        dirs = 112;
    } else {
        return std::nullopt;
    }
    auto count = f.U32(opt + dirs - 4);
    if (!count || *count <= 2 || optSize < dirs + 3 * 8) return std::nullopt;
    auto rva = f.U32(opt + dirs + 16);
    auto size = f.U32(opt + dirs + 20);
    if (!rva || !size || *rva == 0 || *size == 0) return std::nullopt;
    return DataDirectory{*rva, *size};
}

// Finds the section whose addresses hold rva.
std::optional<ResourceLocation> MapToSection(const Bytes& f, std::uint64_t table,
                                             std::uint16_t count, std::uint32_t rva) {
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint64_t s = table + 40ull * i;
        auto virtualSize = f.U32(s + 8), va = f.U32(s + 12);
        auto rawSize = f.U32(s + 16), rawOffset = f.U32(s + 20);
        if (!virtualSize || !va || !rawSize || !rawOffset) return std::nullopt;
        std::uint64_t extent = std::max(*virtualSize, *rawSize);
        if (rva < *va || rva - *va >= extent) continue;
        if (*rawSize > kMaxSectionBytes) return std::nullopt;
        return ResourceLocation{*rawOffset, *rawSize, *va, rva};
    }
    return std::nullopt;
}

// DOS header -> PE signature -> COFF header -> optional header -> section table.
std::optional<ResourceLocation> LocateResources(const Bytes& f) {
    auto mz = f.U16(0);
    auto peOffset = f.U32(0x3C);
    if (!mz || *mz != 0x5A4D || !peOffset) return std::nullopt;
    auto signature = f.U32(*peOffset);
    if (!signature || *signature != 0x00004550) return std::nullopt;
    std::uint64_t coff = *peOffset + 4ull;
    auto sections = f.U16(coff + 2);
    auto optSize = f.U16(coff + 16);
    if (!sections || !optSize) return std::nullopt;
    std::uint64_t opt = coff + 20;
    auto dir = ResourceDirectory(f, opt, *optSize);
    if (!dir) return std::nullopt;
    return MapToSection(f, opt + *optSize, *sections, dir->rva);
}

// The offset field of the entry with the given id in the directory at dir,
// or of its first entry (named or numbered) when no id is given.
std::optional<std::uint32_t> FindEntry(const Bytes& s, std::uint64_t dir,
                                       std::optional<std::uint32_t> id) {
    auto named = s.U16(dir + 12), numbered = s.U16(dir + 14);
    if (!named || !numbered) return std::nullopt;
    std::uint32_t count = std::min<std::uint32_t>(*named + *numbered, kMaxDirectoryEntries);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint64_t entry = dir + 16 + 8ull * i;
        auto name = s.U32(entry), target = s.U32(entry + 4);
        if (!name || !target) return std::nullopt;
        if (!id || *name == *id) return *target;
    }
    return std::nullopt;
}

// Offset of the subdirectory an entry points at; the tree has exactly three
// levels (type, name, language), so walking them cannot loop.
std::optional<std::uint64_t> Subdirectory(std::uint64_t root, std::optional<std::uint32_t> target) {
    if (!target || !(*target & kSubdirectoryBit)) return std::nullopt;
    return root + (*target & ~kSubdirectoryBit);
}

std::optional<FixedFileInfo> ParseVersionBlock(const Bytes& data) {
    static constexpr char16_t kKey[] = u"VS_VERSION_INFO";
    auto length = data.U16(0), valueLength = data.U16(2);
    if (!length || !valueLength || *valueLength < kFixedInfoBytes) return std::nullopt;
    auto block = data.Sub(0, *length);
    if (!block) return std::nullopt;
    for (std::uint64_t i = 0; i < std::size(kKey); ++i) {
        auto c = block->U16(6 + 2 * i);
        if (!c || *c != kKey[i]) return std::nullopt;
    }
    // The value follows the key, aligned to 4 bytes: 6 + 32 -> 40.
    constexpr std::uint64_t value = (6 + 2 * std::size(kKey) + 3) & ~std::uint64_t{3};
    FixedFileInfo info;
    for (std::size_t i = 0; i < info.words.size(); ++i) {
        auto w = block->U32(value + 4 * i);
        if (!w) return std::nullopt;
        info.words[i] = *w;
    }
    if (info.words[0] != kFixedFileInfoSignature) return std::nullopt;
    return info;
}

// Resource tree: RT_VERSION -> first name -> first language -> data entry.
std::optional<FixedFileInfo> ParseResources(const Bytes& section, const ResourceLocation& loc) {
    std::uint64_t root = loc.directoryRva - loc.sectionRva;
    auto names = Subdirectory(root, FindEntry(section, root, kRtVersion));
    if (!names) return std::nullopt;
    auto languages = Subdirectory(root, FindEntry(section, *names, std::nullopt));
    if (!languages) return std::nullopt;
    auto dataEntry = FindEntry(section, *languages, std::nullopt);
    if (!dataEntry || (*dataEntry & kSubdirectoryBit)) return std::nullopt;
    auto rva = section.U32(root + *dataEntry), size = section.U32(root + *dataEntry + 4);
    if (!rva || !size || *rva < loc.sectionRva) return std::nullopt;
    auto data = section.Sub(*rva - loc.sectionRva, *size);
    if (!data) return std::nullopt;
    return ParseVersionBlock(*data);
}

}  // namespace

std::optional<FixedFileInfo> ReadFixedFileInfo(std::string_view fileBytes) {
    Bytes file(fileBytes);
    auto loc = LocateResources(file);
    if (!loc) return std::nullopt;
    auto section = file.Sub(loc->sectionOffset, loc->sectionSize);
    if (!section) return std::nullopt;
    return ParseResources(*section, *loc);
}

std::optional<FixedFileInfo> ReadFixedFileInfoFromFile(std::string_view path) {
    RegularFile file(path);  // nothing for folders, devices and pipes
    if (!file.IsOpen()) return std::nullopt;
    const std::uint64_t fileLength = file.Length();
    // The headers of an ordinary image fit in its first page; only an unusual
    // layout needs the larger read.
    std::string headers = file.ReadAt(0, std::min(fileLength, kFirstHeaderRead));
    auto loc = LocateResources(Bytes(headers));
    if (!loc && fileLength > kFirstHeaderRead) {
        headers = file.ReadAt(0, std::min(fileLength, kMaxHeaderBytes));
        loc = LocateResources(Bytes(headers));
    }
    if (!loc || loc->sectionOffset > fileLength ||
        loc->sectionSize > fileLength - loc->sectionOffset) {
        return std::nullopt;
    }
    // A small image is wholly in hand already.
    if (auto inHand = Bytes(headers).Sub(loc->sectionOffset, loc->sectionSize)) {
        return ParseResources(*inHand, *loc);
    }
    std::string section = file.ReadAt(loc->sectionOffset, loc->sectionSize);
    if (section.size() != loc->sectionSize) return std::nullopt;
    return ParseResources(Bytes(section), *loc);
}

std::optional<std::uint32_t> ReadProductVersionLow(std::string_view path) {
    auto info = ReadFixedFileInfoFromFile(path);
    if (!info) return std::nullopt;
    return info->ProductVersionLow();
}

}  // namespace ov
