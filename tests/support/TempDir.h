#pragma once

// A fresh folder below the system's temporary folder, removed with its
// contents when the object goes.

#include <string>
#include <string_view>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + the platform separator + relative, in platform form ("/" on
    // POSIX, "\" on Windows).
    std::string file(std::string_view relative) const;
    // Writes bytes to a file below the folder, creating its folders.
    std::string write(std::string_view relative, std::string_view bytes) const;

private:
    std::string path_;
};

// Takes every write permission away (Windows: sets the read-only attribute).
void MakeReadOnly(const std::string& path);

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace testsupport
