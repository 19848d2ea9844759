#include "OVShared/Platform/RegistryStore.h"

#include "support/Env.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>

using ov::RegistryStore;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

constexpr const char* kShell = R"(Software\Orvantis\ovw2010\ZNT\Shell)";

#ifdef _WIN32
constexpr const char* kTestsKey = R"(Software\ZntTests)";

// A key of its own below HKEY_CURRENT_USER (of the Wine prefix under Wine),
// removed with the keys the tests make when the object goes.
struct Store {
    std::string name = "store-" + std::to_string(std::random_device()());
    std::string file = std::string(kTestsKey) + "\\" + name;
    RegistryStore store{file};

    ~Store() {
        // Deepest first: a key with sub-keys is not deleted.
        for (const char* key :
             {R"(Software\Orvantis\ovw2010\ZNT\Shell)", R"(Software\Orvantis\ovw2010\ZNT)",
              R"(Software\Orvantis\ovw2010\Undo)", R"(Software\Orvantis\ovw2010)",
              R"(Software\Orvantis)", R"(Key [with] = odd\name)", "Key [with] = odd",
              R"(Software\VB and VBA Program Settings\zntr\Settings)",
              R"(Software\VB and VBA Program Settings\zntr)",
              R"(Software\VB and VBA Program Settings)", "Software"}) {
            store.DeleteKey(key);
        }
        RegistryStore(kTestsKey).DeleteKey(name);
        RegistryStore("Software").DeleteKey("ZntTests");  // only when empty
    }
};
#else
struct Store {
    TempDir dir;
    std::string file = dir.file("Orvantis/registry.ini");
    RegistryStore store{file};

    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.file("Orvantis"))) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};
#endif

}  // namespace

TEST(RegistryStore, ValuesRoundTripAndCreateTheFolder) {
    Store s;
    EXPECT_EQ(s.store.QueryString(kShell, "P_Dir"), std::nullopt);
    ASSERT_TRUE(s.store.SetString(kShell, "P_Dir", R"(C:\ovw2010)"));
    ASSERT_TRUE(s.store.SetString(kShell, "P_Empty", ""));
    EXPECT_EQ(s.store.QueryString(kShell, "P_Dir"), R"(C:\ovw2010)");
    EXPECT_EQ(s.store.QueryString(kShell, "P_Empty"), "");
    ASSERT_TRUE(s.store.SetString(kShell, "P_Dir", "second"));
    EXPECT_EQ(s.store.QueryString(kShell, "P_Dir"), "second");
    EXPECT_EQ(RegistryStore(s.file).QueryString(kShell, "P_Dir"), "second");
}

TEST(RegistryStore, KeysAndNamesIgnoreCaseAsInTheRegistry) {
    Store s;
    s.store.SetString(kShell, "P_Dir", "x");
    EXPECT_EQ(s.store.QueryString(R"(software\ORVANTIS\ovw2010\znt\shell)", "p_dir"), "x");
    EXPECT_EQ(s.store.QueryString(std::string("\\") + kShell + "\\", "P_DIR"), "x");
    s.store.SetString(R"(SOFTWARE\Orvantis\ovw2010\ZNT\SHELL)", "P_DIR", "y");
    EXPECT_EQ(s.store.QueryString(kShell, "P_Dir"), "y");
    EXPECT_EQ(s.store.QueryString(R"(Software\Orvantis\ovw2010\ZNT)", "P_Dir"), std::nullopt);
}

TEST(RegistryStore, AnyByteButNulSurvivesInNamesAndValues) {
    Store s;
    std::string awkward = "a=b\\c\nd\r\n[e];f%20g\t\x01\x7f\xce\xb1 ";
    ASSERT_TRUE(s.store.SetString(kShell, awkward, awkward));
    ASSERT_TRUE(s.store.SetString("Key [with] = odd\\name", "=", "["));
    ASSERT_TRUE(s.store.SetString(kShell, ";comment-like", "x"));
    RegistryStore again(s.file);
    EXPECT_EQ(again.QueryString(kShell, awkward), awkward);
    EXPECT_EQ(again.QueryString("Key [with] = odd\\name", "="), "[");
    EXPECT_EQ(again.QueryString(kShell, ";comment-like"), "x");
    ASSERT_TRUE(s.store.SetString(kShell, "cut", std::string("before\0after", 12)));
    EXPECT_EQ(again.QueryString(kShell, "cut"), "before");
}

