#include "archive/ZipReader.h"

namespace znt {

// Windows builds have no libzip: our reader over zlib is the only one.
std::unique_ptr<ZipArchiveReader> OpenZipReader(std::string_view path, ZipStatus& status) {
    return OpenZlibReader(path, status);
}

}  // namespace znt
