#include "support/PeWriter.h"

#include <fstream>
#include <string_view>

namespace testsupport {
namespace {

constexpr std::uint32_t kFileAlign = 0x200;
constexpr std::uint32_t kSectionAlign = 0x1000;
constexpr std::uint32_t kPeOffset = 0x40;
constexpr std::uint32_t kTextOffset = 0x200;
constexpr std::uint32_t kTextRva = 0x1000;
constexpr std::uint32_t kRsrcOffset = 0x400;
constexpr std::uint32_t kRsrcRva = 0x2000;
// Layout of the resource section: three one-entry directories, a data entry,
// then the version block.
constexpr std::uint32_t kNameDir = 0x18;
constexpr std::uint32_t kLanguageDir = 0x30;
constexpr std::uint32_t kDataEntry = 0x48;
constexpr std::uint32_t kVersionBlock = 0x58;

// A byte buffer written at fixed little-endian positions.
class Image {
public:
    explicit Image(std::size_t size) : bytes_(size, '\0') {}
    void Put(std::size_t at, std::uint64_t value, int width) {
        for (int i = 0; i < width; ++i)
            bytes_[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    void U16(std::size_t at, std::uint64_t v) { Put(at, v, 2); }
    void U32(std::size_t at, std::uint64_t v) { Put(at, v, 4); }
    void U64(std::size_t at, std::uint64_t v) { Put(at, v, 8); }
    void Text(std::size_t at, std::string_view s) { bytes_.replace(at, s.size(), s); }
    std::string& Bytes() { return bytes_; }

private:
    std::string bytes_;
};

std::uint32_t AlignUp(std::uint32_t v, std::uint32_t a) { return (v + a - 1) / a * a; }

std::uint32_t High(const std::array<std::uint16_t, 4>& v) {
    return (static_cast<std::uint32_t>(v[0]) << 16) | v[1];
}

// VS_VERSIONINFO with its key, padding and VS_FIXEDFILEINFO.
void PutVersionBlock(Image& r, std::size_t at, const PeOptions& o) {
    constexpr std::string_view kKey = "VS_VERSION_INFO";
    r.U16(at, 92);
    r.U16(at + 2, 52);
    for (std::size_t i = 0; i < kKey.size(); ++i) r.U16(at + 6 + 2 * i, kKey[i]);
    std::size_t v = at + 40;
    r.U32(v, o.fault == PeFault::BadVersionSignature ? 0xFEEF04BE : 0xFEEF04BD);
    r.U32(v + 4, 0x00010000);
    r.U32(v + 8, High(o.fileVersion));
    r.U32(v + 12, VersionLow(o.fileVersion));
    r.U32(v + 16, High(o.productVersion));
    r.U32(v + 20, VersionLow(o.productVersion));
    r.U32(v + 24, 0x3F);
    r.U32(v + 32, 0x00040004);  // VOS_NT_WINDOWS32
    r.U32(v + 36, o.dll ? 2 : 1);
}

void PutDirectory(Image& r, std::size_t at, std::uint32_t id, std::uint32_t target) {
    r.U16(at + 14, 1);
    r.U32(at + 16, id);
    r.U32(at + 20, target);
}

std::string ResourceSection(const PeOptions& o) {
    Image r(kVersionBlock + 92);
    std::uint32_t type = o.fault == PeFault::NoVersionResource ? 24 : 16;
    PutDirectory(r, 0, type, 0x80000000u | kNameDir);
    PutDirectory(r, kNameDir, 1, 0x80000000u | kLanguageDir);
    PutDirectory(r, kLanguageDir, 0x409, kDataEntry);
    r.U32(kDataEntry, kRsrcRva + kVersionBlock);
    r.U32(kDataEntry + 4, 92);
    PutVersionBlock(r, kVersionBlock, o);
    return r.Bytes();
}

void PutSection(Image& img, std::size_t at, std::string_view name, std::uint32_t virtualSize,
                std::uint32_t rva, std::uint32_t rawSize, std::uint32_t rawOffset,
                std::uint32_t flags) {
    img.Text(at, name);
    img.U32(at + 8, virtualSize);
    img.U32(at + 12, rva);
    img.U32(at + 16, rawSize);
    img.U32(at + 20, rawOffset);
    img.U32(at + 36, flags);
}

// Optional header fields after the magic; PE32+ widens the image base and
// the stack and heap sizes and drops BaseOfData.
void PutOptionalHeader(Image& img, std::size_t opt, const PeOptions& o, std::uint32_t imageSize,
                       std::uint32_t rsrcSize) {
    bool plus = o.pe32Plus;
    img.U16(opt, plus ? 0x20b : 0x10b);
    img.U32(opt + 4, kFileAlign);  // SizeOfCode
    img.U32(opt + 16, kTextRva);   // AddressOfEntryPoint
    img.U32(opt + 20, kTextRva);   // BaseOfCode
    if (plus) {
        img.U64(opt + 24, 0x140000000ull);
    } else {
        img.U32(opt + 24, kRsrcRva);  // BaseOfData
        img.U32(opt + 28, 0x400000);
    }
    img.U32(opt + 32, kSectionAlign);
    img.U32(opt + 36, kFileAlign);
    img.U16(opt + 40, 6);  // operating system version
    img.U16(opt + 48, 6);  // subsystem version
    img.U32(opt + 56, imageSize);
    img.U32(opt + 60, kTextOffset);  // SizeOfHeaders
    img.U16(opt + 68, 2);            // Windows GUI
    std::size_t sizes = opt + 72;
    int width = plus ? 8 : 4;
    img.Put(sizes, 0x100000, width);
    img.Put(sizes + width, 0x1000, width);
    img.Put(sizes + 2 * width, 0x100000, width);
    img.Put(sizes + 3 * width, 0x1000, width);
    std::size_t dirs = plus ? opt + 112 : opt + 96;
    img.U32(dirs - 4, 16);  // NumberOfRvaAndSizes
    if (rsrcSize > 0) {
        img.U32(dirs + 16, kRsrcRva);
        img.U32(dirs + 20, rsrcSize);
    }
}

}  // namespace

std::uint32_t VersionLow(const std::array<std::uint16_t, 4>& version) {
    return (static_cast<std::uint32_t>(version[2]) << 16) | version[3];
}

std::string MakePe(const PeOptions& o) {
    bool withRsrc = o.fault != PeFault::NoResourceSection;
    std::string rsrc = withRsrc ? ResourceSection(o) : std::string();
    std::uint32_t rsrcRaw = AlignUp(static_cast<std::uint32_t>(rsrc.size()), kFileAlign);
    Image img(kRsrcOffset + rsrcRaw);

    img.Text(0, "MZ");
    img.U32(0x3C, kPeOffset);
    img.Text(kPeOffset, o.fault == PeFault::BadPeSignature ? std::string_view("PX\0\0", 4)
                                                           : std::string_view("PE\0\0", 4));
    std::size_t coff = kPeOffset + 4;
    std::uint16_t optSize = o.pe32Plus ? 240 : 224;
    img.U16(coff, o.pe32Plus ? 0x8664 : 0x14c);
    img.U16(coff + 2, withRsrc ? 2 : 1);
    img.U16(coff + 16, optSize);
    img.U16(coff + 18, (o.pe32Plus ? 0x0022 : 0x0102) | (o.dll ? 0x2000 : 0));

    std::uint32_t imageSize = withRsrc ? AlignUp(kRsrcRva + rsrcRaw, kSectionAlign) : kRsrcRva;
    std::size_t opt = coff + 20;
    PutOptionalHeader(img, opt, o, imageSize, static_cast<std::uint32_t>(rsrc.size()));
    std::size_t table = opt + optSize;
    PutSection(img, table, ".text", 1, kTextRva, kFileAlign, kTextOffset, 0x60000020);
    img.Bytes()[kTextOffset] = static_cast<char>(0xC3);  // ret
    if (withRsrc) {
        PutSection(img, table + 40, ".rsrc", static_cast<std::uint32_t>(rsrc.size()), kRsrcRva,
                   rsrcRaw, kRsrcOffset, 0x40000040);
        img.Text(kRsrcOffset, rsrc);
    }
    std::string bytes = std::move(img.Bytes());
    if (o.fault == PeFault::Truncated) {
        bytes.resize(kRsrcOffset + kVersionBlock + 48);
        return bytes;
    }
    return bytes + o.overlay;
}

bool WritePe(const std::string& path, const PeOptions& options) {
    std::string bytes = MakePe(options);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace testsupport