#ifndef _WIN32
// The store as a file: its text, its damage, its mode and its writers.
TEST(RegistryStore, FileKeepsKeyPathsReadableOneValuePerLine) {
    Store s;
    s.store.SetString(kShell, "P_Dir", R"(C:\a b)");
    s.store.SetString(kShell, "Multi", "1\n2");
    std::string text = ReadFile(s.file);
    EXPECT_NE(text.find("[Software\\Orvantis\\ovw2010\\ZNT\\Shell]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nP_Dir=C:\\a b\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nMulti=1%0A2\n"), std::string::npos) << text;
}

#endif

TEST(RegistryStore, DeletesValuesAndKeys) {
    Store s;
    s.store.SetString(kShell, "a", "1");
    s.store.SetString(kShell, "b", "2");
    s.store.SetString(R"(Software\Orvantis\ovw2010\Undo)", "Max", "20");
    EXPECT_TRUE(s.store.DeleteValue(kShell, "A"));
    EXPECT_FALSE(s.store.DeleteValue(kShell, "a"));
    EXPECT_EQ(s.store.QueryString(kShell, "a"), std::nullopt);
    EXPECT_EQ(s.store.QueryString(kShell, "b"), "2");
    EXPECT_FALSE(s.store.DeleteKey(R"(Software\Orvantis\ovw2010\ZNT\Missing)"));
    EXPECT_TRUE(s.store.DeleteKey(kShell));
    EXPECT_EQ(s.store.QueryString(kShell, "b"), std::nullopt);
    EXPECT_EQ(s.store.QueryString(R"(Software\Orvantis\ovw2010\Undo)", "Max"), "20");
}

TEST(RegistryStore, AKeyWithSubKeysIsNotDeleted) {
    Store s;
    s.store.SetString(R"(Software\Orvantis)", "v", "1");
    s.store.SetString(kShell, "P_Dir", "x");
    EXPECT_FALSE(s.store.DeleteKey(R"(Software\Orvantis)"));
    EXPECT_EQ(s.store.QueryString(R"(Software\Orvantis)", "v"), "1");
}

#ifndef _WIN32
TEST(RegistryStore, CorruptOrUnreadableStoreReadsAsEmpty) {
    Store s;
    s.dir.write("Orvantis/registry.ini",
                std::string("\0\xff\xfe garbage\n[unclosed\nname=value\n[]\nx=y\n=\n%\n", 40));
    EXPECT_EQ(s.store.QueryString("unclosed", "name"), std::nullopt);
    EXPECT_EQ(s.store.QueryString("", "x"), std::nullopt);
    ASSERT_TRUE(s.store.SetString(kShell, "P_Dir", "fresh"));
    EXPECT_EQ(s.store.QueryString(kShell, "P_Dir"), "fresh");

    s.dir.write("Orvantis/registry.ini", "[" + std::string(kShell) + "]\nP_Dir=%zz%4\n");
    EXPECT_EQ(s.store.QueryString(kShell, "P_Dir"), "%zz%4");

    std::filesystem::remove(s.file);
    std::filesystem::create_directory(s.file);  // a folder where the file should be
    EXPECT_EQ(s.store.QueryString(kShell, "P_Dir"), std::nullopt);
    EXPECT_FALSE(s.store.SetString(kShell, "P_Dir", "x"));
}

