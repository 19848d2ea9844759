#pragma once

// Catalogue entries built in code for tests.

#include "catalogue/Catalogue.h"

#include <cstdint>
#include <string>
#include <utility>

namespace testsupport {

// A size-checked file entry whose archive is named after its size.
inline znt::PackageFileEntry SizedFile(std::string name, std::int32_t size,
                                       std::int32_t archiveSize) {
    znt::PackageFileEntry f;
    f.FileName = std::move(name);
    f.CheckMode = 1;
    f.SizeBytes = size;
    f.ArchiveSize = archiveSize;
    f.ArchiveName = "f" + std::to_string(archiveSize) + ".zip";
    return f;
}

}  // namespace testsupport
