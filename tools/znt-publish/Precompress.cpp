#include "Precompress.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/GzipDecoder.h"

#include <zlib.h>

#include <filesystem>
#include <system_error>

namespace publish {
namespace {

constexpr std::uint64_t kMaxTextBytes = 64u << 20;

bool RoundTrips(const std::string& packed, const std::string& original) {
    ov::GzipDecoder decoder;
    std::string back;
    bool fed = decoder.Feed(packed, [&](std::string_view piece) {
        back.append(piece);
        return back.size() <= original.size();
    });
    return fed && decoder.Finished() && back == original;
}

bool WriteOne(const std::string& folder, const std::string& name, std::string& error) {
    const std::string path = folder + "/" + name;
    std::optional<std::string> bytes = ov::ReadWholeFile(path, kMaxTextBytes);
    if (!bytes) return error = "cannot read " + path, false;
    std::string packed = GzipBest(*bytes);
    if (packed.empty() || !RoundTrips(packed, *bytes)) {
        return error = "cannot compress " + path, false;
    }
    if (!ov::WriteFileAtomic(path + ".gz", packed))
        return error = "cannot write " + path + ".gz", false;
    std::error_code ec;
    auto when = std::filesystem::last_write_time(path, ec);
    if (!ec) std::filesystem::last_write_time(path + ".gz", when, ec);
    if (ec) return error = "cannot set the time of " + path + ".gz", false;
    return true;
}

}  // namespace

std::string GzipBest(const std::string& bytes) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        return {};
    }
    std::string out(deflateBound(&z, static_cast<uLong>(bytes.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : std::string();
}

bool WritePrecompressed(const std::string& outFolder, const std::vector<std::string>& names,
                        std::string& error) {
    for (const std::string& name : names) {
        if (!std::filesystem::exists(outFolder + "/" + name)) continue;
        if (!WriteOne(outFolder, name, error)) return false;
    }
    return true;
}

}  // namespace publish
