#pragma once

// Where the build and the sources are: the ZNT_TEST_BIN_DIR and
// ZNT_TEST_SOURCE_DIR environment variables when set, else the folders the
// test program was configured with.

#include <cstdlib>
#include <string>

namespace testsupport {

inline std::string TestBinDir() {
    const char* env = std::getenv("ZNT_TEST_BIN_DIR");
#ifdef ZNT_TEST_BIN_DIR_DEFAULT
    if (!env || !*env) return ZNT_TEST_BIN_DIR_DEFAULT;
#endif
    return env ? env : "";
}

inline std::string TestSourceDir() {
    const char* env = std::getenv("ZNT_TEST_SOURCE_DIR");
#ifdef ZNT_TEST_SOURCE_DIR_DEFAULT
    if (!env || !*env) return ZNT_TEST_SOURCE_DIR_DEFAULT;
#endif
    return env ? env : "";
}

}  // namespace testsupport
