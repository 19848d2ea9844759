#include "support/TempDir.h"

#include "OVShared/Platform/FileSystem.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir() {
    // A random name that this call creates itself, so no other test owns it.
    std::random_device random;
    const std::string base = ov::SystemTempFolder() + ov::PlatformSeparator() + "znt-test-";
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        std::string candidate = base + std::to_string(random() % 1000000000u);
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) path_ = candidate;
    }
    if (path_.empty()) throw std::runtime_error("no temporary folder could be made");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make read-only leftovers removable first.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(std::string_view relative) const {
    std::string rel(relative);
    for (char& c : rel) {
        if (ov::IsSeparator(c)) c = ov::PlatformSeparator();
    }
    return path_ + ov::PlatformSeparator() + rel;
}

std::string TempDir::write(std::string_view relative, std::string_view bytes) const {
    std::string full = file(relative);
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return full;
}

void MakeReadOnly(const std::string& path) {
    namespace fs = std::filesystem;
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace testsupport
