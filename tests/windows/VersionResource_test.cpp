// The portable reader of version resources against the Windows version API
// (GetFileVersionInfoW, VerQueryValueW on "\"), on files this build made:
// DLLs and an executable with version resources, programs without one.

#include "OVShared/Platform/VersionResource.h"

#include "WindowsFixture.h"

#include <cstring>
#include <optional>

namespace {

// The fixed record as the version API reports it.
std::optional<ov::FixedFileInfo> FromVersionApi(const std::string& path) {
    const std::wstring wide = ov::Widen(path);
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(wide.c_str(), 0, size, block.data())) return std::nullopt;
    void* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", &fixed, &length) ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    ov::FixedFileInfo info;
    static_assert(sizeof info.words == sizeof(VS_FIXEDFILEINFO));
    std::memcpy(info.words.data(), fixed, sizeof info.words);
    return info;
}

std::optional<std::array<std::uint32_t, 13>> Words(const std::optional<ov::FixedFileInfo>& info) {
    if (!info) return std::nullopt;
    return info->words;
}

}  // namespace

TEST(VersionResourceOnWindows, ReaderAndVersionApiAgreeOnEveryFile) {
    const std::string system = [] {
        wchar_t folder[MAX_PATH] = {};
        UINT n = GetSystemDirectoryW(folder, MAX_PATH);
        return ov::Narrow(std::wstring_view(folder, n));
    }();
    struct Case {
        std::string path;
        bool versioned;
    };
    const Case cases[] = {
        {wintest::Built("znt_version_a.dll"), true},
        {wintest::Built("znt_version_b.dll"), true},
        {wintest::Built("znt_fake_autopatch.exe"), true},
        {wintest::Built("znt_test_helper.exe"), false},
        {wintest::Built("windows_tests.exe"), false},
        {wintest::Built("CTestTestfile.cmake"), false},  // not a program at all
        {system + "\\kernel32.dll", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto api = FromVersionApi(c.path);
        EXPECT_EQ(api.has_value(), c.versioned);
        EXPECT_EQ(Words(ov::ReadFixedFileInfoFromFile(c.path)), Words(api));
        EXPECT_EQ(ov::ReadProductVersionLow(c.path),
                  api ? std::optional<std::uint32_t>(api->ProductVersionLow()) : std::nullopt);
    }
}

TEST(VersionResourceOnWindows, VersionPartsLandInTheirWords) {
    auto a = ov::ReadFixedFileInfoFromFile(wintest::Built("znt_version_a.dll"));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->words[0], ov::kFixedFileInfoSignature);
    EXPECT_EQ(a->FileVersionHigh(), (1u << 16) | 2u);
    EXPECT_EQ(a->FileVersionLow(), (3u << 16) | 4u);
    EXPECT_EQ(a->ProductVersionHigh(), (5u << 16) | 6u);
    EXPECT_EQ(a->ProductVersionLow(), (7u << 16) | 8u);
    auto b = ov::ReadFixedFileInfoFromFile(wintest::Built("znt_version_b.dll"));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->FileVersionHigh(), 65535u << 16);
    EXPECT_EQ(b->FileVersionLow(), (4660u << 16) | 22136u);
    EXPECT_EQ(b->ProductVersionLow(), (65534u << 16) | 3u);
    EXPECT_EQ(ov::ReadProductVersionLow(wintest::Built("znt_fake_autopatch.exe")),
              (12u << 16) | 1u);
}
