#include "archive/ZipReader.h"

namespace znt {

std::unique_ptr<ZipArchiveReader> OpenZipReader(std::string_view path, ZipStatus& status) {
    return OpenLibzipReader(path, status);
}

}  // namespace znt
