#include "install/UnzipExtractor.h"

#include "archive/CGUnzipFiles.h"

namespace znt {

int UnzipExtractor::Extract(const std::string& archive, const std::string& folder) {
    try {
        CGUnzipFiles unzip(sink_);
        return unzip.Unzip(archive, folder);
    } catch (const UnzipError&) {
        return -1;
    }
}

}  // namespace znt
