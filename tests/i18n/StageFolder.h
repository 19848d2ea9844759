#pragma once

// Where the build staged the installation tree with the shipped packs.

#include "OVShared/Platform/FileSystem.h"

#include <cstdlib>
#include <string>

namespace testsupport {

// $ZNT_TEST_BIN_DIR/stage, or <build>/stage found from this test program
// (<build>/tests/<program>) when the variable does not reach the test.
inline std::string StageFolder() {
    if (const char* bin = std::getenv("ZNT_TEST_BIN_DIR")) return std::string(bin) + "/stage";
    std::string exe = ov::ExecutablePath();
    for (int level = 0; level < 2; ++level) {
        auto slash = exe.find_last_of("/\\");
        if (slash == std::string::npos) return {};
        exe.resize(slash);
    }
    return exe + "/stage";
}

}  // namespace testsupport
