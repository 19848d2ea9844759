#include "support/TestStore.h"

#ifdef _WIN32
#include "OVShared/Platform/WinSupport.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace testsupport {

#ifdef _WIN32
namespace {

constexpr const char* kTestsKey = "Software\\ZntTests";

std::string FreshKey() {
    static int count = 0;
    return std::string(kTestsKey) + "\\" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++count);
}

}  // namespace

TestStoreLocation::TestStoreLocation(const TempDir&, std::string_view) : path_(FreshKey()) {}

TestStoreLocation::~TestStoreLocation() {
    RegDeleteTreeW(HKEY_CURRENT_USER, ov::Widen(path_).c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, ov::Widen(kTestsKey).c_str());  // only when empty
}

ScopedStoreRoot::ScopedStoreRoot(const TempDir& dir)
    : key_(dir), env_("ZNT_REGISTRY_ROOT", key_.path()) {}
#else
TestStoreLocation::TestStoreLocation(const TempDir& dir, std::string_view file)
    : path_(dir.file(file)) {}

TestStoreLocation::~TestStoreLocation() = default;

ScopedStoreRoot::ScopedStoreRoot(const TempDir& dir) : key_(dir) {}
#endif

}  // namespace testsupport
