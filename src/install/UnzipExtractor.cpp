#include "install/UnzipExtractor.h"

#include "archive/CGUnzipFiles.h"

namespace znt {

int UnzipExtractor::Extract(const std::string& archive, const std::string& folder,
                            std::uint64_t maxFileBytes, std::string& reason) {
    try {
        CGUnzipFiles unzip(sink_);
        unzip.SetMaxMemberBytes(maxFileBytes);
        int code = unzip.Unzip(archive, folder);
        reason = unzip.GetLastReason();
        return code;
    } catch (const UnzipError& e) {
        reason = e.description;
        return -1;
    }
}

}  // namespace znt