// The store is shared by every program of the family: one that cannot be read
// whole must never be replaced by this program's few values.
TEST(RegistryStore, AStoreThatCannotBeReadWholeIsNeverRewritten) {
    Store s;
    const std::string others = "[Software\\Orvantis\\ovw2010\\OTHER\\Shell]\nP_Dir=/theirs\n";
    std::string oversized = others + std::string((16u << 20) + 1 - others.size(), ';');
    s.dir.write("Orvantis/registry.ini", oversized);
    EXPECT_EQ(s.store.QueryString(R"(Software\Orvantis\ovw2010\OTHER\Shell)", "P_Dir"),
              std::nullopt);
    EXPECT_FALSE(s.store.SetString(kShell, "P_Dir", "mine"));
    EXPECT_FALSE(s.store.SetStrings(kShell, {{"P_Dir", "mine"}}));
    EXPECT_TRUE(ReadFile(s.file) == oversized) << "an oversized store was rewritten";

    if (::getuid() != 0) {  // root reads a file whatever its permissions
        s.dir.write("Orvantis/registry.ini", others);
        ::chmod(s.file.c_str(), 0);
        EXPECT_FALSE(s.store.SetString(kShell, "P_Dir", "mine"));
        EXPECT_FALSE(s.store.DeleteValue(R"(Software\Orvantis\ovw2010\OTHER\Shell)", "P_Dir"));
        ::chmod(s.file.c_str(), 0600);
        EXPECT_EQ(ReadFile(s.file), others) << "an unreadable store was rewritten";
    }
}

TEST(RegistryStore, ARewriteKeepsThePermissionBitsOfTheStore) {
    Store s;
    ASSERT_TRUE(s.store.SetString(kShell, "P_Dir", "new"));
    EXPECT_EQ(std::filesystem::status(s.file).permissions(), std::filesystem::perms(0644));
    ::chmod(s.file.c_str(), 0600);
    ASSERT_TRUE(s.store.SetString(kShell, "P_Dir", "private"));
    EXPECT_EQ(std::filesystem::status(s.file).permissions(), std::filesystem::perms(0600));
    EXPECT_EQ(s.store.QueryString(kShell, "P_Dir"), "private");
}

TEST(RegistryStore, WritesLeaveNoTemporaryFiles) {
    Store s;
    for (int i = 0; i < 20; ++i) s.store.SetString(kShell, "v" + std::to_string(i), "x");
    s.store.DeleteValue(kShell, "v3");
    EXPECT_EQ(s.FolderEntries(), (std::vector<std::string>{"registry.ini", "registry.ini.lock"}));
}

TEST(RegistryStore, ConcurrentWritersInSeveralProcessesLoseNothing) {
    Store s;
    constexpr int kWriters = 4, kValues = 25;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            RegistryStore mine(s.file);
            bool ok = true;
            for (int v = 0; v < kValues; ++v) {
                ok = mine.SetString(kShell, "w" + std::to_string(w) + "v" + std::to_string(v),
                                    std::to_string(v)) &&
                     ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int w = 0; w < kWriters; ++w) {
        for (int v = 0; v < kValues; ++v) {
            EXPECT_EQ(
                s.store.QueryString(kShell, "w" + std::to_string(w) + "v" + std::to_string(v)),
                std::to_string(v));
        }
    }
}

TEST(RegistryStore, DefaultPathFollowsXdgConfigHome) {
    testsupport::ScopedEnv config("XDG_CONFIG_HOME", "/some/config/");
    EXPECT_EQ(RegistryStore::DefaultPath(), "/some/config/Orvantis/registry.ini");
    testsupport::SetEnv("XDG_CONFIG_HOME",
                        "relative");  // not absolute: ignored (XDG base directory rules)
    std::string fallback = RegistryStore::DefaultPath();
    EXPECT_TRUE(fallback.ends_with("/.config/Orvantis/registry.ini")) << fallback;
}
#else
TEST(RegistryStore, DefaultPathIsThePlainKeyZntRegistryRootNames) {
    testsupport::ScopedEnv root("ZNT_REGISTRY_ROOT", R"(\Software\ZntTests\portable\)");
    EXPECT_EQ(RegistryStore::DefaultPath(), R"(Software\ZntTests\portable)");
    for (const char* unusable :
         {"", R"(Software\..\Orvantis)", R"(Software\.\x)", R"(Software\\x)", "Soft\nware"}) {
        testsupport::SetEnv("ZNT_REGISTRY_ROOT", unusable);
        EXPECT_EQ(RegistryStore::DefaultPath(), "") << unusable;
    }
}
#endif

TEST(AppSettings, LiveWhereVbSaveSettingPutsThem) {
    Store s;
    ASSERT_TRUE(ov::SaveAppSetting(s.store, "zntr", "Settings", "CanRun", "YES"));
    EXPECT_EQ(
        s.store.QueryString(R"(Software\VB and VBA Program Settings\zntr\Settings)", "CanRun"),
        "YES");
}
