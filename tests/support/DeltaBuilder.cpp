#include "support/DeltaBuilder.h"

#include <zlib.h>

#include <algorithm>

namespace deltatest {

std::string Deflate(const std::string& bytes) {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()));
    out.resize(size);
    return out;
}

std::string BuildDelta(const DeltaParts& parts) {
    std::string control;
    for (const Record& r : parts.records) znt::AppendDeltaRecord(control, r.seek, r.add, r.extra);
    if (parts.rawControl) control = *parts.rawControl;
    std::string streams[3] = {Deflate(control), Deflate(parts.diff), Deflate(parts.extra)};
    znt::DeltaHeader h;
    h.baseSize = parts.baseSize;
    h.resultSize = parts.resultSize;
    h.controlBytes = streams[0].size();
    h.diffBytes = streams[1].size();
    h.extraBytes = streams[2].size();
    h.resultCrc = parts.crc ? *parts.crc
                            : static_cast<std::uint32_t>(
                                  crc32(0, reinterpret_cast<const Bytef*>(parts.expected.data()),
                                        static_cast<uInt>(parts.expected.size())));
    return znt::FormatDeltaHeader(h) + streams[0] + streams[1] + streams[2];
}

std::string SimpleDelta(const std::string& base, const std::string& target) {
    DeltaParts parts;
    parts.baseSize = base.size();
    parts.resultSize = target.size();
    const std::size_t common = std::min(base.size(), target.size());
    for (std::size_t i = 0; i < common; ++i) {
        parts.diff += static_cast<char>(static_cast<unsigned char>(target[i]) -
                                        static_cast<unsigned char>(base[i]));
    }
    parts.extra = target.substr(common);
    parts.records.push_back({0, common, target.size() - common});
    parts.expected = target;
    return BuildDelta(parts);
}

Rebuilt Apply(const std::string& basePath, const std::string& deltaPath) {
    Rebuilt r;
    r.ok = znt::ApplyDelta(
        basePath, deltaPath,
        [&r](const char* data, std::size_t size) {
            r.bytes.append(data, size);
            return true;
        },
        r.error);
    return r;
}

}  // namespace deltatest
