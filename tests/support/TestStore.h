#pragma once

// A settings store location of a test's own, so that no test touches the
// user's settings: natively a file in a temporary folder, on Windows a fresh
// key below HKEY_CURRENT_USER\Software\ZntTests (the store's location is a
// key prefix there), removed with its sub-keys when the object goes.
// ScopedStoreRoot points RegistryStore::Default() at such a key for the code
// under test and its child processes ($ZNT_REGISTRY_ROOT on Windows).

#include "support/Env.h"
#include "support/TempDir.h"

#include <string>
#include <string_view>

namespace testsupport {

class TestStoreLocation {
public:
    explicit TestStoreLocation(const TempDir& dir, std::string_view file = "registry.ini");
    ~TestStoreLocation();
    TestStoreLocation(const TestStoreLocation&) = delete;
    TestStoreLocation& operator=(const TestStoreLocation&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Windows: sets $ZNT_REGISTRY_ROOT to a test key for the object's life and
// removes the key afterwards. Elsewhere it does nothing.
class ScopedStoreRoot {
public:
    explicit ScopedStoreRoot(const TempDir& dir);

private:
    TestStoreLocation key_;
#ifdef _WIN32
    ScopedEnv env_;
#endif
};

}  // namespace testsupport
